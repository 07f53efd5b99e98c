#include "xlsx_builder.h"

#include "zip_builder.h"

namespace xlsx_builder {

std::string Package(const Parts& parts) {
  std::vector<zip_builder::EntryDraft> entries;
  for (const auto& [name, text] : parts) entries.push_back({name, text});
  return zip_builder::Zip(entries).bytes;
}

std::string Rels(const std::vector<std::vector<std::string>>& items) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const auto& item : items) {
    out += "<Relationship Id=\"" + item[0] + "\" Type=\"" + std::string(kRelationships) + "/" + item[1] +
           "\" Target=\"" + item[2] + "\"/>";
  }
  return out + "</Relationships>";
}

Parts Workbook(const std::vector<Sheet>& sheets, const std::string& shared_strings, const std::string& styles,
               const std::string& workbook_pr) {
  Parts parts;
  parts.emplace_back("_rels/.rels", Rels({{"rId1", "officeDocument", "xl/workbook.xml"}}));
  std::string list;
  std::vector<std::vector<std::string>> rels;
  Parts sheet_parts;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    list += "<sheet name=\"" + sheets[i].name + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"" +
            (sheets[i].state.empty() ? "" : " state=\"" + sheets[i].state + "\"") + "/>";
    rels.push_back({"rId" + n, sheets[i].type, "worksheets/sheet" + n + ".xml"});
    sheet_parts.emplace_back("xl/worksheets/sheet" + n + ".xml",
                             "<worksheet xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" + kRelationships + "\">" +
                                 sheets[i].body + "</worksheet>");
  }
  if (!shared_strings.empty()) rels.push_back({"rIdS", "sharedStrings", "sharedStrings.xml"});
  if (!styles.empty()) rels.push_back({"rIdT", "styles", "styles.xml"});
  parts.emplace_back("xl/workbook.xml", "<workbook xmlns=\"" + std::string(kMain) + "\" xmlns:r=\"" +
                                            kRelationships + "\">" + workbook_pr + "<sheets>" + list +
                                            "</sheets></workbook>");
  parts.emplace_back("xl/_rels/workbook.xml.rels", Rels(rels));
  parts.insert(parts.end(), sheet_parts.begin(), sheet_parts.end());
  if (!shared_strings.empty()) parts.emplace_back("xl/sharedStrings.xml", shared_strings);
  if (!styles.empty()) parts.emplace_back("xl/styles.xml", styles);
  return parts;
}

std::string SharedStrings(const std::vector<std::string>& items) {
  std::string out = "<sst xmlns=\"" + std::string(kMain) + "\">";
  for (const std::string& item : items) out += item;
  return out + "</sst>";
}

std::string Styles(const std::vector<int>& xf_formats, const std::vector<std::pair<int, std::string>>& custom) {
  std::string out = "<styleSheet xmlns=\"" + std::string(kMain) + "\">";
  if (!custom.empty()) {
    out += "<numFmts>";
    for (const auto& [id, code] : custom) {
      out += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"" + code + "\"/>";
    }
    out += "</numFmts>";
  }
  out += "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs>";
  for (const int id : xf_formats) out += "<xf numFmtId=\"" + std::to_string(id) + "\" xfId=\"0\"/>";
  return out + "</cellXfs></styleSheet>";
}

}  // namespace xlsx_builder
