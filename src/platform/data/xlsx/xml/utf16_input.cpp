#include "platform/data/xlsx/xml/utf16_input.h"

#include <cstring>

#include "platform/runtime/error.h"

namespace platform::data::xml {
namespace {

constexpr std::size_t kPiece = std::size_t{64} << 10;

class Utf16Input : public Input {
 public:
  Utf16Input(Input& raw, std::string pending, bool big_endian, std::string part)
      : raw_(raw), in_(std::move(pending)), big_endian_(big_endian), part_(std::move(part)) {}

  std::size_t Read(char* out, std::size_t n) override {
    std::size_t produced = 0;
    while (produced < n && carry_begin_ < carry_.size()) out[produced++] = carry_[carry_begin_++];
    while (produced < n) {
      char bytes[4];
      const std::size_t length = NextChar(bytes);
      if (length == 0) break;
      const std::size_t fit = std::min(length, n - produced);
      std::memcpy(out + produced, bytes, fit);
      produced += fit;
      carry_.assign(bytes + fit, length - fit);
      carry_begin_ = 0;
    }
    return produced;
  }

 private:
  [[noreturn]] void Fail() const {
    Raise(err::kWorkbookDamaged, "工作簿已损坏：" + part_ + " 不是正确的 UTF-16 文字");
  }

  // True when at least n bytes are waiting.
  bool Ensure(std::size_t n) {
    while (in_.size() - at_ < n && !raw_eof_) {
      in_.erase(0, at_);
      at_ = 0;
      const std::size_t old = in_.size();
      in_.resize(old + kPiece);
      const std::size_t got = raw_.Read(in_.data() + old, kPiece);
      in_.resize(old + got);
      raw_eof_ = got == 0;
    }
    return in_.size() - at_ >= n;
  }

  std::uint32_t Unit(std::size_t i) const {
    const auto a = static_cast<unsigned char>(in_[i]);
    const auto b = static_cast<unsigned char>(in_[i + 1]);
    return big_endian_ ? (a << 8 | b) : (b << 8 | a);
  }

  // The next character as UTF-8 in out; its length, 0 at the end.
  std::size_t NextChar(char* out) {
    if (!Ensure(2)) {
      if (in_.size() > at_) Fail();
      return 0;
    }
    std::uint32_t c = Unit(at_);
    std::size_t used = 2;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (!Ensure(4)) Fail();
      const std::uint32_t low = Unit(at_ + 2);
      if (low < 0xDC00 || low > 0xDFFF) Fail();
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      used = 4;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      Fail();
    }
    at_ += used;
    if (c < 0x80) {
      out[0] = static_cast<char>(c);
      return 1;
    }
    if (c < 0x800) {
      out[0] = static_cast<char>(0xC0 | (c >> 6));
      out[1] = static_cast<char>(0x80 | (c & 0x3F));
      return 2;
    }
    if (c < 0x10000) {
      out[0] = static_cast<char>(0xE0 | (c >> 12));
      out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[2] = static_cast<char>(0x80 | (c & 0x3F));
      return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
  }

  Input& raw_;
  std::string in_;
  std::size_t at_ = 0;
  bool raw_eof_ = false;
  bool big_endian_;
  std::string part_;
  std::string carry_;  // the rest of a character that did not fit
  std::size_t carry_begin_ = 0;
};

}  // namespace

std::unique_ptr<Input> MakeUtf16Input(Input& raw, std::string pending, bool big_endian, const std::string& part) {
  return std::make_unique<Utf16Input>(raw, std::move(pending), big_endian, part);
}

}  // namespace platform::data::xml
