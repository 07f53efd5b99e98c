#pragma once

#include <memory>

#include "platform/data/provider.h"
#include "platform/data/zip/zip_archive.h"

namespace platform {
class RandomAccessFile;
}

namespace platform::data::xlsx {

// Opens an Office Open XML workbook (.xlsx, .xlsm, .xltx; transitional or
// strict) as a database (sheet::OpenSheetSession): OpenSchema
// (adSchemaTables) lists its worksheets, visible ones in workbook order,
// then hidden ones; Query("select * from  [Sheet1$]") reads one, first row
// as column names. Shared strings and styles are read when it opens, a
// sheet's part at each Query, streamed. zip is file's archive; the session
// takes over both. Raises platform::Error when the workbook cannot be
// read: 1101 not a workbook (callers tell other packages apart with
// IdentifyPackage first), 1102 an encrypted part, 1103 damaged (naming the
// part).
std::unique_ptr<Session> OpenXlsxSession(std::unique_ptr<RandomAccessFile> file,
                                         std::unique_ptr<zip::ZipArchive> zip);

// The same on a file alone (tests and the fuzzer use a MemoryFile).
std::unique_ptr<Session> OpenXlsxSession(std::unique_ptr<RandomAccessFile> file);

}  // namespace platform::data::xlsx
