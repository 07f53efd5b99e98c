#pragma once

#include <string>
#include <utility>
#include <vector>

// Builds .xlsx packages in memory for the reader's tests: hand-written
// parts zipped by zip_builder, or a whole workbook from sheet bodies.
namespace xlsx_builder {

using Parts = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// A ZIP of the parts, deflated, in order.
std::string Package(const Parts& parts);

// A relationship part: each item is {id, type (last URI segment), target}.
std::string Rels(const std::vector<std::vector<std::string>>& items);

struct Sheet {
  Sheet(std::string name_, std::string body_, std::string state_ = "", std::string type_ = "worksheet")
      : name(std::move(name_)), body(std::move(body_)), state(std::move(state_)), type(std::move(type_)) {}
  std::string name;
  std::string body;        // inside <worksheet>, e.g. "<sheetData>...</sheetData>"
  std::string state;       // "" visible, "hidden", "veryHidden"
  std::string type;
};

// A workbook: _rels/.rels, xl/workbook.xml (with workbook_pr inside),
// its relationships, xl/worksheets/sheetN.xml, and xl/sharedStrings.xml
// and xl/styles.xml when given (whole part texts).
Parts Workbook(const std::vector<Sheet>& sheets, const std::string& shared_strings = "",
               const std::string& styles = "", const std::string& workbook_pr = "");

// A sharedStrings part of the given <si> items.
std::string SharedStrings(const std::vector<std::string>& items);
// A styles part whose cellXfs use the given numFmtIds, with custom
// numFmts {id, code}.
std::string Styles(const std::vector<int>& xf_formats, const std::vector<std::pair<int, std::string>>& custom = {});

}  // namespace xlsx_builder
