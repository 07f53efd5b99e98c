#pragma once

#include <memory>
#include <string_view>

#include "platform/data/provider.h"

namespace platform {
class FileSystem;
class RandomAccessFile;
}

namespace platform::data::xls {

// Opens an Excel 97-2003 workbook (BIFF8; Excel 5/95 BIFF5 too) as a
// database (sheet::OpenSheetSession): OpenSchema(adSchemaTables) lists its
// worksheets, visible ones in tab order, then hidden ones;
// Query("select * from  [Sheet1$]") reads one, first row as column names.
// The file stays open until the session goes.
// Raises platform::Error when the file cannot be read: the file system's
// own errors (53 not found...), 1101 not an Excel 97-2003 workbook, 1102
// encrypted, 1103 damaged.
std::unique_ptr<Session> OpenWorkbookSession(const FileSystem& file_system,
                                             std::string_view path);

// The same on an open file, which the session takes over (tests and the
// fuzzer use a MemoryFile).
std::unique_ptr<Session> OpenWorkbookSession(std::unique_ptr<RandomAccessFile> file);

}  // namespace platform::data::xls
