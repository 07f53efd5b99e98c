#pragma once

#include <memory>
#include <string_view>

#include "platform/data/provider.h"

namespace platform {
class FileSystem;
}

namespace platform::data::xls {

// Opens an Excel 97-2003 workbook as a database: OpenSchema(20) lists its
// worksheets, Query("select * from  [Sheet1$]") reads one, first row as
// column names. Raises platform::Error when the file cannot be read.
std::unique_ptr<Session> OpenWorkbookSession(const FileSystem& file_system,
                                             std::string_view path);

}  // namespace platform::data::xls
