#pragma once

#include <memory>
#include <string_view>

#include "platform/data/provider.h"

namespace platform {
class Clock;
class FileSystem;
}  // namespace platform

namespace platform::data::dbase {

// A session that writes dBase III tables (code page 936) in folder from
// CREATE TABLE and insert statements (shapes in statement.h). The clock
// dates the file headers. Both must outlive the session.
//
// Execute(CREATE TABLE): checks the definitions (field names made fit for
// dBase, see field_names.h; 1205/1206/1207), then creates the file
// exclusively: if anything exists at the path it fails with 58 and leaves
// it untouched. A refused statement creates nothing.
// Execute(insert): appends one record to a table this session created
// (1202 for any other), values cut to the field width without splitting a
// character. Records are written in batches; after each batch the file is
// a complete table (record count and end-of-file byte right).
// Close(): every table complete on disk (fsync'ed) before it returns.
// Destroying the session without Close finishes every table with the rows
// inserted so far, best effort, without throwing.
// DataWarnings(): renamed and shortened field names, cut values, and
// characters written in four-byte GB18030 form, in field names and in
// values; every field-name warning is listed, value warnings the first 100
// of each kind, the rest counted.
//
// WriteMode::kOnThread: inserts are carried out on a thread of the
// session's own, in batches, while the caller goes on. An insert's error
// (a statement that does not fit, a full disk) is raised by a later
// Execute or by Close, and again by every call after; no insert sent
// after it goes in. Close returns once every insert sent is carried out,
// and only then do DataWarnings cover every row. CREATE TABLE is carried
// out at once, after the inserts sent before it.
enum class WriteMode { kOnCaller, kOnThread };

std::unique_ptr<Session> OpenDbaseSession(FileSystem& file_system,
                                          const Clock& clock,
                                          std::string_view folder,
                                          WriteMode mode = WriteMode::kOnCaller);

}  // namespace platform::data::dbase
