#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/xls/byte_order.h"
#include "platform/filesystem/filesystem.h"

// BIFF records: the workbook stream is a sequence of records, each a
// 2-byte type, a 2-byte length and that many bytes. A record too long for
// one piece goes on in CONTINUE records that follow it.
namespace platform::data::xls {

namespace rec {
inline constexpr std::uint16_t kFormula = 0x0006;
inline constexpr std::uint16_t kEof = 0x000A;
inline constexpr std::uint16_t kDateMode = 0x0022;
inline constexpr std::uint16_t kFilePass = 0x002F;
inline constexpr std::uint16_t kContinue = 0x003C;
inline constexpr std::uint16_t kCodePage = 0x0042;
inline constexpr std::uint16_t kBoundSheet = 0x0085;
inline constexpr std::uint16_t kMulRk = 0x00BD;
inline constexpr std::uint16_t kMulBlank = 0x00BE;
inline constexpr std::uint16_t kRString = 0x00D6;
inline constexpr std::uint16_t kXf = 0x00E0;
inline constexpr std::uint16_t kSst = 0x00FC;
inline constexpr std::uint16_t kLabelSst = 0x00FD;
inline constexpr std::uint16_t kDimensions = 0x0200;
inline constexpr std::uint16_t kBlank = 0x0201;
inline constexpr std::uint16_t kNumber = 0x0203;
inline constexpr std::uint16_t kLabel = 0x0204;
inline constexpr std::uint16_t kBoolErr = 0x0205;
inline constexpr std::uint16_t kFormula3 = 0x0206;  // older writers' code
inline constexpr std::uint16_t kString = 0x0207;
inline constexpr std::uint16_t kRk = 0x027E;
inline constexpr std::uint16_t kFormat = 0x041E;
inline constexpr std::uint16_t kFormula4 = 0x0406;  // older writers' code
inline constexpr std::uint16_t kBof = 0x0809;
// Beginnings of files in formats before Excel 5.
inline constexpr std::uint16_t kBofBiff2 = 0x0009;
inline constexpr std::uint16_t kBofBiff3 = 0x0209;
inline constexpr std::uint16_t kBofBiff4 = 0x0409;
}  // namespace rec

// BOF record fields.
inline constexpr std::uint16_t kBiff5Version = 0x0500;
inline constexpr std::uint16_t kBiff8Version = 0x0600;
inline constexpr std::uint16_t kBofWorkbookGlobals = 0x0005;
inline constexpr std::uint16_t kBofWorksheet = 0x0010;

// Reads records one by one from a stream, joining each record with the
// CONTINUE records after it. The stream must outlive the reader.
class RecordReader {
 public:
  explicit RecordReader(const RandomAccessFile& stream);

  // Positions the reader at a record boundary (a sheet's BOF).
  void Seek(std::uint64_t offset);

  // Reads the next record. Returns false at the end of the stream (fewer
  // than 4 bytes left). Raises kWorkbookDamaged when a record runs past
  // the end of the stream.
  bool Next();

  std::uint16_t type() const { return type_; }
  // The record's bytes, CONTINUE pieces appended without their headers.
  // Valid until the next Next or Seek.
  std::string_view data() const { return data_; }
  // Where in data() each CONTINUE piece begins, ascending.
  const std::vector<std::uint32_t>& breaks() const { return breaks_; }
  // data() as a string of the caller's own, moved out rather than copied
  // when the record had CONTINUE pieces (data() is then invalid).
  std::string TakeData();
  std::uint64_t stream_size() const { return size_; }

 private:
  struct Piece {
    std::uint64_t at;  // stream offset of the piece's bytes
    std::size_t length;
  };

  // n bytes at stream offset `at`, read into the buffer when it does not
  // hold them yet; nullptr when the stream holds fewer. n must not exceed
  // the buffer's size. The bytes stay valid until the next call.
  const char* Bytes(std::uint64_t at, std::size_t n);
  bool NextInBuffer();
  // Appends n bytes at stream offset `at` (all there) to joined_.
  void AppendToJoined(std::uint64_t at, std::size_t n);

  const RandomAccessFile& stream_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::size_t buffer_size_;
  std::unique_ptr<char[]> buffer_;  // not zero-filled: only read bytes are looked at
  std::uint64_t buffer_start_ = 0;
  std::size_t buffer_length_ = 0;

  std::uint16_t type_ = 0;
  // A record without CONTINUE pieces is seen where it lies in the buffer;
  // one with them is joined in joined_.
  std::string_view data_;
  std::string joined_;
  std::vector<Piece> pieces_;
  std::vector<std::uint32_t> breaks_;
};

// Walks the fields of one record. Every read is bounds-checked: reading
// past the end returns false (or zero) and marks the cursor as short.
class RecordCursor {
 public:
  RecordCursor(std::string_view data, const std::vector<std::uint32_t>& breaks, std::size_t pos = 0)
      : data_(data), breaks_(breaks), pos_(pos) {}

  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool ok() const { return ok_; }

  // In line: every cell's fields are read through these.
  std::uint8_t U8() { return Have(1) ? static_cast<std::uint8_t>(data_[pos_++]) : 0; }
  std::uint16_t U16() {
    if (!Have(2)) return 0;
    const auto v = Le16(reinterpret_cast<const unsigned char*>(data_.data()) + pos_);
    pos_ += 2;
    return v;
  }
  std::uint32_t U32() {
    if (!Have(4)) return 0;
    const auto v = Le32(reinterpret_cast<const unsigned char*>(data_.data()) + pos_);
    pos_ += 4;
    return v;
  }
  void Skip(std::size_t n) {
    if (Have(n)) pos_ += n;
  }
  // The next n bytes, the cursor moved past them; nullptr when fewer are
  // left.
  const unsigned char* Bytes(std::size_t n) {
    if (!Have(n)) return nullptr;
    const auto* at = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
    pos_ += n;
    return at;
  }

  // BIFF8 character data: count characters, one byte each (high_byte
  // false) or UTF-16LE. Where a CONTINUE piece starts in the middle, the
  // piece opens with a fresh option byte that may switch between the
  // two. Appends UTF-8 to out; false if the record ends first.
  bool Chars(std::size_t count, bool high_byte, std::string& out);

  // A BIFF8 string: a length of length_bytes (1 or 2), an option byte,
  // rich-text and phonetic sizes as flagged, the characters, then the
  // runs and phonetic data skipped. Appends the text to out. A zero length
  // that ends the record is the empty string without its option byte.
  bool Biff8String(int length_bytes, std::string& out);

  // The same up to the characters: sets trailing to the bytes of runs and
  // phonetic data that follow them (for the caller to skip).
  bool Biff8Text(int length_bytes, std::string& out, std::size_t& trailing);

  // A BIFF5 string: a length of length_bytes (1 or 2) and that many
  // bytes in the workbook's code page (returned undecoded).
  bool Biff5Bytes(int length_bytes, std::string_view& out);

 private:
  // True when n bytes are left; otherwise marks the cursor short, at the end.
  bool Have(std::size_t n) {
    if (remaining() >= n) return true;
    ok_ = false;
    pos_ = data_.size();
    return false;
  }
  bool IsBreak(std::size_t pos) const;
  std::size_t PieceEnd(std::size_t pos) const;

  std::string_view data_;
  const std::vector<std::uint32_t>& breaks_;
  std::size_t pos_;
  bool ok_ = true;
  std::string scratch_;
};

}  // namespace platform::data::xls
