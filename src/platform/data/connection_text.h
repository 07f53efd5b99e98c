#pragma once

#include <string>
#include <string_view>

namespace platform::data {

// What a connection text asks for.
struct ConnectionTarget {
  enum class Kind { kWorkbook, kDbase };
  Kind kind = Kind::kWorkbook;
  std::string location;  // the workbook path, or the dBase folder
};

// Parses the two connection texts the program builds:
//   Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<path>;Extended
//   Properties="Excel 8.0;HDR=Yes;";
//   Provider=MSDASQL.1;...;Extended Properties="...;DefaultDir=<folder>;
//   Deleted=0;Driver={Microsoft dBase Driver (*.dbf)};DriverId=21;...;"
// The path and the folder are taken as they are, whatever they hold (';',
// '=', quotes, spaces, Chinese): each runs up to the fixed text that
// follows it. Anything else raises 1001 (malformed) or 1002 (unknown
// provider or driver).
ConnectionTarget ParseConnectionText(std::string_view text);

// The two texts above, built letter for letter around a workbook path and
// a dBase folder, both taken as they are.
std::string WorkbookConnectionText(std::string_view path);
std::string DbaseConnectionText(std::string_view folder);

}  // namespace platform::data
