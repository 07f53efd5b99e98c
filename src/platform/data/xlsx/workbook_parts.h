#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/zip/zip_archive.h"

// The workbook-wide parts of an .xlsx package: the workbook (its sheets and
// date system), the shared strings and the cell styles.
namespace platform::data::xlsx {

enum class SheetState : std::uint8_t { kVisible, kHidden, kVeryHidden };

struct SheetInfo {
  std::string name;  // UTF-8
  SheetState state = SheetState::kVisible;
  bool worksheet = false;  // chartsheets, dialog and macro sheets are not
  std::string part;        // the sheet's part ("" when its relationship is missing)
};

struct WorkbookInfo {
  std::string part;                 // the workbook part, e.g. "xl/workbook.xml"
  bool date1904 = false;
  std::vector<SheetInfo> sheets;    // in workbook order
  std::string shared_strings_part;  // "" when there are none
  std::string styles_part;          // "" when there are none
};

// What a ZIP package holds, told by its content.
enum class PackageKind : std::uint8_t {
  kWorkbook,           // Office Open XML spreadsheet (.xlsx, .xlsm, .xltx, ...)
  kBinaryWorkbook,     // .xlsb: the workbook part is binary
  kOpenDocumentSheet,  // OpenDocument spreadsheet (.ods)
  kOtherDocument,      // another Office Open XML or OpenDocument file
  kNoDocument,         // a ZIP archive of something else
};

// Looks at the mimetype entry (OpenDocument), the package's officeDocument
// relationship and the first bytes (binary) or root element of the part it
// names. A package whose office document is missing counts as a workbook
// (ReadWorkbook then says what is missing). Raises kWorkbookDamaged for
// broken relationship or workbook parts.
PackageKind IdentifyPackage(const zip::ZipArchive& zip);

// Finds the workbook through the package's officeDocument relationship and
// reads its sheet list, date system and related parts. Raises
// kNotAWorkbook when the package has no office document or its office
// document is no workbook (callers check IdentifyPackage first for a
// kinder message) and kWorkbookDamaged when the workbook part is broken.
WorkbookInfo ReadWorkbook(const zip::ZipArchive& zip);

// Calls add for every shared string in order: plain text and rich-text
// runs joined, phonetic runs left out, _xHHHH_ escapes decoded. Raises
// kWorkbookDamaged for a part that is not well-formed.
void ReadSharedStrings(const zip::ZipArchive& zip, const std::string& part,
                       const std::function<void(std::string_view)>& add);

// For every cell style (cellXfs entry, by index): whether its number
// format shows a date or time, by the same rule as .xls workbooks
// (built-in format ids, or custom format codes).
std::vector<bool> ReadDateStyles(const zip::ZipArchive& zip, const std::string& part);

// Text as Excel keeps it: "_xHHHH_" stands for the UTF-16 unit HHHH
// ("_x005F_" for "_" itself), so that any character fits in XML.
void DecodeEscapes(std::string& text);

}  // namespace platform::data::xlsx
