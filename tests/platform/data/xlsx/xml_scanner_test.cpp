#include "platform/data/xlsx/xml/xml_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::data::xml {
namespace {

using testing_support::ErrorOf;

// Hands out its bytes in pieces of a fixed size (0: all at once).
class PieceInput : public Input {
 public:
  PieceInput(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::size_t Read(char* out, std::size_t n) override {
    n = std::min({n, bytes_.size(), piece_ == 0 ? n : piece_});
    std::memcpy(out, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t piece_;
};

std::string StartTag(const Scanner& scanner) {
  std::string out = "<" + std::string(scanner.name());
  for (const Attribute& a : scanner.attributes()) out += " " + std::string(a.name) + "=" + std::string(a.value);
  return out;
}

// The tokens as text: <name a=v>, </name>, T(text) with the pieces of one
// text joined; an empty element shows as <name/></name>. With leaves,
// NextLeaf is tried before every token (counted in *leaves) and a leaf is
// shown as its tokens are.
std::string Trace(std::string_view document, std::size_t piece = 0, int* leaves = nullptr) {
  PieceInput input(document, piece);
  Scanner scanner(input, "part.xml");
  std::string out, text;
  Scanner::Leaf leaf;
  for (;;) {
    if (leaves != nullptr && scanner.NextLeaf(leaf)) {
      if (!text.empty()) out += "T(" + text + ")";
      text.clear();
      ++*leaves;
      out += StartTag(scanner) + ">";
      if (!leaf.child.empty()) {
        out += "<" + std::string(leaf.child) + ">";
        if (!leaf.text.empty()) out += "T(" + std::string(leaf.text) + ")";
        out += "</" + std::string(leaf.child) + ">";
      }
      out += "</" + std::string(leaf.name) + ">";
      continue;
    }
    const Token token = scanner.Next();
    if (token != Token::kText && !text.empty()) {
      out += "T(" + text + ")";
      text.clear();
    }
    switch (token) {
      case Token::kStartElement:
        out += StartTag(scanner) + (scanner.empty_element() ? "/>" : ">");
        break;
      case Token::kEndElement:
        out += "</" + std::string(scanner.name()) + ">";
        break;
      case Token::kText:
        text += scanner.text();
        break;
      case Token::kEndOfDocument:
        return out;
    }
  }
}

std::string WithoutEmptyMarks(std::string trace) {
  for (std::size_t at; (at = trace.find("/></")) != std::string::npos;) trace.erase(at, 1);
  return trace;
}

// A trace read with leaves, where an empty element cannot show as such.
std::string LeafTrace(std::string_view document, std::size_t piece, int& leaves) {
  return WithoutEmptyMarks(Trace(document, piece, &leaves));
}

std::string Utf16(std::u16string_view text, bool big_endian, bool bom) {
  std::string out = bom ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  }
  return out;
}

TEST(XmlScannerTest, WellFormedDocumentsGiveTheirTokensInAnyPieces) {
  struct Case {
    std::string document;
    std::string trace;
  };
  const std::vector<Case> cases = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<a x=\"1\" y='2'>t</a>",
       "<a x=1 y=2>T(t)</a>"},
      {"<a>&amp;&lt;&gt;&quot;&apos;&#x4E2D;&#20013;&#x1F600;&#0000065;</a>", "<a>T(&<>\"'中中😀A)</a>"},
      {"<a>x<![CDATA[<b>&amp;]]]]>y<![CDATA[]]></a>", "<a>T(x<b>&amp;]]y)</a>"},
      {"<!-- c --><?pi data?>\n<a><!--x-->b<?p?>c<!----></a><!-- after -->\n", "<a>T(bc)</a>"},
      {"<x:worksheet xmlns:x=\"u\"><x:c r=\"A1\"/></x:worksheet>",
       "<x:worksheet xmlns:x=u><x:c r=A1/></x:c></x:worksheet>"},
      {"<a b=\"1\r\n2\t3\n4\rz\">x\r\ny\rz\n</a>", "<a b=1 2 3 4 z>T(x\ny\nz\n)</a>"},
      {"<a b=\"&#10;&#9;&#13;\">&#13;&#10;</a>", "<a b=\n\t\r>T(\r\n)</a>"},
      {"<t xml:space=\"preserve\">  a  </t>", "<t xml:space=preserve>T(  a  )</t>"},
      {"\xEF\xBB\xBF<a/>", "<a/></a>"},
      {"<a b=\"x>y'z\" c='\"'/>", "<a b=x>y'z c=\"/></a>"},
      {"<a>] ]] ]>x</a>", "<a>T(] ]] ]>x)</a>"},
      {" \n<a\n x = \"1\"\t/>\n ", "<a x=1/></a>"},
      {"<a><b><c/></b><b></b ></a>", "<a><b><c/></c></b><b></b></a>"},
      {"<a xmlns=\"d\" xmlns:r=\"rel\"><b r:id=\"rId1\"/><r:c/></a>",
       "<a xmlns=d xmlns:r=rel><b r:id=rId1/></b><r:c/></r:c></a>"},
      {"<名称 属性=\"值\">中文</名称>", "<名称 属性=值>T(中文)</名称>"},
      {Utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a b=\"中\">\U0001F600x</a>", false, true),
       "<a b=中>T(😀x)</a>"},
      {Utf16(u"<?xml version=\"1.0\" encoding=\"utf-16\"?><a>中</a>", true, true), "<a>T(中)</a>"},
      {Utf16(u"<?xml version=\"1.0\"?><a/>", false, false), "<a/></a>"},
  };
  for (const Case& c : cases) {
    for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
      EXPECT_EQ(Trace(c.document, piece), c.trace) << c.document << " in pieces of " << piece;
      int leaves = 0;
      EXPECT_EQ(LeafTrace(c.document, piece, leaves), WithoutEmptyMarks(c.trace)) << c.document << " with leaves";
    }
  }
}

TEST(XmlScannerTest, NamesAttributesAndDepth) {
  StringInput input("<x:sheetData xmlns:x=\"u\" x:a=\"1\" b=\"\"><x:row/></x:sheetData>");
  Scanner s(input, "p");
  ASSERT_EQ(s.Next(), Token::kStartElement);
  EXPECT_EQ(s.name(), "x:sheetData");
  EXPECT_EQ(s.local_name(), "sheetData");
  EXPECT_EQ(s.depth(), 1u);
  ASSERT_EQ(s.attributes().size(), 3u);
  EXPECT_EQ(s.attributes()[1].local_name, "a");
  ASSERT_NE(s.Find("a"), nullptr);
  EXPECT_EQ(*s.Find("a"), "1");
  ASSERT_NE(s.Find("b"), nullptr);
  EXPECT_EQ(*s.Find("b"), "");
  EXPECT_EQ(s.Find("c"), nullptr);
  ASSERT_EQ(s.Next(), Token::kStartElement);
  EXPECT_EQ(s.local_name(), "row");
  EXPECT_TRUE(s.empty_element());
  EXPECT_EQ(s.depth(), 2u);
  ASSERT_EQ(s.Next(), Token::kEndElement);
  EXPECT_EQ(s.local_name(), "row");
  EXPECT_EQ(s.depth(), 1u);
  ASSERT_EQ(s.Next(), Token::kEndElement);
  EXPECT_EQ(s.depth(), 0u);
  EXPECT_EQ(s.Next(), Token::kEndOfDocument);
  EXPECT_EQ(s.Next(), Token::kEndOfDocument);
}

TEST(XmlScannerTest, MalformedInputIsDamageSayingWhatIsWrong) {
  struct Case {
    std::string document;
    std::string what;
  };
  std::string deep, many = "<a";
  for (int i = 0; i < 257; ++i) deep += "<a>";
  for (int i = 0; i < 300; ++i) many += " a" + std::to_string(i) + "=\"\"";
  const std::vector<Case> cases = {
      {"<!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>", "不接受 DOCTYPE 声明"},
      {"<a>&x;</a>", "未定义的实体 &x;"},
      {"<a>&#0;</a>", "字符引用 &#0; 不正确"},
      {"<a>&#xD800;</a>", "字符引用 &#xD800; 不正确"},
      {"<a>&#x110000;</a>", "字符引用 &#x110000; 不正确"},
      {"<a>&#x;</a>", "字符引用 &#x; 不正确"},
      {"<a>&#12a;</a>", "字符引用 &#12a; 不正确"},
      {"<a>&amp</a>", "“&”后面不是完整的实体引用"},
      {"<a b=\"&bogus;\"/>", "未定义的实体 &bogus;"},
      {"<a></b>", "结束标记 </b> 与开始标记 <a> 不配对"},
      {"<a><b></a>", "结束标记 </a> 与开始标记 <b> 不配对"},
      {"<a><b>", "元素 <b> 没有结束"},
      {"", "文档中没有元素"},
      {"  <!-- only a comment -->", "文档中没有元素"},
      {"<a/><b/>", "根元素之后不能再有元素"},
      {"x<a/>", "根元素之外不能有文字"},
      {"<a/>x", "根元素之外不能有文字"},
      {"<a x=\"1\" x=\"2\"/>", "属性 x 出现了两次"},
      {"<a x=1/>", "属性值缺少引号"},
      {"<a x/>", "属性后面缺少“=”"},
      {"<a x=\"1\"y=\"2\"/>", "属性前面缺少空格"},
      {"<a x=\"<\"/>", "属性值中不能有“<”"},
      {"<a / >", "“/”后面缺少“>”"},
      {"<a>\x01</a>", "文字中有不允许的控制字符"},
      {"<a b=\"\x1F\"/>", "文字中有不允许的控制字符"},
      {"<a>\xC3\x28</a>", "不是正确的 UTF-8 文字"},
      {"<a>\xC0\xAF</a>", "不是正确的 UTF-8 文字"},
      {"<a>\xED\xA0\x80</a>", "不是正确的 UTF-8 文字"},
      {"<a>\xEF\xBF\xBE</a>", "不是正确的 UTF-8 文字"},
      {"<a>\xF4\x90\x80\x80</a>", "不是正确的 UTF-8 文字"},
      {"<a>\xE4\xB8</a>", "不是正确的 UTF-8 文字"},
      {"<a\xFF/>", "名称不是正确的 UTF-8 文字"},
      {"<a><!-- \x02 --></a>", "有不允许的控制字符"},
      {"<a>]]></a>", "文字中不能有“]]>”"},
      {"<a><!-- a -- b --></a>", "注释中不能有“--”"},
      {" <?xml version=\"1.0\"?><a/>", "XML 声明只能在文档开头"},
      {"<a/><?XML version=\"1.0\"?>", "XML 声明只能在文档开头"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", "不支持的编码 ISO-8859-1"},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", "XML 声明的编码 UTF-16 与文件不符"},
      {"<?xml encoding=\"UTF-8\"?><a/>", "XML 声明不正确"},
      {"<?xml version=\"1.0\" standalone=\"maybe\"?><a/>", "XML 声明不正确"},
      {"<?xml?><a/>", "XML 声明缺少版本"},
      {"<?pi", "文档在标记中间结束"},
      {"<? pi?><a/>", "处理指令缺少名称"},
      {"<x:a/>", "命名空间前缀 x 没有声明"},
      {"<a x:b=\"1\"/>", "命名空间前缀 x 没有声明"},
      {"<a xmlns:x=\"\"/>", "命名空间前缀 x 的声明不正确"},
      {"<a><b xmlns:x=\"u\"/><x:c/></a>", "命名空间前缀 x 没有声明"},
      {"<xmlns:a/>", "元素名不能用 xmlns 前缀"},
      {"<a x=\"1", "文档在标记中间结束"},
      {"<a", "文档在标记中间结束"},
      {"<a><![CDATA[x", "文档在标记中间结束"},
      {"<![CDATA[x]]><a/>", "CDATA 段只能在根元素之内"},
      {"<a><!ELEMENT a></a>", "不认识的标记“<!”"},
      {deep, "元素嵌套太深"},
      {"</a>", "多余的结束标记 </a>"},
      {"<1a/>", "“<”后面不是元素名"},
      {"<a></>", "“</”后面不是元素名"},
      {"<a></a x>", "结束标记缺少“>”"},
      {"<a:/>", "名称中的冒号位置不对"},
      {"<a:b:c/>", "名称中的冒号位置不对"},
      {many + "/>", "属性太多"},
      {"<a x=\"" + std::string(3 << 20, 'y') + "\"/>", "标记太长"},
      {Utf16(u"<a/>", false, true) + "x", "不是正确的 UTF-16 文字"},
      {Utf16(u"<a>\xD800</a>", false, true), "不是正确的 UTF-16 文字"},
      {Utf16(u"<a>\xDC00</a>", true, true), "不是正确的 UTF-16 文字"},
  };
  for (const Case& c : cases) {
    const Error e = ErrorOf([&] { Trace(c.document); });
    EXPECT_EQ(e.number(), 1103) << c.document.substr(0, 60);
    const std::string head = "工作簿已损坏：part.xml ";
    EXPECT_EQ(e.description().substr(0, head.size()), head) << c.document.substr(0, 60);
    EXPECT_NE(e.description().find(c.what), std::string::npos)
        << c.document.substr(0, 60) << " gives " << e.description();
    int leaves = 0;
    EXPECT_EQ(ErrorOf([&] { LeafTrace(c.document, 0, leaves); }).description(), e.description()) << "with leaves";
  }
}

// Plain elements are read whole; anything else is left to Next(), which
// reads it the same or says what is wrong, at the same byte.
TEST(XmlScannerTest, PlainElementsAreReadWholeAndNothingElseIs) {
  struct Case {
    std::string content;  // inside <r>
    int leaves;
  };
  const std::vector<Case> cases = {
      {"<c r=\"A1\" s=\"3\" t=\"s\"><v>12</v></c><c r=\"B1\"/><c r=\"C1\"></c>", 3},
      {" \n<c><v></v></c>\n <si><t>中文 text</t></si>", 2},
      {"<c r=\"A1\"><v>1 &amp; 2</v></c>", 0},
      {"<c r=\"A1\"><v>a\r\nb</v></c>", 0},
      {"<c r=\"A1\"><v>a]b</v></c>", 0},
      {"<c r=\"A1\"><v><![CDATA[1]]></v></c>", 0},
      {"<c r='A1'><v>1</v></c>", 0},
      {"<c r=\"&#65;1\"><v>1</v></c>", 0},
      {"<c  r=\"A1\"><v>1</v></c>", 0},
      {"<x:c xmlns:x=\"u\"><x:v>1</x:v></x:c>", 0},
      {"<c><f>A2</f><v>1</v></c>", 0},
      {"<c><v t=\"1\">1</v></c>", 0},
      {"<c><is><t>x</t></is></c>", 1},  // the <t>
      {"<c><v>1</v ></c>", 0},
      {"<c><v/></c>", 1},  // the <v/>
      {"<c><v>1</v></c> text", 1},
      {"<c>1</c>", 0},
  };
  for (const Case& c : cases) {
    const std::string document = "<r>" + c.content + "</r>";
    for (const std::size_t piece : {std::size_t{0}, std::size_t{5}}) {
      int leaves = 0;
      std::string general = Trace(document, piece);
      // White space between elements is skipped by leaves.
      for (const std::string_view blank : {"T( \n)", "T(\n )"}) {
        if (const std::size_t at = general.find(blank); at != std::string::npos) general.erase(at, blank.size());
      }
      EXPECT_EQ(LeafTrace(document, piece, leaves), WithoutEmptyMarks(general)) << document;
      if (piece == 0) {
        EXPECT_EQ(leaves, c.leaves) << document;
      }
    }
  }
  const std::vector<std::string> damaged = {
      "<c r=\"A1\" r=\"B1\"><v>1</v></c>", "<c><v>1</w></c>", "<c><v>1</v></d>", "<c><v>\xC3\x28</v></c>",
      "<c><v>\x01</v></c>", "<c r=\"\x02\"/>", "<c><v>]]></v></c>", "<c><v>1</v>",
  };
  for (const std::string& content : damaged) {
    const std::string document = "<r>" + content + "</r>";
    const Error general = ErrorOf([&] { Trace(document); });
    int leaves = 0;
    EXPECT_EQ(ErrorOf([&] { LeafTrace(document, 0, leaves); }).description(), general.description()) << document;
    EXPECT_EQ(leaves, 0) << document;
  }
}

TEST(XmlScannerTest, TheMessageNamesThePartAndTheByteOffset) {
  const Error e = ErrorOf([&] { Trace("<a>text&x;</a>"); });
  EXPECT_EQ(e.description(), "工作簿已损坏：part.xml 不是正确的 XML：未定义的实体 &x;（第 7 字节）");
}

// A document of several buffers: long texts and CDATA holding entities,
// Chinese, line ends and brackets at every offset, so that pieces are cut
// at every kind of place.
TEST(XmlScannerTest, LongTextsAreCutOnlyWhereNothingIsSplit) {
  std::mt19937 rng(7);
  const std::vector<std::pair<std::string, std::string>> bits = {
      {"&amp;", "&"}, {"&#x4E2D;", "中"}, {"文", "文"}, {"\r\n", "\n"}, {"\r", "\n"},
      {"]", "]"}, {"]]", "]]"}, {"abc", "abc"}, {"\xF0\x9F\x98\x80", "😀"}, {"&#20013;", "中"}};
  std::string raw_text, text, raw_cdata, cdata;
  while (raw_text.size() < 400000) {
    const auto& [raw, decoded] = bits[rng() % bits.size()];
    raw_text += raw;
    text += decoded;
  }
  while (raw_cdata.size() < 300000) {
    const auto& [raw, decoded] = bits[rng() % 6 + 2];  // no entities, no "]]>" in CDATA
    raw_cdata += raw;
    cdata += decoded;
  }
  std::string document = "<root>";
  std::string expected = "<root>";
  for (int i = 0; i < 2000; ++i) {
    document += "<c r=\"A" + std::to_string(i) + "\"><v>" + std::to_string(i) + "</v></c>";
    expected += "<c r=A" + std::to_string(i) + "><v>T(" + std::to_string(i) + ")</v></c>";
  }
  document += "<t>" + raw_text + "</t><t><![CDATA[" + raw_cdata + "]]></t></root>";
  expected += "<t>T(" + text + ")</t><t>T(" + cdata + ")</t></root>";
  for (const std::size_t piece : {std::size_t{0}, std::size_t{4093}, std::size_t{65536}}) {
    EXPECT_EQ(Trace(document, piece), expected) << "pieces of " << piece;
  }
}

}  // namespace
}  // namespace platform::data::xml
