#include "platform/data/xlsx/workbook_parts.h"

#include <charconv>
#include <map>
#include <optional>

#include "platform/data/sheet/damage.h"
#include "platform/data/sheet/date_format.h"
#include "platform/data/xlsx/package.h"
#include "platform/data/xlsx/sheet_reader.h"
#include "platform/data/xlsx/xml/xml_scanner.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

namespace platform::data::xlsx {
namespace {

// The first record of a binary (.xlsb) workbook part, BrtBeginBook.
constexpr std::string_view kBinaryWorkbookStart("\x83\x01", 2);

[[noreturn]] void Damaged(const std::string& what) { sheet::RaiseDamaged(what); }

std::optional<std::uint32_t> ParseIndex(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool IsTrue(std::string_view value) {
  return value == "1" || ascii::EqualsIgnoringCase(value, "true") || ascii::EqualsIgnoringCase(value, "on");
}

SheetState StateOf(std::string_view value) {
  if (value == "hidden") return SheetState::kHidden;
  if (value == "veryHidden") return SheetState::kVeryHidden;
  return SheetState::kVisible;
}

const Relationship* FindType(const std::vector<Relationship>& relationships, std::string_view type) {
  for (const Relationship& r : relationships) {
    if (r.type == type && !r.target.empty()) return &r;
  }
  return nullptr;
}

constexpr std::string_view kOpenDocumentType = "application/vnd.oasis.opendocument.";
constexpr std::string_view kOpenDocumentSheetType = "application/vnd.oasis.opendocument.spreadsheet";

// The local name of the part's root element.
std::string RootElement(const zip::ZipArchive& zip, const std::string& part) {
  PartScanner part_scanner(zip, part);
  xml::Scanner& s = part_scanner.scanner();
  for (xml::Token t = s.Next(); t != xml::Token::kEndOfDocument; t = s.Next()) {
    if (t == xml::Token::kStartElement) return std::string(s.local_name());
  }
  return "";
}

// The <sheet> elements and workbookPr of the workbook part, sheets still
// naming their relationship ids in `part`.
void ScanWorkbook(const zip::ZipArchive& zip, WorkbookInfo& info) {
  PartScanner part_scanner(zip, info.part);
  xml::Scanner& s = part_scanner.scanner();
  for (xml::Token t = s.Next(); t != xml::Token::kEndOfDocument; t = s.Next()) {
    if (t != xml::Token::kStartElement) continue;
    if (s.depth() == 1 && s.local_name() != "workbook") {
      Raise(err::kNotAWorkbook, "不是 Excel 工作簿：压缩包中的主文档是 " + zip::PrintableName(info.part));
    }
    if (s.depth() == 2 && s.local_name() == "workbookPr") {
      const std::string_view* date1904 = s.Find("date1904");
      info.date1904 = date1904 != nullptr && IsTrue(*date1904);
    }
    if (s.depth() != 3 || s.local_name() != "sheet") continue;
    const std::string_view* name = s.Find("name");
    if (name == nullptr) Damaged(s.part() + " 中有一个工作表没有名称");
    SheetInfo sheet;
    sheet.name = std::string(*name);
    const std::string_view* state = s.Find("state");
    if (state != nullptr) sheet.state = StateOf(*state);
    const std::string_view* id = s.Find("id");
    if (id != nullptr) sheet.part = std::string(*id);
    info.sheets.push_back(std::move(sheet));
  }
}

}  // namespace

PackageKind IdentifyPackage(const zip::ZipArchive& zip) {
  if (const zip::Entry* mimetype = zip.Find("mimetype")) {
    const std::string type = zip.ReadAll(*mimetype, 256);
    if (type.compare(0, kOpenDocumentSheetType.size(), kOpenDocumentSheetType) == 0) {
      return PackageKind::kOpenDocumentSheet;
    }
    if (type.compare(0, kOpenDocumentType.size(), kOpenDocumentType) == 0) return PackageKind::kOtherDocument;
  }
  const std::vector<Relationship> package = ReadRelationships(zip, "");
  const Relationship* office = FindType(package, "officeDocument");
  if (office == nullptr) return PackageKind::kNoDocument;
  const zip::Entry* entry = zip.Find(office->target);
  if (entry == nullptr) return PackageKind::kWorkbook;
  char head[2] = {};
  const std::size_t got = zip.Open(*entry)->Read(head, sizeof head);
  if (std::string_view(head, got) == kBinaryWorkbookStart) return PackageKind::kBinaryWorkbook;
  return RootElement(zip, office->target) == "workbook" ? PackageKind::kWorkbook : PackageKind::kOtherDocument;
}

WorkbookInfo ReadWorkbook(const zip::ZipArchive& zip) {
  const std::vector<Relationship> package = ReadRelationships(zip, "");
  const Relationship* office = FindType(package, "officeDocument");
  if (office == nullptr) Raise(err::kNotAWorkbook, "不是 Excel 工作簿：压缩包中找不到工作簿");
  WorkbookInfo info;
  info.part = office->target;
  if (zip.Find(info.part) == nullptr) Damaged("找不到工作簿 " + zip::PrintableName(info.part));
  ScanWorkbook(zip, info);
  const std::vector<Relationship> relationships = ReadRelationships(zip, info.part);
  for (SheetInfo& sheet : info.sheets) {
    const Relationship* found = nullptr;
    for (const Relationship& r : relationships) {
      if (r.id == sheet.part) found = &r;
    }
    sheet.worksheet = found != nullptr && found->type == "worksheet";
    sheet.part = found != nullptr ? found->target : "";
  }
  if (const Relationship* r = FindType(relationships, "sharedStrings")) info.shared_strings_part = r->target;
  if (const Relationship* r = FindType(relationships, "styles")) info.styles_part = r->target;
  return info;
}

void ReadSharedStrings(const zip::ZipArchive& zip, const std::string& part,
                       const std::function<void(std::string_view)>& add) {
  PartScanner part_scanner(zip, part);
  xml::Scanner& s = part_scanner.scanner();
  std::string text;
  bool in_item = false;
  bool in_text = false;
  std::size_t text_depth = 0;
  std::size_t phonetic_depth = 0;  // of the open <rPh>, 0 outside one
  std::size_t count = 0;
  xml::Scanner::Leaf leaf;
  auto add_item = [&](std::string& item) {
    DecodeEscapes(item);
    add(item);
    ++count;
  };
  for (;;) {
    // Most items are one plain <t>, read in one go.
    while (!in_item && s.depth() == 1 && s.NextLeaf(leaf)) {
      if (leaf.name != "si" && leaf.name != "sstItem") continue;
      text.assign(leaf.child == "t" ? leaf.text : std::string_view());
      add_item(text);
    }
    const xml::Token t = s.Next();
    if (t == xml::Token::kEndOfDocument) break;
    if (t == xml::Token::kText) {
      if (in_text && text.size() + s.text().size() > kMaxTextBytes) {
        Damaged(s.part() + " 中的第 " + std::to_string(count + 1) + " 个共享字符串太长（超过 16 MB）");
      }
      if (in_text) text += s.text();
    } else if (t == xml::Token::kStartElement) {
      // "sstItem": the shared strings of Excel 2007's beta format.
      if (s.depth() == 2 && (s.local_name() == "si" || s.local_name() == "sstItem")) {
        in_item = true;
        text.clear();
      } else if (in_item && phonetic_depth == 0 && s.local_name() == "rPh") {
        phonetic_depth = s.depth();
      } else if (in_item && phonetic_depth == 0 && s.local_name() == "t") {
        in_text = true;
        text_depth = s.depth();
      }
    } else {
      if (in_text && s.depth() + 1 == text_depth) in_text = false;
      if (phonetic_depth != 0 && s.depth() + 1 == phonetic_depth) phonetic_depth = 0;
      if (in_item && s.depth() == 1) {
        add_item(text);
        in_item = false;
      }
    }
  }
}

std::vector<bool> ReadDateStyles(const zip::ZipArchive& zip, const std::string& part) {
  PartScanner part_scanner(zip, part);
  xml::Scanner& s = part_scanner.scanner();
  std::map<std::uint32_t, std::string> custom;
  std::vector<std::uint32_t> formats;
  std::string section;  // the open child of styleSheet
  for (xml::Token t = s.Next(); t != xml::Token::kEndOfDocument; t = s.Next()) {
    if (t == xml::Token::kEndElement && s.depth() == 1) section.clear();
    if (t != xml::Token::kStartElement) continue;
    if (s.depth() == 2) section = std::string(s.local_name());
    if (s.depth() != 3) continue;
    const std::string_view* id_text = s.Find("numFmtId");
    const std::optional<std::uint32_t> id = id_text == nullptr ? std::optional<std::uint32_t>(0) : ParseIndex(*id_text);
    if (section == "numFmts" && s.local_name() == "numFmt") {
      const std::string_view* code = s.Find("formatCode");
      if (id && code != nullptr) custom[*id] = std::string(*code);
    } else if (section == "cellXfs" && s.local_name() == "xf") {
      if (!id) Damaged(s.part() + " 中的数字格式编号“" + std::string(*id_text) + "”不正确");
      formats.push_back(*id);
    }
  }
  std::vector<bool> dates(formats.size());
  for (std::size_t i = 0; i < formats.size(); ++i) {
    const auto found = custom.find(formats[i]);
    dates[i] = found != custom.end() ? sheet::IsDateFormatCode(found->second)
                                     : sheet::IsBuiltInDateFormat(static_cast<int>(formats[i]));
  }
  return dates;
}

namespace {

// The value of "_xHHHH_" at text[i], or -1.
long EscapeAt(const std::string& text, std::size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return -1;
  long value = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    const char c = text[k];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

void AppendUtf8(std::uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void DecodeEscapes(std::string& text) {
  if (text.find("_x") == std::string::npos) return;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    long c = EscapeAt(text, i);
    std::size_t used = 7;
    if (c >= 0xD800 && c <= 0xDBFF) {
      const long low = EscapeAt(text, i + 7);
      c = low >= 0xDC00 && low <= 0xDFFF ? 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00) : -1;
      used = 14;
    }
    // NUL and unpaired surrogates cannot be in a cell: such escapes stay
    // as they are written.
    if (c <= 0 || (c >= 0xD800 && c <= 0xDFFF)) {
      out += text[i++];
      continue;
    }
    AppendUtf8(static_cast<std::uint32_t>(c), out);
    i += used;
  }
  text = std::move(out);
}

}  // namespace platform::data::xlsx
