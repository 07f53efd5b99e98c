#include "platform/data/xls/biff_records.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "xls_builder.h"

namespace platform::data::xls {
namespace {

using namespace xls_builder;

TEST(RecordReaderTest, JoinsContinueRecordsAndMarksWherePiecesBegin) {
  const std::string stream = Record(0x00FC, "abc") + Record(rec::kContinue, "de") + Record(rec::kContinue, "") +
                             Record(rec::kContinue, "f") + Record(0x0203, "xyz") + "\x01";  // stray tail byte
  MemoryFile file(stream);
  RecordReader reader(file);
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.type(), 0x00FC);
  EXPECT_EQ(reader.data(), "abcdef");
  EXPECT_EQ(reader.breaks(), (std::vector<std::uint32_t>{3, 5, 5}));
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.type(), 0x0203);
  EXPECT_EQ(reader.data(), "xyz");
  EXPECT_TRUE(reader.breaks().empty());
  EXPECT_FALSE(reader.Next());
  reader.Seek(0);
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.data(), "abcdef");
}

TEST(RecordReaderTest, RecordsRunningPastTheEndAreDamage) {
  for (const std::string& stream : {Record(0x0203, "abcdef").substr(0, 7),
                                    Record(0x00FC, "ab") + Record(rec::kContinue, "cdef").substr(0, 6)}) {
    MemoryFile file(stream);
    RecordReader reader(file);
    try {
      reader.Next();
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kWorkbookDamaged);
      EXPECT_EQ(e.description(), "工作簿已损坏：记录在文件结尾处被截断");
    }
  }
}

TEST(RecordCursorTest, CharactersSplitAcrossPiecesSwitchCompression) {
  // "abcd" compressed, then a new piece that starts with option byte 1
  // and goes on in UTF-16; a surrogate pair split by a third piece.
  const std::string data = std::string("abcd") + "\x01" + Utf16Bytes(u"中文\xD840") + "\x01" + Utf16Bytes(u"\xDC00z");
  const std::vector<std::uint32_t> breaks{4, 11};
  RecordCursor c(data, breaks);
  std::string out;
  ASSERT_TRUE(c.Chars(9, false, out));
  EXPECT_EQ(out, "abcd中文\xF0\xA0\x80\x80z");
  EXPECT_EQ(c.remaining(), 0u);
}

TEST(RecordCursorTest, CharactersStartingAPieceReadItsOptionByte) {
  const std::string data = std::string("\x00", 1) + "xyz";
  const std::vector<std::uint32_t> breaks{0};
  RecordCursor c(data, breaks);
  std::string out;
  ASSERT_TRUE(c.Chars(3, true, out));  // the header said UTF-16; the piece says compressed
  EXPECT_EQ(out, "xyz");
}

TEST(RecordCursorTest, Biff8StringSkipsRichTextAndPhoneticData) {
  const std::string data = U16(4) + U8(0x0C) + U16(2) + U32(3) + "rich" + std::string(8, 'R') + "PHO" + "next";
  const std::vector<std::uint32_t> none;
  RecordCursor c(data, none);
  std::string out;
  ASSERT_TRUE(c.Biff8String(2, out));
  EXPECT_EQ(out, "rich");
  EXPECT_EQ(data.substr(c.pos()), "next");
}

TEST(RecordCursorTest, ShortRecordsFailWithoutReadingPastTheEnd) {
  const std::vector<std::uint32_t> none;
  {
    const std::string data = U16(50) + U8(0) + "short";
    RecordCursor c(data, none);
    std::string out;
    EXPECT_FALSE(c.Biff8String(2, out));
    EXPECT_FALSE(c.ok());
  }
  {
    const std::string data = U16(1) + U8(0x04) + U32(0xFFFFFFFF) + "a";  // phonetic size far too big
    RecordCursor c(data, none);
    std::string out;
    EXPECT_FALSE(c.Biff8String(2, out));
  }
  {
    const std::string data("\x01", 1);
    RecordCursor c(data, none);
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U16(), 0u);
    EXPECT_FALSE(c.ok());
  }
  {
    const std::string data = U16(10) + "abc";
    RecordCursor c(data, none);
    std::string_view bytes;
    EXPECT_FALSE(c.Biff5Bytes(2, bytes));
  }
}

}  // namespace
}  // namespace platform::data::xls
