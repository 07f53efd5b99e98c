#include "platform/data/xlsx/workbook_parts.h"

#include <gtest/gtest.h>

#include "platform/data/xlsx/package.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"
#include "xlsx_builder.h"

namespace platform::data::xlsx {
namespace {

using testing_support::ErrorOf;
using namespace xlsx_builder;

// A package held in memory with its archive.
struct Opened {
  explicit Opened(const Parts& parts) : bytes(Package(parts)), file(bytes), zip(file) {}
  std::string bytes;
  MemoryFile file;
  zip::ZipArchive zip;
};

TEST(PackageTest, TargetsResolveAgainstTheSourcePart) {
  struct Case {
    const char* source;
    const char* target;
    const char* part;
  };
  const Case cases[] = {
      {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "/xl/worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "../customXml/item1.xml", "customXml/item1.xml"},
      {"xl/workbook.xml", "./styles.xml", "xl/styles.xml"},
      {"xl/workbook.xml", "worksheets\\sheet1.xml", "xl/worksheets/sheet1.xml"},
      {"xl/workbook.xml", "sheet%201.xml#A1", "xl/sheet 1.xml"},
      {"xl/workbook.xml", "../../outside.xml", ""},
      {"xl/workbook.xml", "http://example.com/a.xml", ""},
      {"", "xl/workbook.xml", "xl/workbook.xml"},
      {"", "/xl/workbook.xml", "xl/workbook.xml"},
      {"workbook.xml", "sheet.xml", "sheet.xml"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveTarget(c.source, c.target), c.part) << c.source << " + " << c.target;
  EXPECT_EQ(RelationshipsPartOf("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
  EXPECT_EQ(RelationshipsPartOf("workbook.xml"), "_rels/workbook.xml.rels");
}

TEST(PackageTest, RelationshipsGiveTypeByLastSegmentAndSkipExternalTargets) {
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"a\" Type=\"http://purl.oclc.org/ooxml/officeDocument/relationships/worksheet\" "
      "Target=\"worksheets/s.xml\"/>"
      "<Relationship Id=\"b\" Type=\"http://x/hyperlink\" Target=\"http://example.com\" TargetMode=\"External\"/>"
      "</Relationships>";
  Opened p({{"xl/_rels/workbook.xml.rels", rels}});
  const auto found = ReadRelationships(p.zip, "xl/workbook.xml");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].id, "a");
  EXPECT_EQ(found[0].type, "worksheet");
  EXPECT_EQ(found[0].target, "xl/worksheets/s.xml");
  EXPECT_EQ(found[1].target, "");
  EXPECT_TRUE(ReadRelationships(p.zip, "xl/other.xml").empty());
}

TEST(WorkbookPartsTest, SheetsInOrderWithStateKindAndPart) {
  auto parts = Workbook({{"Hidden", "<sheetData/>", "hidden"},
                         {"Chart", "", "", "chartsheet"},
                         {"Dialog", "", "", "dialogsheet"},
                         {"Macro", "", "", "xlMacrosheet"},
                         {"数据", "<sheetData/>"},
                         {"Very", "<sheetData/>", "veryHidden"}},
                        SharedStrings({}), Styles({0}), "<workbookPr date1904=\"true\"/>");
  Opened p(parts);
  const WorkbookInfo info = ReadWorkbook(p.zip);
  EXPECT_EQ(info.part, "xl/workbook.xml");
  EXPECT_TRUE(info.date1904);
  ASSERT_EQ(info.sheets.size(), 6u);
  const bool worksheet[] = {true, false, false, false, true, true};
  const SheetState states[] = {SheetState::kHidden, SheetState::kVisible, SheetState::kVisible,
                               SheetState::kVisible, SheetState::kVisible, SheetState::kVeryHidden};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(info.sheets[i].worksheet, worksheet[i]) << i;
    EXPECT_EQ(info.sheets[i].state, states[i]) << i;
    EXPECT_EQ(info.sheets[i].part, "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
  }
  EXPECT_EQ(info.sheets[4].name, "数据");
  EXPECT_EQ(info.shared_strings_part, "xl/sharedStrings.xml");
  EXPECT_EQ(info.styles_part, "xl/styles.xml");
}

TEST(WorkbookPartsTest, DateSystemForms) {
  const std::pair<const char*, bool> cases[] = {
      {"<workbookPr date1904=\"1\"/>", true},     {"<workbookPr date1904=\"on\"/>", true},
      {"<workbookPr date1904=\"TRUE\"/>", true},  {"<workbookPr date1904=\"false\"/>", false},
      {"<workbookPr date1904=\"0\"/>", false},    {"<workbookPr/>", false},
      {"", false},
  };
  for (const auto& [pr, expected] : cases) {
    Opened p(Workbook({{"S", "<sheetData/>"}}, "", "", pr));
    EXPECT_EQ(ReadWorkbook(p.zip).date1904, expected) << pr;
  }
}

TEST(WorkbookPartsTest, PartsFoundByRelationshipNotByName) {
  // Strict namespaces, prefixes, odd names, an absolute target.
  const std::string main = "http://purl.oclc.org/ooxml/spreadsheetml/main";
  const std::string rel = "http://purl.oclc.org/ooxml/officeDocument/relationships";
  Parts parts = {
      {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                      "<Relationship Id=\"r\" Type=\"" + rel + "/officeDocument\" Target=\"/Book/Main.xml\"/>"
                      "</Relationships>"},
      {"Book/Main.xml", "<x:workbook xmlns:x=\"" + main + "\" xmlns:r=\"" + rel +
                            "\"><x:sheets><x:sheet name=\"A\" sheetId=\"1\" r:id=\"s1\"/></x:sheets></x:workbook>"},
      {"Book/_rels/Main.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"s1\" Type=\"" + rel + "/worksheet\" Target=\"../Data/One.xml\"/>"
       "<Relationship Id=\"t\" Type=\"" + rel + "/sharedStrings\" Target=\"Strings.xml\"/>"
       "<Relationship Id=\"u\" Type=\"" + rel + "/styles\" Target=\"/Look.xml\"/></Relationships>"},
  };
  Opened p(parts);
  const WorkbookInfo info = ReadWorkbook(p.zip);
  ASSERT_EQ(info.sheets.size(), 1u);
  EXPECT_TRUE(info.sheets[0].worksheet);
  EXPECT_EQ(info.sheets[0].part, "Data/One.xml");
  EXPECT_EQ(info.shared_strings_part, "Book/Strings.xml");
  EXPECT_EQ(info.styles_part, "Look.xml");
}

TEST(WorkbookPartsTest, PackagesToldByContent) {
  const std::string bin("\x83\x01\x00\x00", 4);
  const std::string ods = "application/vnd.oasis.opendocument.spreadsheet";
  const std::pair<Parts, PackageKind> cases[] = {
      {Workbook({{"S", "<sheetData/>"}}), PackageKind::kWorkbook},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.bin"}})}, {"xl/workbook.bin", bin}},
       PackageKind::kBinaryWorkbook},
      {{{"mimetype", ods}, {"content.xml", "<office:document-content/>"}}, PackageKind::kOpenDocumentSheet},
      {{{"mimetype", ods + "-template"}}, PackageKind::kOpenDocumentSheet},
      {{{"mimetype", "application/vnd.oasis.opendocument.text"}}, PackageKind::kOtherDocument},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "word/document.xml"}})},
        {"word/document.xml", "<w:document xmlns:w=\"w\"/>"}},
       PackageKind::kOtherDocument},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.xml"}})}}, PackageKind::kWorkbook},
      {{{"readme.txt", "hello"}}, PackageKind::kNoDocument},
  };
  for (const auto& [parts, kind] : cases) {
    Opened p(parts);
    EXPECT_EQ(IdentifyPackage(p.zip), kind) << parts[0].first;
  }
}

TEST(WorkbookPartsTest, PackagesThatHoldNoWorkbookAreRefusedClearly) {
  struct Case {
    Parts parts;
    int number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{{"a.txt", "x"}}, 1101, "不是 Excel 工作簿：压缩包中找不到工作簿"},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "word/document.xml"}})},
        {"word/document.xml", "<w:document xmlns:w=\"w\"/>"}},
       1101, "不是 Excel 工作簿：压缩包中的主文档是 word/document.xml"},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.xml"}})}}, 1103,
       "工作簿已损坏：找不到工作簿 xl/workbook.xml"},
      {{{"_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.xml"}})},
        {"xl/workbook.xml", "<workbook><sheets><sheet sheetId=\"1\"/></sheets></workbook>"}},
       1103, "工作簿已损坏：xl/workbook.xml 中有一个工作表没有名称"},
      {{{"_rels/.rels", "<Relationships>"}}, 1103,
       "工作簿已损坏：_rels/.rels 不是正确的 XML：元素 <Relationships> 没有结束（第 15 字节）"},
  };
  for (const Case& c : cases) {
    Opened p(c.parts);
    const Error e = ErrorOf([&] { ReadWorkbook(p.zip); });
    EXPECT_EQ(e.number(), c.number) << c.text;
    EXPECT_EQ(e.description(), c.text);
  }
}

std::vector<std::string> Strings(const std::string& part) {
  Opened p({{"s.xml", part}});
  std::vector<std::string> out;
  ReadSharedStrings(p.zip, "s.xml", [&](std::string_view s) { out.emplace_back(s); });
  return out;
}

TEST(WorkbookPartsTest, SharedStringsJoinRunsAndLeavePhoneticsOut) {
  const auto strings = Strings(SharedStrings({
      "<si><t>plain</t></si>",
      "<si><r><rPr><b/></rPr><t>粗体</t></r><r><t xml:space=\"preserve\"> 和 </t></r><r><t>普通</t></r></si>",
      "<si><t>東京</t><rPh sb=\"0\" eb=\"2\"><t>トウキョウ</t></rPh><phoneticPr fontId=\"1\"/></si>",
      "<si><t/></si>",
      "<si></si>",
      "<si><t><![CDATA[<a&b>]]></t></si>",
      "<si><t>line_x000D_\nnext _x005F_x0041_ _x0041_ _xD83D__xDE00_ _x0000_ _xD800_ _x12G4_</t></si>",
  }));
  const std::vector<std::string> expected = {
      "plain", "粗体 和 普通", "東京", "", "", "<a&b>",
      "line\r\nnext _x0041_ A 😀 _x0000_ _xD800_ _x12G4_"};
  EXPECT_EQ(strings, expected);
}

TEST(WorkbookPartsTest, SharedStringsOfTheBetaFormat) {
  EXPECT_EQ(Strings("<sst xmlns=\"b\"><sstItem><t>Lorem</t></sstItem><sstItem><t>ipsum</t></sstItem></sst>"),
            (std::vector<std::string>{"Lorem", "ipsum"}));
}

TEST(WorkbookPartsTest, PrefixedSharedStrings) {
  const auto strings = Strings("<x:sst xmlns:x=\"m\"><x:si><x:r><x:t>a</x:t></x:r><x:r><x:t>b</x:t></x:r></x:si></x:sst>");
  EXPECT_EQ(strings, std::vector<std::string>{"ab"});
}

TEST(WorkbookPartsTest, DateStylesByBuiltInIdOrCustomCode) {
  Opened p({{"st.xml", Styles({0, 14, 22, 49, 45, 164, 165, 166, 167, 14, 2, 58},
                              {{164, "yyyy-mm-dd"}, {165, "0.00&quot; days&quot;"}, {166, "[h]:mm"},
                               {167, "[Red]0.00\\h"}, {2, "yy"}})}});
  const std::vector<bool> expected = {false, true, true, false, true, true, false, true, false, true, true, true};
  EXPECT_EQ(ReadDateStyles(p.zip, "st.xml"), expected);
}

TEST(WorkbookPartsTest, CustomCodeOverridesABuiltInId) {
  Opened p({{"st.xml", Styles({14}, {{14, "0.00"}})}});
  EXPECT_EQ(ReadDateStyles(p.zip, "st.xml"), std::vector<bool>{false});
}

TEST(WorkbookPartsTest, AStyleWithoutAFormatIsGeneralAndABadIdIsDamage) {
  Opened p({{"st.xml", "<styleSheet><cellXfs><xf/><xf numFmtId=\"14\"/></cellXfs></styleSheet>"},
            {"bad.xml", "<styleSheet><cellXfs><xf numFmtId=\"x\"/></cellXfs></styleSheet>"}});
  EXPECT_EQ(ReadDateStyles(p.zip, "st.xml"), (std::vector<bool>{false, true}));
  const Error e = ErrorOf([&] { ReadDateStyles(p.zip, "bad.xml"); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(e.description(), "工作簿已损坏：bad.xml 中的数字格式编号“x”不正确");
}

}  // namespace
}  // namespace platform::data::xlsx
