#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// dBase III tables of character fields, as docs/dbase_format.md describes
// them. This layer knows bytes and the file layout only; names and values
// arrive already in the table's code page.
namespace platform {
class Clock;
class WritableFile;
}  // namespace platform

namespace platform::data::dbase {

// File header.
inline constexpr std::size_t kFileHeaderSize = 32;
inline constexpr std::size_t kVersionOffset = 0;
inline constexpr std::size_t kDateOffset = 1;  // YY since 1900, MM, DD
inline constexpr std::size_t kRecordCountOffset = 4;
inline constexpr std::size_t kHeaderLengthOffset = 8;
inline constexpr std::size_t kRecordLengthOffset = 10;
inline constexpr std::size_t kLanguageDriverOffset = 29;
inline constexpr unsigned char kVersionDbase3 = 0x03;
// Code page 936; LibreOffice and Visual FoxPro read it as GBK.
inline constexpr unsigned char kLanguageDriverCp936 = 0x7A;

// Field descriptors, one per field after the file header.
inline constexpr std::size_t kFieldDescriptorSize = 32;
inline constexpr std::size_t kFieldNameSize = 11;  // NUL-padded
inline constexpr std::size_t kMaxFieldNameBytes = kFieldNameSize - 1;
inline constexpr std::size_t kFieldTypeOffset = 11;
inline constexpr std::size_t kFieldWidthOffset = 16;
inline constexpr unsigned char kCharacterType = 'C';
inline constexpr unsigned char kHeaderTerminator = 0x0D;

// Records follow the header terminator.
inline constexpr unsigned char kRecordPresent = ' ';  // not deleted
inline constexpr char kPadding = ' ';
inline constexpr unsigned char kEndOfFile = 0x1A;

inline constexpr std::size_t kMaxFields = 255;
inline constexpr int kMaxCharacterWidth = 254;
// Readers with signed 32-bit offsets (FoxPro among them) stop here.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;

// How many bytes of records are gathered before they go to the file.
inline constexpr std::size_t kDefaultBatchBytes = 64 * 1024;

struct DbfField {
  std::string name;  // table code page, 1 to kMaxFieldNameBytes bytes, no NUL
  int width = 0;     // 1 to kMaxCharacterWidth bytes
};

// Raises 1205 (too many fields) when a table cannot have this many.
void CheckFieldCount(std::size_t count);

// Raises Error (1205 no field or too many, 1206 a width out of range, 1207
// an empty or overlong name or one holding NUL) unless a table can be
// made of these fields. Touches nothing.
void CheckFields(std::span<const DbfField> fields);

// Writes one table into a new, empty file.
//
// Records are gathered in memory and go to the file in batches; after each
// batch the end-of-file byte follows the last record and the header's date
// and record count are rewritten, so the file on disk is a complete table
// holding every batch written so far, whatever happens to the program
// afterwards. A failed write leaves the file as it was after the last
// complete batch (as far as the file system allows) and every later call
// raises 1210.
class DbfWriter {
 public:
  // Checks the fields (see CheckFields), then writes the header of an empty
  // table to file. The clock dates the header at every batch. Raises the
  // file's error if the header cannot be written; the file is then closed
  // and may be partial: the caller removes it.
  DbfWriter(std::unique_ptr<WritableFile> file, std::vector<DbfField> fields,
            const Clock& clock, std::size_t batch_bytes = kDefaultBatchBytes);
  // Without Close: writes what is gathered and closes the file, best
  // effort, never throwing.
  ~DbfWriter();
  DbfWriter(const DbfWriter&) = delete;
  DbfWriter& operator=(const DbfWriter&) = delete;

  const std::vector<DbfField>& fields() const { return fields_; }
  // Records added so far, written or still gathered.
  std::uint32_t record_count() const { return record_count_; }

  // Adds one record: one value per field, in the table's code page, each at
  // most its field's width (the caller cuts). Raises 1204 for another
  // number of values, 51 for a value wider than its field (neither adds
  // the record), 1209 when the table would pass kMaxFileSize, 1210 after a
  // failed write, or the file's error when a batch cannot be written.
  void AddRecord(std::span<const std::string> values);

  // Adds one record in place: returns where its first field goes, the
  // record already marked present and every field padded. The caller
  // writes each field's bytes (at most its width) at its offset, then
  // calls EndRecord; until then the record is not counted, and a record
  // begun and not ended is dropped by the next BeginRecord. Raises as
  // AddRecord does (1209, 1210), adding nothing. The pointer is valid
  // until EndRecord.
  char* BeginRecord();
  // Counts the record begun; writes the batch when it is full (raising the
  // file's error when that fails).
  void EndRecord();

  // Writes the rest, makes the file durable (fsync) and closes it. Raises
  // the file's error; the file is closed either way. Later calls raise 1210.
  void Close();

 private:
  void CheckRoom() const;
  void WriteBatch();
  [[noreturn]] void RaiseFailed() const;

  std::unique_ptr<WritableFile> file_;
  std::vector<DbfField> fields_;
  const Clock& clock_;
  std::size_t batch_bytes_;
  std::size_t record_length_ = 0;
  std::uint64_t written_end_ = 0;  // file offset just past the last written record
  std::uint32_t record_count_ = 0;
  std::string batch_;       // whole records, then perhaps one begun
  std::size_t ended_ = 0;   // bytes of batch_ that hold ended records
  bool begun_ = false;
  bool closed_ = false;
  std::string failure_;  // description of the failed write, if any
};

}  // namespace platform::data::dbase
