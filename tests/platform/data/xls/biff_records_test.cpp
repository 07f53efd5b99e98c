#include "platform/data/xls/biff_records.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "support/errors.h"
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

TEST(RecordReaderTest, RecordsStraddlingTheReadBufferComeOutWhole) {
  // The reader sees records where they lie in its read buffer; records of
  // every length up to the largest, and continued records longer than the
  // buffer, must come out the same wherever the buffer happens to end.
  struct Expected {
    std::string data;
    std::vector<std::uint32_t> breaks;
  };
  std::string stream;
  std::vector<Expected> expected;
  std::uint32_t seed = 1;
  const auto next = [&seed] { return seed = seed * 1103515245 + 12345, seed >> 8; };
  const auto bytes = [&next](std::size_t n) {
    std::string b(n, '\0');
    for (char& c : b) c = static_cast<char>(next());
    return b;
  };
  while (stream.size() < 1500000) {
    Expected e;
    const std::uint32_t pick = next() % 10;
    const std::size_t length = pick < 6 ? next() % 20 : pick < 8 ? next() % 8225 : next() % 0x10000;
    e.data = bytes(length);
    stream += Record(0x0203, e.data);
    // Now and then a chain of CONTINUE pieces, sometimes past 128 KiB.
    for (std::uint32_t pieces = next() % 4 == 0 ? next() % 40 : 0; pieces > 0; --pieces) {
      const std::string piece = bytes(next() % 8225);
      e.breaks.push_back(static_cast<std::uint32_t>(e.data.size()));
      e.data += piece;
      stream += Record(rec::kContinue, piece);
    }
    expected.push_back(std::move(e));
  }
  MemoryFile file(stream);
  RecordReader reader(file);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(reader.Next()) << "record " << i;
    ASSERT_EQ(reader.data(), expected[i].data) << "record " << i;
    ASSERT_EQ(reader.breaks(), expected[i].breaks) << "record " << i;
  }
  EXPECT_FALSE(reader.Next());
}

TEST(RecordReaderTest, RecordsRunningPastTheEndAreDamage) {
  for (const std::string& stream : {Record(0x0203, "abcdef").substr(0, 7),
                                    Record(0x00FC, "ab") + Record(rec::kContinue, "cdef").substr(0, 6)}) {
    MemoryFile file(stream);
    RecordReader reader(file);
    const Error e = testing_support::ErrorOf([&] { reader.Next(); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：记录在文件结尾处被截断");
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

TEST(RecordCursorTest, AnEmptyStringEndingTheRecordMayLackItsOptionByte) {
  // Some generators end a record with a zero length and no option byte;
  // Excel reads the empty string. With characters claimed, the missing
  // byte is damage.
  const std::vector<std::uint32_t> none;
  struct Case {
    std::string data;
    int length_bytes;
    bool read;
  };
  const std::vector<Case> cases = {
      {U16(0), 2, true}, {U8(0), 1, true}, {U16(1), 2, false}, {U8(2), 1, false}, {U16(1) + U8(0), 2, false},
  };
  for (const auto& c : cases) {
    RecordCursor cursor(c.data, none);
    std::string out = "kept";
    EXPECT_EQ(cursor.Biff8String(c.length_bytes, out), c.read) << c.data.size();
    if (c.read) {
      EXPECT_EQ(out, "kept");
      EXPECT_EQ(cursor.remaining(), 0u);
    }
  }
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
