#include "platform/data/xls/compound_file.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "support/errors.h"
#include "xls_builder.h"

namespace platform::data::xls {
namespace {

using xls_builder::Compound;
using xls_builder::Put32;

std::string Pattern(std::size_t n, char seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 251);
  return s;
}

std::string ReadAll(const RandomAccessFile& stream) {
  std::string out(static_cast<std::size_t>(stream.Size()), '\0');
  EXPECT_EQ(stream.Read(0, out.size(), out.data()), out.size());
  return out;
}

// The error parsing the file and reading the stream raises.
Error ErrorOf(const std::string& bytes, const char* stream = "Workbook") {
  MemoryFile file(bytes);
  return testing_support::ErrorOf([&] {
    auto s = CompoundFile::Parse(file)->OpenStream(stream);
    if (s) ReadAll(*s);
  });
}

TEST(CompoundFileTest, ReadsRegularAndMiniStreamsAroundTheCutoff) {
  // 4095 bytes live in the mini stream, exactly 4096 is a normal stream.
  const std::vector<std::pair<std::string, std::string>> streams = {
      {"Small", Pattern(100, 'a')}, {"Edge", Pattern(4095, 'b')}, {"Cutoff", Pattern(4096, 'c')},
      {"Big", Pattern(70000, 'd')}, {"Empty", ""}};
  const auto layout = Compound(streams);
  MemoryFile file(layout.bytes);
  const auto compound = CompoundFile::Parse(file);
  for (const auto& [name, data] : streams) {
    SCOPED_TRACE(name);
    auto stream = compound->OpenStream(name);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Size(), data.size());
    EXPECT_EQ(ReadAll(*stream), data);
  }
  // Reads in the middle of a stream that spans many sectors.
  auto big = compound->OpenStream("Big");
  std::string part(1000, '\0');
  ASSERT_EQ(big->Read(511, part.size(), part.data()), part.size());
  EXPECT_EQ(part, streams[3].second.substr(511, 1000));
  EXPECT_EQ(big->Read(69990, 100, part.data()), 10u);
}

TEST(CompoundFileTest, StreamNamesIgnoreCase) {
  const auto layout = Compound({{"Workbook", Pattern(5000, 'x')}});
  MemoryFile file(layout.bytes);
  const auto compound = CompoundFile::Parse(file);
  EXPECT_NE(compound->OpenStream("WORKBOOK"), nullptr);
  EXPECT_NE(compound->OpenStream("workbook"), nullptr);
  EXPECT_TRUE(compound->HasStream("WorkBook"));
  EXPECT_EQ(compound->OpenStream("Book"), nullptr);
}

TEST(CompoundFileTest, RecordedSizeBeyondTheChainIsCutToTheChain) {
  auto layout = Compound({{"Workbook", Pattern(5000, 'x')}});
  Put32(layout.bytes, layout.directory_offset + 128 + 120, 5000 + 100000);  // size beyond the chain
  MemoryFile file(layout.bytes);
  const auto compound = CompoundFile::Parse(file);
  auto stream = compound->OpenStream("Workbook");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 5120u);  // what the chain's 10 sectors hold
  EXPECT_EQ(ReadAll(*stream).substr(0, 5000), Pattern(5000, 'x'));
}

TEST(CompoundFileTest, FileCutInsideTheLastSectorKeepsWhatIsThere) {
  // A file whose FAT sits before the stream data: header, directory,
  // FAT, stream. Built by hand from the builder's pieces.
  auto layout = Compound({{"Workbook", Pattern(4600, 'y')}});
  const std::size_t sectors = (layout.fat_offset - 512) / 512;  // directory + stream
  std::string moved = layout.bytes.substr(0, 512);
  // New order: sector 0 directory, sector 1 FAT, sectors 2.. stream.
  moved += layout.bytes.substr(512, 512);
  std::string new_fat;
  new_fat += xls_builder::U32(0xFFFFFFFE) + xls_builder::U32(0xFFFFFFFD);
  for (std::size_t i = 2; i < sectors + 1; ++i) new_fat += xls_builder::U32(i + 1 == sectors + 1 ? 0xFFFFFFFE : i + 1);
  new_fat.resize(512, '\xFF');
  moved += new_fat;
  moved += layout.bytes.substr(1024, layout.fat_offset - 1024);
  Put32(moved, 76, 1);                             // DIFAT[0]: the FAT is sector 1
  Put32(moved, 512 + 128 + 116, 2);                // the stream starts at sector 2
  moved.resize(moved.size() - 512 + 100);          // last sector: 100 of 512 bytes
  MemoryFile file(moved);
  const auto compound = CompoundFile::Parse(file);
  auto stream = compound->OpenStream("Workbook");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 4096u + 100u);
  EXPECT_EQ(ReadAll(*stream), Pattern(4600, 'y').substr(0, 4196));
}

TEST(CompoundFileTest, BrokenStructuresGiveClearErrors) {
  struct Case {
    const char* what;
    std::function<void(xls_builder::CompoundLayout&)> damage;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"cyclic stream chain",
       [](auto& l) { Put32(l.bytes, l.fat_offset + 4 * (l.first_sectors[0] + 3), l.first_sectors[0]); }, "循环"},
      {"chain beyond the table",
       [](auto& l) { Put32(l.bytes, l.fat_offset + 4 * (l.first_sectors[0] + 1), 0x00FFFFFF); }, "越界"},
      {"chain into a free sector",
       [](auto& l) { Put32(l.bytes, l.fat_offset + 4 * l.first_sectors[0], 0xFFFFFFFF); }, "越界"},
      {"directory chain cycle", [](auto& l) { Put32(l.bytes, l.fat_offset, 0); }, "循环"},
      {"no root entry", [](auto& l) { l.bytes[l.directory_offset + 66] = 1; }, "根目录"},
      {"header cut short", [](auto& l) { l.bytes.resize(300); }, "复合文件头"},
      {"mini chain beyond the mini FAT",
       [](auto& l) { Put32(l.bytes, l.directory_offset + 2 * 128 + 116, 5000); }, "小流"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto layout = Compound({{"Workbook", Pattern(6000, 'w')}, {"Small", Pattern(300, 's')}});
    c.damage(layout);
    Error e = ErrorOf(layout.bytes, std::string(c.what).find("mini") != std::string::npos ? "Small" : "Workbook");
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_NE(e.description().find(c.text), std::string::npos) << e.description();
    EXPECT_EQ(e.description().rfind("工作簿已损坏：", 0), 0u);
  }
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The header's first FAT sector number moved into a DIFAT sector appended
// to the file; next is what that sector names as the DIFAT sector after it.
std::string WithFatListedInDifat(std::string bytes, std::uint32_t next, bool list_fat = true) {
  const std::uint32_t fat_sector = Get32(bytes, 76);
  const auto difat = static_cast<std::uint32_t>((bytes.size() - 512) / 512);
  std::string sector;
  sector += xls_builder::U32(list_fat ? fat_sector : 0xFFFFFFFF);
  for (int i = 1; i < 127; ++i) sector += xls_builder::U32(0xFFFFFFFF);
  sector += xls_builder::U32(next == 0 ? difat : next);  // 0: the sector itself
  bytes += sector;
  Put32(bytes, 76, 0xFFFFFFFF);
  Put32(bytes, 68, difat);
  Put32(bytes, 72, 1);
  return bytes;
}

TEST(CompoundFileParseTest, OddSectorShiftsFallBackToTheUsualSizes) {
  auto layout = Compound({{"Workbook", Pattern(5000, 'g')}, {"Small", Pattern(300, 's')}});
  layout.bytes[30] = 0;   // sector shift 0: 512-byte sectors
  layout.bytes[32] = 40;  // a mini shift above the sector shift: 64-byte mini sectors
  MemoryFile file(layout.bytes);
  const auto compound = CompoundFile::Parse(file);
  EXPECT_EQ(ReadAll(*compound->OpenStream("Workbook")), Pattern(5000, 'g'));
  EXPECT_EQ(ReadAll(*compound->OpenStream("Small")), Pattern(300, 's'));
}

TEST(CompoundFileParseTest, FatSectorsListedThroughTheDifatChain) {
  const auto layout = Compound({{"Workbook", Pattern(6000, 'f')}});
  const std::string bytes = WithFatListedInDifat(layout.bytes, 0xFFFFFFFE);
  MemoryFile file(bytes);
  EXPECT_EQ(ReadAll(*CompoundFile::Parse(file)->OpenStream("Workbook")), Pattern(6000, 'f'));

  struct Case {
    std::string bytes;
    const char* text;
  };
  const std::vector<Case> cases = {
      {WithFatListedInDifat(layout.bytes, 0, false), "工作簿已损坏：DIFAT 扇区链循环"},
      {WithFatListedInDifat(layout.bytes, 0x00FFFFFF, false), "工作簿已损坏：DIFAT 扇区超出文件"},
  };
  for (const auto& c : cases) {
    const Error e = ErrorOf(c.bytes);
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), c.text);
  }
}

TEST(CompoundFileTest, HugeRecordedCountsCostNothing) {
  // The header claims millions of FAT sectors and a DIFAT chain; the
  // stream claims 2^32-1 bytes. Only what the file holds is read.
  auto layout = Compound({{"Workbook", Pattern(5000, 'h')}});
  Put32(layout.bytes, 44, 0x7FFFFFFF);
  Put32(layout.bytes, 72, 0x7FFFFFFF);
  Put32(layout.bytes, layout.directory_offset + 128 + 120, 0xFFFFFFFF);
  MemoryFile file(layout.bytes);
  const auto compound = CompoundFile::Parse(file);
  auto stream = compound->OpenStream("Workbook");
  ASSERT_NE(stream, nullptr);
  EXPECT_LE(stream->Size(), layout.bytes.size());
}

}  // namespace
}  // namespace platform::data::xls
