#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/data/zip/inflate.h"
#include "platform/data/zip/read_ahead.h"
#include "platform/data/zip/zip_archive.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"
#include "zip_builder.h"

namespace platform::data::zip {
namespace {

using testing_support::ErrorOf;
using zip_builder::EntryDraft;

// Text that deflates well but not trivially.
std::string Sample(std::size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::string s;
  const char* words[] = {"<row r=\"", "<c r=\"A", "\" t=\"s\"><v>", "</v></c>", "中文", "\n"};
  while (s.size() < n) s += words[rng() % 6] + std::to_string(rng() % 1000);
  s.resize(n);
  return s;
}

// Reads an entry in pieces of the given size.
std::string ReadInPieces(const ZipArchive& zip, const Entry& entry, std::size_t piece) {
  auto reader = zip.Open(entry);
  std::string out, buffer(piece, '\0');
  while (const std::size_t n = reader->Read(buffer.data(), piece)) out.append(buffer, 0, n);
  return out;
}

TEST(ZipArchiveTest, ReadsStoredDeflatedDescriptorAndZip64EntriesInAnyPieces) {
  const std::string big = Sample(300000);
  const std::vector<EntryDraft> drafts = {
      {"stored.txt", "plain bytes", false},
      {"xl/worksheets/sheet1.xml", big, true},
      {"descriptor.xml", Sample(5000, 2), true, true},
      {"zip64.xml", Sample(7000, 3), true, false, true},
      {"zip64-descriptor.xml", Sample(100, 4), true, true, true},
      {"empty.xml", "", true},
      {"empty-stored", "", false},
  };
  for (const bool zip64_end : {false, true}) {
    const auto layout = zip_builder::Zip(drafts, "", zip64_end);
    MemoryFile file(layout.bytes);
    const ZipArchive zip(file);
    ASSERT_EQ(zip.entries().size(), drafts.size());
    for (const EntryDraft& draft : drafts) {
      const Entry* entry = zip.Find(draft.name);
      ASSERT_NE(entry, nullptr) << draft.name;
      for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}, std::size_t{1} << 20}) {
        if (piece == 1 && draft.data.size() > 10000) continue;
        EXPECT_EQ(ReadInPieces(zip, *entry, piece), draft.data) << draft.name << " in pieces of " << piece;
      }
      EXPECT_EQ(zip.ReadAll(*entry, 1 << 20), draft.data);
    }
  }
}

TEST(ZipArchiveTest, NamesMatchIgnoringCaseAndSeparatorKind) {
  const auto layout = zip_builder::Zip({{"xl\\Worksheets\\Sheet1.XML", "a"}, {"/xl/workbook.xml", "b"}});
  MemoryFile file(layout.bytes);
  const ZipArchive zip(file);
  for (const char* name : {"xl/worksheets/sheet1.xml", "/XL/WORKSHEETS/SHEET1.xml", "xl\\worksheets/sheet1.xml"}) {
    const Entry* entry = zip.Find(name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(zip.ReadAll(*entry, 10), "a");
  }
  ASSERT_NE(zip.Find("xl/workbook.xml"), nullptr);
  EXPECT_EQ(zip.Find("xl/worksheets/sheet2.xml"), nullptr);
  EXPECT_EQ(zip.Find("xl/worksheets/sheet1.xm"), nullptr);
}

TEST(ZipArchiveTest, EndRecordFoundBehindCommentsAndAppendedBytes) {
  // A comment holding something that looks like an end record must not
  // be taken for the real one.
  const std::string fake = std::string("PK\x05\x06", 4) + std::string(18, '\x7F');
  for (const std::string& comment : {std::string(), std::string("note"), fake, std::string(65535, 'c')}) {
    const auto layout = zip_builder::Zip({{"a.xml", "<a/>"}}, comment);
    MemoryFile file(layout.bytes);
    const ZipArchive zip(file);
    EXPECT_EQ(zip.ReadAll(*zip.Find("a.xml"), 10), "<a/>") << comment.size();
  }
  auto layout = zip_builder::Zip({{"a.xml", "<a/>"}});
  layout.bytes += "trailing junk";
  MemoryFile file(layout.bytes);
  EXPECT_EQ(ZipArchive(file).entries().size(), 1u);
}

struct DamageCase {
  const char* what;
  std::function<void(zip_builder::Layout&)> damage;
  int number;
  std::string text;
};

TEST(ZipArchiveTest, BrokenStructureIsDamageNamingWhatIsWrong) {
  const std::string data = Sample(20000);
  const std::vector<EntryDraft> drafts = {{"first.xml", data}, {"second.xml", "<b/>"}};
  const auto base = zip_builder::Zip(drafts);
  const std::size_t end = base.end_offset;
  const std::vector<DamageCase> cases = {
      {"no end record", [](auto& l) { l.bytes.resize(l.bytes.size() - 1); }, 1103,
       "工作簿已损坏：找不到压缩包的目录（文件不完整？）"},
      {"cut in the middle", [](auto& l) { l.bytes.resize(l.bytes.size() / 2); }, 1103,
       "工作簿已损坏：找不到压缩包的目录（文件不完整？）"},
      {"tiny", [](auto& l) { l.bytes = "PK\x03\x04"; }, 1103, "工作簿已损坏：文件太短，不是完整的压缩包"},
      {"directory beyond the file", [&](auto& l) { zip_builder::Put32(l.bytes, end + 16, 0x7FFFFFF0); }, 1103,
       "工作簿已损坏：压缩包的目录位置超出文件"},
      {"directory size beyond the file", [&](auto& l) { zip_builder::Put32(l.bytes, end + 12, 0xFFFFFFF0); }, 1103,
       "工作簿已损坏：压缩包的目录位置超出文件"},
      {"more entries than the directory holds", [&](auto& l) { zip_builder::Put16(l.bytes, end + 10, 3); }, 1103,
       "工作簿已损坏：压缩包的目录已损坏：条目数与目录大小不符"},
      {"fewer entries than the directory holds", [&](auto& l) { zip_builder::Put16(l.bytes, end + 10, 1); }, 1103,
       "工作簿已损坏：压缩包的目录已损坏：条目数与目录大小不符"},
      {"central header signature", [](auto& l) { l.bytes[l.directory_headers[1]] = 'X'; }, 1103,
       "工作簿已损坏：压缩包的目录已损坏"},
      {"name longer than the directory",
       [](auto& l) { zip_builder::Put16(l.bytes, l.directory_headers[1] + 28, 500); }, 1103,
       "工作簿已损坏：压缩包的目录已损坏"},
      {"local header offset beyond the data",
       [](auto& l) { zip_builder::Put32(l.bytes, l.directory_headers[1] + 42, 0x7FFFFFFF); }, 1103,
       "工作簿已损坏：压缩包中 second.xml 的位置超出文件"},
      {"local header signature", [](auto& l) { l.bytes[l.header_offsets[1] + 2] = 9; }, 1103,
       "工作簿已损坏：压缩包中 second.xml 的文件头已损坏"},
      {"local name differs", [](auto& l) { l.bytes[l.header_offsets[1] + 30] = 'S'; }, 1103,
       "工作簿已损坏：压缩包中 second.xml 的文件头与目录不符"},
      {"local method differs", [](auto& l) { zip_builder::Put16(l.bytes, l.header_offsets[1] + 8, 0); }, 1103,
       "工作簿已损坏：压缩包中 second.xml 的文件头与目录不符"},
      {"local CRC differs", [](auto& l) { l.bytes[l.header_offsets[0] + 14] ^= 1; }, 1103,
       "工作簿已损坏：压缩包中 first.xml 的文件头与目录不符"},
      {"compressed size beyond the data",
       [](auto& l) {
         zip_builder::Put32(l.bytes, l.directory_headers[1] + 20, 0x10000);
         zip_builder::Put32(l.bytes, l.header_offsets[1] + 18, 0x10000);
       },
       1103, "工作簿已损坏：压缩包中 second.xml 的数据超出文件"},
      {"entries share bytes",
       [](auto& l) { zip_builder::Put32(l.bytes, l.directory_headers[1] + 42, 0); }, 1103,
       "工作簿已损坏：压缩包中 second.xml 的文件头与目录不符"},
      {"an entry reaches into the next one",
       [](auto& l) {
         const auto bigger = static_cast<std::uint32_t>(l.data_sizes[0] + 10);
         zip_builder::Put32(l.bytes, l.directory_headers[0] + 20, bigger);
         zip_builder::Put32(l.bytes, l.header_offsets[0] + 18, bigger);
       },
       1103, "工作簿已损坏：压缩包中 first.xml 的数据与其他条目重叠"},
      {"a huge entry count", [&](auto& l) { zip_builder::Put16(l.bytes, end + 10, 0xFFFF); }, 1103,
       "工作簿已损坏：压缩包的目录已损坏：条目数与目录大小不符"},
  };
  for (const DamageCase& c : cases) {
    auto layout = base;
    c.damage(layout);
    MemoryFile file(layout.bytes);
    const Error e = ErrorOf([&] { ZipArchive zip(file); });
    EXPECT_EQ(e.number(), c.number) << c.what;
    EXPECT_EQ(e.description(), c.text) << c.what;
  }
}

TEST(ZipArchiveTest, OneLocalHeaderClaimedByTwoEntriesIsRefused) {
  // Two directory entries of the same name and size pointing at one local
  // header (the overlapping "zip bomb" layout).
  auto layout = zip_builder::Zip({{"a.xml", "<x/>"}, {"a.xml", "<x/>"}});
  zip_builder::Put32(layout.bytes, layout.directory_headers[1] + 42, 0);
  MemoryFile file(layout.bytes);
  const Error e = ErrorOf([&] { ZipArchive zip(file); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(e.description(), "工作簿已损坏：压缩包中 a.xml 的数据与其他条目重叠");
}

TEST(ZipArchiveTest, BrokenEntryDataIsDamageNamingTheEntry) {
  const std::string data = Sample(20000);
  const auto base = zip_builder::Zip({{"xl/sharedStrings.xml", data}, {"s.xml", "stored", false}});
  const std::vector<DamageCase> cases = {
      {"CRC", [](auto& l) { l.bytes[l.directory_headers[0] + 16] ^= 1; l.bytes[l.header_offsets[0] + 14] ^= 1; },
       1103, "工作簿已损坏：xl/sharedStrings.xml 的校验和（CRC）与目录不符"},
      {"stored CRC", [](auto& l) { l.bytes[l.data_offsets[1]] = 'S'; }, 1103,
       "工作簿已损坏：s.xml 的校验和（CRC）与目录不符"},
      {"deflate data", [](auto& l) { l.bytes[l.data_offsets[0]] = '\xFF'; },
       1103, "工作簿已损坏：xl/sharedStrings.xml 的压缩数据有错误"},
      {"declared smaller (a bomb)",
       [](auto& l) {
         zip_builder::Put32(l.bytes, l.directory_headers[0] + 24, 1000);
         zip_builder::Put32(l.bytes, l.header_offsets[0] + 22, 1000);
       },
       1103, "工作簿已损坏：xl/sharedStrings.xml 解压后比目录记录的大小更大"},
      {"declared larger",
       [](auto& l) {
         zip_builder::Put32(l.bytes, l.directory_headers[0] + 24, 20001);
         zip_builder::Put32(l.bytes, l.header_offsets[0] + 22, 20001);
       },
       1103, "工作簿已损坏：xl/sharedStrings.xml 解压后的大小与目录不符"},
      {"compressed data ends early",
       [](auto& l) {
         const auto shorter = static_cast<std::uint32_t>(l.data_sizes[0] - 50);
         zip_builder::Put32(l.bytes, l.directory_headers[0] + 20, shorter);
         zip_builder::Put32(l.bytes, l.header_offsets[0] + 18, shorter);
       },
       1103, "工作簿已损坏：xl/sharedStrings.xml 的数据不完整（压缩包被截断？）"},
      {"stored sizes differ",
       [](auto& l) {
         zip_builder::Put32(l.bytes, l.directory_headers[1] + 24, 7);
         zip_builder::Put32(l.bytes, l.header_offsets[1] + 22, 7);
       },
       1103, "工作簿已损坏：压缩包中 s.xml 的大小与目录不符"},
      {"impossible ratio",
       [](auto& l) {
         zip_builder::Put16(l.bytes, l.directory_headers[1] + 10, 8);
         zip_builder::Put16(l.bytes, l.header_offsets[1] + 8, 8);
         zip_builder::Put32(l.bytes, l.directory_headers[1] + 24, 0x7FFFFFFF);
         zip_builder::Put32(l.bytes, l.header_offsets[1] + 22, 0x7FFFFFFF);
       },
       1103, "工作簿已损坏：压缩包中 s.xml 记录的大小不可能由压缩数据得到"},
      {"unknown method",
       [](auto& l) {
         zip_builder::Put16(l.bytes, l.directory_headers[1] + 10, 12);
         zip_builder::Put16(l.bytes, l.header_offsets[1] + 8, 12);
       },
       1103, "工作簿已损坏：压缩包中 s.xml 使用了不支持的压缩方法 12"},
      {"encrypted", [](auto& l) { l.bytes[l.directory_headers[1] + 8] |= 1; }, 1102,
       "工作簿已加密，无法读取：s.xml"},
  };
  for (const DamageCase& c : cases) {
    auto layout = base;
    c.damage(layout);
    MemoryFile file(layout.bytes);
    const ZipArchive zip(file);
    const Error e = ErrorOf([&] {
      for (const Entry& entry : zip.entries()) ReadInPieces(zip, entry, 4096);
    });
    EXPECT_EQ(e.number(), c.number) << c.what;
    EXPECT_EQ(e.description(), c.text) << c.what;
  }
}

TEST(ZipArchiveTest, ABombStopsAtTheDeclaredSize) {
  // 20 MB of zeros declared as 1 KB: the reader gives up after at most
  // one byte past the declared size, not after inflating everything.
  const std::string zeros(20 << 20, '\0');
  auto layout = zip_builder::Zip({{"bomb.xml", zeros}});
  zip_builder::Put32(layout.bytes, layout.directory_headers[0] + 24, 1024);
  zip_builder::Put32(layout.bytes, layout.header_offsets[0] + 22, 1024);
  MemoryFile file(layout.bytes);
  const ZipArchive zip(file);
  auto reader = zip.Open(zip.entries()[0]);
  std::string buffer(1 << 20, '\0');
  std::size_t total = 0;
  const Error e = ErrorOf([&] {
    while (const std::size_t n = reader->Read(buffer.data(), buffer.size())) total += n;
  });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_LE(total, 1024u);
}

TEST(ZipArchiveTest, TwoEntriesOfOneNameAreAmbiguous) {
  const auto layout = zip_builder::Zip({{"xl/worksheets/sheet1.xml", "a"}, {"XL/worksheets/Sheet1.xml", "b"}});
  MemoryFile file(layout.bytes);
  const ZipArchive zip(file);
  const Error e = ErrorOf([&] { zip.Find("xl/worksheets/sheet1.xml"); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(e.description(), "工作簿已损坏：压缩包中有两个名为 xl/worksheets/sheet1.xml 的条目");
}

TEST(ZipArchiveTest, ReadAllRefusesWhatIsTooLarge) {
  const auto layout = zip_builder::Zip({{"big.xml", std::string(5000, 'x')}});
  MemoryFile file(layout.bytes);
  const ZipArchive zip(file);
  const Error e = ErrorOf([&] { zip.ReadAll(zip.entries()[0], 4999); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(e.description(), "工作簿已损坏：big.xml 太大");
}

TEST(ZipArchiveTest, PrintableNameReplacesWhatIsNotUtf8) {
  EXPECT_EQ(PrintableName("xl/表.xml"), "xl/表.xml");
  EXPECT_EQ(PrintableName("a\x81" "@b\x01"), "a?@b?");
  EXPECT_EQ(PrintableName("\xE8\xA1"), "??");
}

TEST(Crc32Test, AgreesWithZlibForEveryLengthAlignmentAndSplit) {
  // The fast path folds 64 and 16 bytes at a time and leaves the rest to
  // the table: every length around those steps, at every alignment,
  // whole and continued from a first part, must give zlib's CRC.
  std::mt19937 rng(3);
  std::string bytes(4096 + 16, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  for (std::size_t offset = 0; offset < 16; ++offset) {
    for (std::size_t n = 0; n <= 400; ++n) {
      const char* data = bytes.data() + offset;
      const std::uint32_t expected = zip_builder::Crc(std::string_view(data, n));
      ASSERT_EQ(Crc32(0, data, n), expected) << "offset " << offset << ", length " << n;
      const std::size_t first = n / 3;
      ASSERT_EQ(Crc32(Crc32(0, data, first), data + first, n - first), expected) << "split at " << first;
    }
  }
  const std::string all(bytes.data(), 4096);
  EXPECT_EQ(Crc32(0, all.data(), all.size()), zip_builder::Crc(all));
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);  // the CRC-32 check value
  const std::string zeros(1000, '\0');
  EXPECT_EQ(Crc32(0, zeros.data(), zeros.size()), zip_builder::Crc(zeros));
}

TEST(InflaterTest, DecodesFedOneByteAtATime) {
  const std::string data = Sample(50000, 9);
  const std::string compressed = zip_builder::Deflate(data);
  Inflater inflater("part");
  std::string out;
  char buffer[333];
  for (std::size_t i = 0; i < compressed.size(); ++i) {
    inflater.SetInput(compressed.data() + i, 1);
    while (const std::size_t n = inflater.Inflate(buffer, sizeof buffer)) out.append(buffer, n);
  }
  EXPECT_TRUE(inflater.finished());
  EXPECT_EQ(out, data);
  EXPECT_EQ(Crc32(0, out.data(), out.size()), zip_builder::Crc(data));
}

TEST(InflaterTest, GarbageIsDamageNamingThePart) {
  Inflater inflater("xl/styles.xml");
  const std::string garbage = "\xFF\xFF\xFF\xFF\xFF\xFF";
  inflater.SetInput(garbage.data(), garbage.size());
  char buffer[64];
  const Error e = ErrorOf([&] { inflater.Inflate(buffer, sizeof buffer); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(e.description(), "工作簿已损坏：xl/styles.xml 的压缩数据有错误");
}

// Gives count bytes (byte i is i % 251) in pieces of 1000, then raises
// 1103 when fail is set.
class CountingReader : public EntryReader {
 public:
  CountingReader(std::size_t count, bool fail) : count_(count), fail_(fail) {}
  std::size_t Read(char* out, std::size_t n) override {
    n = std::min({n, count_ - given_, std::size_t{1000}});
    if (n == 0 && fail_) Raise(err::kWorkbookDamaged, "broken at " + std::to_string(given_));
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((given_ + i) % 251);
    given_ += n;
    return n;
  }

 private:
  std::size_t count_, given_ = 0;
  bool fail_;
};

TEST(ReadAheadTest, SameBytesAndTheErrorAfterThem) {
  for (const std::size_t count : {std::size_t{0}, std::size_t{999}, std::size_t{3} << 20}) {
    for (const bool fail : {false, true}) {
      auto reader = ReadAhead(std::make_unique<CountingReader>(count, fail));
      std::string buffer(77777, '\0');
      std::size_t total = 0;
      bool same = true;
      const Error e = ErrorOf([&] {
        while (const std::size_t n = reader->Read(buffer.data(), buffer.size())) {
          for (std::size_t i = 0; i < n; ++i) same = same && buffer[i] == static_cast<char>((total + i) % 251);
          total += n;
        }
      });
      EXPECT_TRUE(same) << count;
      EXPECT_EQ(total, count);
      EXPECT_EQ(e.number(), fail ? 1103 : 0);
      EXPECT_EQ(e.description(), fail ? "broken at " + std::to_string(count) : "");
    }
  }
}

TEST(ReadAheadTest, StopsWhenDroppedHalfWay) {
  auto reader = ReadAhead(std::make_unique<CountingReader>(std::size_t{64} << 20, false));
  char buffer[100];
  EXPECT_EQ(reader->Read(buffer, sizeof buffer), 100u);
  reader.reset();  // must not wait for the 64 MB to be read
}

}  // namespace
}  // namespace platform::data::zip
