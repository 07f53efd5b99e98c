#include "platform/data/dbase/dbf_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace platform::data::dbase {
namespace {

void PutU16(std::string& bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void PutU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
  PutU16(bytes, offset, value & 0xFFFF);
  PutU16(bytes, offset + 2, value >> 16);
}

// The three date bytes and the record count, which sit side by side.
std::string DateAndCount(int year, int month, int day, std::uint32_t record_count) {
  std::string bytes(kRecordCountOffset + 4 - kDateOffset, '\0');
  bytes[0] = static_cast<char>(std::clamp(year - 1900, 0, 255));
  bytes[1] = static_cast<char>(std::clamp(month, 1, 12));
  bytes[2] = static_cast<char>(std::clamp(day, 1, 31));
  PutU32(bytes, kRecordCountOffset - kDateOffset, record_count);
  return bytes;
}

std::size_t HeaderLength(std::size_t field_count) {
  return kFileHeaderSize + kFieldDescriptorSize * field_count + 1;
}

// The header and field descriptors of a table, followed by the header
// terminator (no end-of-file byte).
std::string HeaderBytes(std::span<const DbfField> fields, int year, int month, int day,
                        std::uint32_t record_count) {
  std::string header(HeaderLength(fields.size()), '\0');
  header[kVersionOffset] = static_cast<char>(kVersionDbase3);
  header.replace(kDateOffset, kRecordCountOffset + 4 - kDateOffset,
                 DateAndCount(year, month, day, record_count));
  std::uint32_t record_length = 1;
  for (const DbfField& field : fields) record_length += static_cast<std::uint32_t>(field.width);
  PutU16(header, kHeaderLengthOffset, static_cast<std::uint32_t>(header.size()));
  PutU16(header, kRecordLengthOffset, record_length);
  header[kLanguageDriverOffset] = static_cast<char>(kLanguageDriverCp936);
  std::size_t at = kFileHeaderSize;
  for (const DbfField& field : fields) {
    header.replace(at, field.name.size(), field.name);
    header[at + kFieldTypeOffset] = static_cast<char>(kCharacterType);
    header[at + kFieldWidthOffset] = static_cast<char>(field.width);
    at += kFieldDescriptorSize;
  }
  header[at] = static_cast<char>(kHeaderTerminator);
  return header;
}

}  // namespace

void CheckFieldCount(std::size_t count) {
  if (count > kMaxFields) {
    Raise(err::kDbaseTooManyFields, "字段太多：" + std::to_string(count) + " 个，dBase 表最多 " +
                                        std::to_string(kMaxFields) + " 个字段");
  }
}

void CheckFields(std::span<const DbfField> fields) {
  if (fields.empty()) Raise(err::kDbaseTooManyFields, "表至少要有一个字段");
  CheckFieldCount(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const DbfField& field = fields[i];
    const std::string which = "第 " + std::to_string(i + 1) + " 个字段";
    if (field.name.empty() || field.name.size() > kMaxFieldNameBytes ||
        field.name.find('\0') != std::string::npos) {
      Raise(err::kDbaseBadFieldName, which + "的名称无效（须为 1 到 10 个字节，不含 NUL）");
    }
    if (field.width < 1 || field.width > kMaxCharacterWidth) {
      Raise(err::kDbaseBadFieldWidth, which + "的宽度 " + std::to_string(field.width) +
                                          " 超出范围（字符字段宽度为 1 到 " +
                                          std::to_string(kMaxCharacterWidth) + "）");
    }
  }
}

DbfWriter::DbfWriter(std::unique_ptr<WritableFile> file, std::vector<DbfField> fields,
                     const Clock& clock, std::size_t batch_bytes)
    : file_(std::move(file)), fields_(std::move(fields)), clock_(clock), batch_bytes_(batch_bytes) {
  CheckFields(fields_);
  record_length_ = 1;
  for (const DbfField& field : fields_) record_length_ += static_cast<std::size_t>(field.width);
  batch_.reserve(std::max(batch_bytes_, record_length_) + 1);

  const LocalTime now = clock_.Now();
  std::string header = HeaderBytes(fields_, now.year, now.month, now.day, 0);
  written_end_ = header.size();
  header.push_back(static_cast<char>(kEndOfFile));
  try {
    file_->WriteAt(0, header);
  } catch (...) {
    closed_ = true;
    try {
      file_->Close();
    } catch (...) {
      // The write error is the one to report.
    }
    throw;
  }
}

DbfWriter::~DbfWriter() {
  try {
    Close();
  } catch (...) {
    // Best effort: the file holds the last batch that went through.
  }
}

void DbfWriter::CheckRoom() const {
  if (written_end_ + ended_ + record_length_ + 1 > kMaxFileSize) {
    Raise(err::kDbaseTableTooLarge, "表文件将超过 2 GB（已有 " + std::to_string(record_count_) +
                                        " 条记录），不能再写入");
  }
}

void DbfWriter::AddRecord(std::span<const std::string> values) {
  if (closed_ || !failure_.empty()) RaiseFailed();
  if (values.size() != fields_.size()) {
    Raise(err::kDbaseValueCount, "值的个数 " + std::to_string(values.size()) + " 与字段数 " +
                                     std::to_string(fields_.size()) + " 不符");
  }
  CheckRoom();
  // Checked before the record goes in, so that a refused one leaves the
  // batch as it was.
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i].size() > static_cast<std::size_t>(fields_[i].width)) {
      Raise(err::kInternalError, "内部错误：第 " + std::to_string(i + 1) + " 个字段的值长 " +
                                     std::to_string(values[i].size()) + " 个字节，超过字段宽度 " +
                                     std::to_string(fields_[i].width));
    }
  }
  char* field = BeginRecord();
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::memcpy(field, values[i].data(), values[i].size());
    field += fields_[i].width;
  }
  EndRecord();
}

char* DbfWriter::BeginRecord() {
  if (closed_ || !failure_.empty()) RaiseFailed();
  CheckRoom();
  // The whole record padded at once; the caller copies each value into
  // place.
  batch_.resize(ended_);
  batch_.append(record_length_, kPadding);
  begun_ = true;
  char* record = batch_.data() + ended_;
  *record = static_cast<char>(kRecordPresent);
  return record + 1;
}

void DbfWriter::EndRecord() {
  if (!begun_) return;
  begun_ = false;
  ended_ = batch_.size();
  ++record_count_;
  if (ended_ >= batch_bytes_) WriteBatch();
}

void DbfWriter::Close() {
  if (closed_) {
    if (!failure_.empty()) RaiseFailed();
    return;
  }
  closed_ = true;
  try {
    if (!failure_.empty()) RaiseFailed();
    WriteBatch();
    file_->Sync();
  } catch (...) {
    try {
      file_->Close();
    } catch (...) {
      // The first error is the one to report.
    }
    throw;
  }
  file_->Close();
}

void DbfWriter::WriteBatch() {
  const std::uint64_t start = written_end_;
  // Only ended records go to the file.
  batch_.resize(ended_);
  begun_ = false;
  batch_.push_back(static_cast<char>(kEndOfFile));
  const LocalTime now = clock_.Now();
  try {
    // Records first, count second: a crash between the two leaves a count
    // that is too small, never one that is too large.
    file_->WriteAt(start, batch_);
    file_->WriteAt(kDateOffset, DateAndCount(now.year, now.month, now.day, record_count_));
  } catch (...) {
    try {
      throw;
    } catch (const Error& e) {
      failure_ = e.description();
    } catch (...) {
      failure_ = "写入时出错";
    }
    batch_.clear();
    ended_ = 0;
    try {
      // Readers that stop at the end-of-file byte then stop where the
      // header's count does.
      file_->WriteAt(start, std::string(1, static_cast<char>(kEndOfFile)));
    } catch (...) {
    }
    throw;
  }
  written_end_ += batch_.size() - 1;
  batch_.clear();
  ended_ = 0;
}

void DbfWriter::RaiseFailed() const {
  if (failure_.empty()) Raise(err::kDbaseWriteFailed, "表文件已经关闭，不能再写入");
  Raise(err::kDbaseWriteFailed, "表文件之前写入失败，不能再写入（" + failure_ + "）");
}

}  // namespace platform::data::dbase
