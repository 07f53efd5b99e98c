#include "platform/data/xls/biff_records.h"

#include <algorithm>

#include "platform/codepage/codepage.h"
#include "platform/data/sheet/damage.h"
#include "platform/data/xls/byte_order.h"
#include "platform/runtime/memory.h"

namespace platform::data::xls {
namespace {

// Room for the longest record piece (a 16-bit length), its header and
// the header after it, so that every single-piece record is seen in place.
constexpr std::size_t kReadBufferSize = 1 << 17;
constexpr std::size_t kHeaderSize = 4;

[[noreturn]] void Truncated() { sheet::RaiseDamaged("记录在文件结尾处被截断"); }

}  // namespace

// A small workbook gets a buffer of its own size.
RecordReader::RecordReader(const RandomAccessFile& stream)
    : stream_(stream),
      size_(stream.Size()),
      buffer_size_(static_cast<std::size_t>(std::min<std::uint64_t>(size_, kReadBufferSize))),
      buffer_(new char[buffer_size_]) {}

void RecordReader::Seek(std::uint64_t offset) { position_ = offset; }

const char* RecordReader::Bytes(std::uint64_t at, std::size_t n) {
  if (at > size_ || n > size_ - at) return nullptr;
  if (at < buffer_start_ || at - buffer_start_ > buffer_length_ || n > buffer_length_ - (at - buffer_start_)) {
    buffer_start_ = at;
    buffer_length_ = stream_.Read(at, buffer_size_, buffer_.get());
    if (buffer_length_ < n) return nullptr;
  }
  return buffer_.get() + (at - buffer_start_);
}

void RecordReader::AppendToJoined(std::uint64_t at, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, buffer_size_);
    const char* bytes = Bytes(at, take);
    if (bytes == nullptr) Truncated();
    joined_.append(bytes, take);
    at += take;
    n -= take;
  }
}

// The usual case, in line: the record and the header after it are in
// the buffer, and that header is not a CONTINUE. Once for every cell.
bool RecordReader::NextInBuffer() {
  if (position_ < buffer_start_ || position_ - buffer_start_ > buffer_length_) return false;
  const auto offset = static_cast<std::size_t>(position_ - buffer_start_);
  const std::size_t left = buffer_length_ - offset;
  const auto* header = reinterpret_cast<const unsigned char*>(buffer_.get() + offset);
  if (left < kHeaderSize) return false;
  const std::size_t length = Le16(header + 2);
  if (left < 2 * kHeaderSize + length || Le16(header + kHeaderSize + length) == rec::kContinue) return false;
  type_ = Le16(header);
  breaks_.clear();
  data_ = std::string_view(reinterpret_cast<const char*>(header) + kHeaderSize, length);
  position_ += kHeaderSize + length;
  return true;
}

bool RecordReader::Next() {
  if (NextInBuffer()) return true;
  const char* header = Bytes(position_, kHeaderSize);
  if (header == nullptr) return false;
  type_ = Le16(reinterpret_cast<const unsigned char*>(header));
  const std::size_t length = Le16(reinterpret_cast<const unsigned char*>(header) + 2);
  const std::uint64_t body = position_ + kHeaderSize;
  breaks_.clear();
  // The record and the header after it, read into the buffer.
  const char* bytes = Bytes(body, length + kHeaderSize);
  if (bytes == nullptr) {
    // Fewer than a header's bytes follow the record: nothing continues it.
    bytes = Bytes(body, length);
    if (bytes == nullptr) Truncated();
    data_ = std::string_view(bytes, length);
    position_ = body + length;
    return true;
  }
  if (Le16(reinterpret_cast<const unsigned char*>(bytes) + length) != rec::kContinue) {
    data_ = std::string_view(bytes, length);
    position_ = body + length;
    return true;
  }

  // Continued: find every piece first, so the joined record is allocated
  // once at its full size.
  pieces_.clear();
  pieces_.push_back({body, length});
  std::size_t total = length;
  std::uint64_t next = body + length;
  for (const char* h; (h = Bytes(next, kHeaderSize)) != nullptr &&
                      Le16(reinterpret_cast<const unsigned char*>(h)) == rec::kContinue;) {
    const std::size_t n = Le16(reinterpret_cast<const unsigned char*>(h) + 2);
    if (n > size_ - (next + kHeaderSize)) Truncated();
    pieces_.push_back({next + kHeaderSize, n});
    total += n;
    next += kHeaderSize + n;
  }
  joined_.clear();
  joined_.reserve(total);
  PreferLargePages(joined_.data(), total);
  for (std::size_t i = 0; i < pieces_.size(); ++i) {
    if (i > 0) breaks_.push_back(static_cast<std::uint32_t>(joined_.size()));
    AppendToJoined(pieces_[i].at, pieces_[i].length);
  }
  data_ = joined_;
  position_ = next;
  return true;
}

bool RecordCursor::IsBreak(std::size_t pos) const {
  return std::binary_search(breaks_.begin(), breaks_.end(), static_cast<std::uint32_t>(pos));
}

std::size_t RecordCursor::PieceEnd(std::size_t pos) const {
  const auto it = std::upper_bound(breaks_.begin(), breaks_.end(), static_cast<std::uint32_t>(pos));
  return it == breaks_.end() ? data_.size() : *it;
}

bool RecordCursor::Chars(std::size_t count, bool high_byte, std::string& out) {
  if (count == 0) return true;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data_.data());
  // A string whose characters start a new piece gets an option byte there
  // too.
  if (IsBreak(pos_) && pos_ < data_.size()) high_byte = (bytes[pos_++] & 1) != 0;
  std::size_t end = PieceEnd(pos_);
  const std::size_t unit = high_byte ? 2 : 1;
  if ((end - pos_) / unit >= count) {  // the usual case: all in one piece
    if (high_byte) {
      codepage::AppendUtf16Le(bytes + pos_, count, out);
    } else {
      codepage::AppendLatin1(bytes + pos_, count, out);
    }
    pos_ += count * unit;
    return true;
  }
  // Split across pieces: gather UTF-16 units first, so a surrogate pair cut
  // by a piece boundary still decodes.
  scratch_.clear();
  bool high = high_byte;
  while (true) {
    const std::size_t u = high ? 2 : 1;
    const std::size_t take = std::min(count, (end - pos_) / u);
    for (std::size_t i = 0; i < take; ++i) {
      if (high) {
        scratch_.push_back(static_cast<char>(bytes[pos_ + 2 * i]));
        scratch_.push_back(static_cast<char>(bytes[pos_ + 2 * i + 1]));
      } else {
        scratch_.push_back(static_cast<char>(bytes[pos_ + i]));
        scratch_.push_back('\0');
      }
    }
    pos_ += take * u;
    count -= take;
    if (count == 0) break;
    if (end >= data_.size()) {
      ok_ = false;
      pos_ = data_.size();
      return false;
    }
    pos_ = end;
    high = (bytes[pos_++] & 1) != 0;
    end = PieceEnd(pos_);
  }
  codepage::AppendUtf16Le(reinterpret_cast<const unsigned char*>(scratch_.data()), scratch_.size() / 2, out);
  return true;
}

bool RecordCursor::Biff8Text(int length_bytes, std::string& out, std::size_t& trailing) {
  const std::size_t count = length_bytes == 1 ? U8() : U16();
  trailing = 0;
  if (!ok_) return false;
  // Some generators end a record with an empty string's length and no
  // option byte; Excel reads the empty string.
  if (count == 0 && remaining() == 0) return true;
  const std::uint8_t options = U8();
  std::size_t runs = 0;
  std::size_t phonetic = 0;
  if (options & 0x08) runs = U16();
  if (options & 0x04) phonetic = U32();
  if (!ok_ || !Chars(count, (options & 0x01) != 0, out)) return false;
  trailing = runs * 4 + phonetic;
  return true;
}

bool RecordCursor::Biff8String(int length_bytes, std::string& out) {
  std::size_t trailing = 0;
  if (!Biff8Text(length_bytes, out, trailing)) return false;
  // Rich-text runs and phonetic data: their text is already kept.
  Skip(trailing);
  return ok_;
}

bool RecordCursor::Biff5Bytes(int length_bytes, std::string_view& out) {
  const std::size_t count = length_bytes == 1 ? U8() : U16();
  if (!ok_ || remaining() < count) {
    ok_ = false;
    return false;
  }
  out = data_.substr(pos_, count);
  pos_ += count;
  return true;
}

std::string RecordReader::TakeData() {
  if (data_.data() != joined_.data()) return std::string(data_);
  std::string taken = std::move(joined_);
  joined_ = std::string();
  data_ = {};
  return taken;
}

}  // namespace platform::data::xls
