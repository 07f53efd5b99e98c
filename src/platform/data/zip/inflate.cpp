#include "platform/data/zip/inflate.h"

#include <zlib.h>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define E2D_CLMUL_CRC 1
#endif

#include <algorithm>
#include <limits>
#include <new>

#include "platform/runtime/error.h"

namespace platform::data::zip {
namespace {

// Compressed bytes are read from the file in pieces of this size.
constexpr std::size_t kInputPiece = std::size_t{64} << 10;
// zlib counts in 32-bit units; larger requests are served in parts.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

[[noreturn]] void Damaged(const std::string& what) {
  Raise(err::kWorkbookDamaged, "工作簿已损坏：" + what);
}

// What both readers share: the entry's range in the file, the count and
// CRC of the bytes handed out, and the checks at the end.
class EntryReaderBase : public EntryReader {
 protected:
  EntryReaderBase(const RandomAccessFile& file, const Entry& entry)
      : file_(file), name_(PrintableName(entry.name)), crc_expected_(entry.crc32), size_(entry.size),
        next_(entry.data_offset), left_(entry.compressed_size) {}

  // Reads up to n compressed bytes into out.
  std::size_t ReadCompressed(char* out, std::size_t n) {
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, left_));
    const std::size_t got = n == 0 ? 0 : file_.Read(next_, n, out);
    if (got == 0) Damaged(name_ + " 的数据不完整（压缩包被截断？）");
    next_ += got;
    left_ -= got;
    return got;
  }

  void Count(const char* out, std::size_t n) {
    total_ += n;
    if (total_ > size_) Damaged(name_ + " 解压后比目录记录的大小更大");
    crc_ = Crc32(crc_, out, n);
  }

  void Finish() {
    if (total_ != size_) Damaged(name_ + " 解压后的大小与目录不符");
    if (crc_ != crc_expected_) Damaged(name_ + " 的校验和（CRC）与目录不符");
    done_ = true;
  }

  const RandomAccessFile& file_;
  const std::string name_;
  const std::uint32_t crc_expected_;
  const std::uint64_t size_;
  std::uint64_t next_;   // file offset of the next compressed byte
  std::uint64_t left_;   // compressed bytes not yet read
  std::uint64_t total_ = 0;
  std::uint32_t crc_ = 0;
  bool done_ = false;
};

class StoredReader : public EntryReaderBase {
 public:
  StoredReader(const RandomAccessFile& file, const Entry& entry) : EntryReaderBase(file, entry) {}

  std::size_t Read(char* out, std::size_t n) override {
    if (done_ || n == 0) return 0;
    if (left_ == 0) {
      Finish();
      return 0;
    }
    const std::size_t got = ReadCompressed(out, n);
    Count(out, got);
    if (left_ == 0) Finish();
    return got;
  }
};

class DeflatedReader : public EntryReaderBase {
 public:
  DeflatedReader(const RandomAccessFile& file, const Entry& entry)
      : EntryReaderBase(file, entry), inflater_(name_), input_(kInputPiece, '\0') {}

  std::size_t Read(char* out, std::size_t n) override {
    if (done_ || n == 0) return 0;
    // One byte past the recorded size is enough to know the entry is
    // larger than it claims: a zip bomb is never inflated further.
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - total_ + 1));
    std::size_t produced = 0;
    for (;;) {
      if (inflater_.input_left() == 0 && !inflater_.finished()) {
        const std::size_t got = ReadCompressed(input_.data(), input_.size());
        inflater_.SetInput(input_.data(), got);
      }
      produced = inflater_.Inflate(out, n);
      if (produced > 0 || inflater_.finished()) break;
    }
    Count(out, produced);
    if (inflater_.finished()) {
      if (left_ != 0 || inflater_.input_left() != 0) Damaged(name_ + " 的压缩数据后面还有多余的字节");
      Finish();
    }
    return produced;
  }

 private:
  Inflater inflater_;
  std::string input_;
};

}  // namespace

struct Inflater::State {
  z_stream stream{};
};

Inflater::Inflater(std::string what) : state_(std::make_unique<State>()), what_(std::move(what)) {
  // Negative window bits: a raw deflate stream, without zlib's header.
  const int result = inflateInit2(&state_->stream, -MAX_WBITS);
  if (result == Z_MEM_ERROR) throw std::bad_alloc();
  if (result != Z_OK) Raise(err::kInternalError, "无法初始化解压缩");
}

Inflater::~Inflater() { inflateEnd(&state_->stream); }

void Inflater::SetInput(const char* data, std::size_t n) {
  state_->stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  state_->stream.avail_in = static_cast<uInt>(std::min(n, kMaxPiece));
}

std::size_t Inflater::input_left() const { return state_->stream.avail_in; }

std::size_t Inflater::Inflate(char* out, std::size_t n) {
  if (finished_ || n == 0) return 0;
  z_stream& z = state_->stream;
  z.next_out = reinterpret_cast<Bytef*>(out);
  z.avail_out = static_cast<uInt>(std::min(n, kMaxPiece));
  const uInt before = z.avail_out;
  const int result = inflate(&z, Z_NO_FLUSH);
  switch (result) {
    case Z_STREAM_END:
      finished_ = true;
      break;
    case Z_OK:
    case Z_BUF_ERROR:  // no progress possible without more input
      break;
    case Z_MEM_ERROR:
      throw std::bad_alloc();
    default:
      Damaged(what_ + " 的压缩数据有错误");
  }
  return before - z.avail_out;
}

namespace {

#if defined(E2D_CLMUL_CRC)
// The CRC of every inflated byte, by carry-less multiplication (folding
// 64 bytes a step, then Barrett reduction: Gopal et al., "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ Instruction",
// Intel, 2009), about ten times zlib's table speed. Takes and returns the
// register as zlib keeps it inside (the complement of the CRC); n is a
// multiple of 16, at least 64.
#define E2D_CLMUL [[gnu::target("pclmul,sse4.1")]]

E2D_CLMUL __m128i Load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// a folded forward over the distance k stands for, plus b.
E2D_CLMUL __m128i Fold(__m128i a, __m128i k, __m128i b) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

E2D_CLMUL std::uint32_t FoldCrc(std::uint32_t state, const char* data, std::size_t n) {
  // x^(k) mod P for the distances folded over, bit-reflected.
  const __m128i k64 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);   // 4 x 128 bits on
  const __m128i k16 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);   // 128 bits on
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);               // 64 bits to 32
  const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // mu, P
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

  __m128i x0 = _mm_xor_si128(Load16(data), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x1 = Load16(data + 16);
  __m128i x2 = Load16(data + 32);
  __m128i x3 = Load16(data + 48);
  data += 64;
  n -= 64;
  for (; n >= 64; data += 64, n -= 64) {
    x0 = Fold(x0, k64, Load16(data));
    x1 = Fold(x1, k64, Load16(data + 16));
    x2 = Fold(x2, k64, Load16(data + 32));
    x3 = Fold(x3, k64, Load16(data + 48));
  }
  __m128i x = Fold(Fold(Fold(x0, k16, x1), k16, x2), k16, x3);
  for (; n >= 16; data += 16, n -= 16) x = Fold(x, k16, Load16(data));

  // 128 bits to 64, then to 32 by Barrett reduction.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k16, 0x10));
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00), _mm_srli_si128(x, 4));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

std::uint32_t TableCrc(std::uint32_t crc, const char* data, std::size_t n) {
  while (n > 0) {
    const std::size_t piece = std::min(n, kMaxPiece);
    crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(piece)));
    data += piece;
    n -= piece;
  }
  return crc;
}

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const char* data, std::size_t n) {
#if defined(E2D_CLMUL_CRC)
  if (n >= 64 && HasClmul()) {
    const std::size_t folded = n & ~std::size_t{15};
    crc = ~FoldCrc(~crc, data, folded);
    data += folded;
    n -= folded;
  }
#endif
  return TableCrc(crc, data, n);
}

std::unique_ptr<EntryReader> MakeStoredReader(const RandomAccessFile& file, const Entry& entry) {
  return std::make_unique<StoredReader>(file, entry);
}

std::unique_ptr<EntryReader> MakeDeflatedReader(const RandomAccessFile& file, const Entry& entry) {
  return std::make_unique<DeflatedReader>(file, entry);
}

}  // namespace platform::data::zip
