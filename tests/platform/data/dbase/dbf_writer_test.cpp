#include "platform/data/dbase/dbf_writer.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "memory_file.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "support/dbf_table.h"
#include "support/errors.h"
#include "support/little_endian.h"

namespace platform::data::dbase {
namespace {

using testing::MemoryFileState;
using testing::MemoryWritableFile;
using testing_support::ErrorOf;

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}
std::string Zeros(std::size_t n) { return std::string(n, '\0'); }

std::uint32_t CountIn(const std::string& file) { return testing_support::LittleEndian(file, 4, 4); }

const LocalTime kMarch5 = {2024, 3, 5, 14, 30, 5};

std::unique_ptr<DbfWriter> MakeWriter(MemoryFileState& state, std::vector<DbfField> fields,
                                      const Clock& clock, std::size_t batch = kDefaultBatchBytes) {
  return std::make_unique<DbfWriter>(std::make_unique<MemoryWritableFile>(state),
                                     std::move(fields), clock, batch);
}

// The whole file of a two-field table with two records, byte for byte.
TEST(DbfWriterTest, SmallTableIsExactlyTheseBytes) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  auto writer = MakeWriter(state, {{"CODE", 3}, {"\xC3\xFB", 4}}, clock);  // 名
  writer->AddRecord(std::vector<std::string>{"A1", "\xC6\xBB"});          // 苹
  writer->AddRecord(std::vector<std::string>{"", "ab"});
  writer->Close();

  const std::string expected =
      // File header: version, 2024-03-05 (124 since 1900), 2 records,
      // header 32 + 2 * 32 + 1 = 97 bytes, records 1 + 3 + 4 = 8 bytes,
      // language driver 0x7A at byte 29.
      B({0x03, 124, 3, 5}) + B({2, 0, 0, 0}) + B({97, 0}) + B({8, 0}) + Zeros(17) + B({0x7A}) +
      Zeros(2) +
      // Field descriptors: name NUL-padded to 11 bytes, 'C', width.
      "CODE" + Zeros(7) + "C" + Zeros(4) + B({3}) + Zeros(15) +  //
      "\xC3\xFB" + Zeros(9) + "C" + Zeros(4) + B({4}) + Zeros(15) +
      // Header terminator.
      B({0x0D}) +
      // Records: live flag, values padded with spaces.
      " A1 \xC6\xBB  " + "    ab  " +
      // End of file.
      B({0x1A});
  EXPECT_EQ(state.bytes, expected);
  EXPECT_TRUE(state.closed);
  EXPECT_EQ(state.syncs, 1);
}

TEST(DbfWriterTest, EmptyTableIsHeaderTerminatorAndEndOfFile) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  MakeWriter(state, {{"A", 1}}, clock)->Close();
  ASSERT_EQ(state.bytes.size(), 32u + 32u + 1u + 1u);
  EXPECT_EQ(CountIn(state.bytes), 0u);
  EXPECT_EQ(state.bytes[64], '\x0D');
  EXPECT_EQ(state.bytes[65], '\x1A');
}

TEST(DbfWriterTest, HeaderIsACompleteEmptyTableBeforeAnyRecordIsWritten) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  auto writer = MakeWriter(state, {{"A", 5}}, clock);
  writer->AddRecord(std::vector<std::string>{"x"});  // gathered, not yet written
  EXPECT_EQ(state.bytes.size(), 66u);
  EXPECT_EQ(CountIn(state.bytes), 0u);
  EXPECT_EQ(state.bytes.back(), '\x1A');
}

// The record count is rewritten with every batch so that a file left
// behind by a failed run still opens with the rows written so far.
TEST(DbfWriterTest, EveryBatchLeavesACompleteTable) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  const std::size_t record = 1 + 4;
  auto writer = MakeWriter(state, {{"A", 4}}, clock, /*batch=*/3 * record);
  for (int row = 1; row <= 7; ++row) {
    writer->AddRecord(std::vector<std::string>{std::to_string(row)});
    const std::uint32_t on_disk = static_cast<std::uint32_t>(row / 3 * 3);
    ASSERT_EQ(CountIn(state.bytes), on_disk) << row;
    ASSERT_EQ(state.bytes.size(), 66 + on_disk * record) << row;
    ASSERT_EQ(state.bytes.back(), '\x1A') << row;
  }
  writer->Close();
  EXPECT_EQ(CountIn(state.bytes), 7u);
  EXPECT_EQ(state.bytes.size(), 66 + 7 * record);
  EXPECT_EQ(state.bytes.substr(65, 10), " 1    2   ");
}

// Records written in place count once ended; one begun and not ended
// (its values failed half way) never reaches the file.
TEST(DbfWriterTest, RecordsWrittenInPlaceCountOnlyOnceEnded) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  const std::size_t record = 1 + 3 + 2;
  auto writer = MakeWriter(state, {{"A", 3}, {"B", 2}}, clock, /*batch=*/2 * record);
  char* field = writer->BeginRecord();
  field[0] = 'x';
  field[3] = 'y';
  writer->EndRecord();
  field = writer->BeginRecord();
  field[0] = '!';  // abandoned
  EXPECT_EQ(writer->record_count(), 1u);
  field = writer->BeginRecord();
  field[1] = 'z';
  writer->EndRecord();  // fills the batch
  ASSERT_EQ(CountIn(state.bytes), 2u);
  EXPECT_EQ(state.bytes.substr(97), " x  y   z   \x1A");
  writer->BeginRecord()[0] = '?';  // abandoned at the close
  writer->Close();
  EXPECT_EQ(CountIn(state.bytes), 2u);
  EXPECT_EQ(state.bytes.size(), 97 + 2 * record + 1);
}

TEST(DbfWriterTest, DestroyedWithoutCloseWritesWhatWasGathered) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  {
    auto writer = MakeWriter(state, {{"A", 2}}, clock);
    writer->AddRecord(std::vector<std::string>{"a"});
    writer->AddRecord(std::vector<std::string>{"b"});
  }
  EXPECT_EQ(CountIn(state.bytes), 2u);
  EXPECT_EQ(state.bytes.substr(65), " a  b \x1A");
  EXPECT_TRUE(state.closed);
}

TEST(DbfWriterTest, HeaderDateIsTheDayOfTheLastBatch) {
  MemoryFileState state;
  FixedClock clock({2023, 12, 31, 23, 59, 59});
  auto writer = MakeWriter(state, {{"A", 1}}, clock);
  EXPECT_EQ(state.bytes.substr(1, 3), B({123, 12, 31}));
  clock.Set({2024, 1, 1, 0, 0, 1});  // the run went past midnight
  writer->AddRecord(std::vector<std::string>{"x"});
  writer->Close();
  EXPECT_EQ(state.bytes.substr(1, 3), B({124, 1, 1}));
}

TEST(DbfWriterTest, FailedBatchKeepsTheTableAsItWasAndRefusesMore) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  const std::size_t record = 1 + 2;
  // Write 1 is the header, 2 and 3 the first batch and its count; the
  // second batch's records fail.
  state.faults.FailAt(testing_support::FileOp::kWrite, 4, err::kDiskFull, "磁盘已满");
  auto writer = MakeWriter(state, {{"A", 2}}, clock, /*batch=*/record);
  writer->AddRecord(std::vector<std::string>{"a"});
  EXPECT_EQ(ErrorOf([&] { writer->AddRecord(std::vector<std::string>{"b"}); }).number(), err::kDiskFull);
  EXPECT_EQ(CountIn(state.bytes), 1u);
  EXPECT_EQ(state.bytes.substr(65), " a \x1A");
  const Error refused = ErrorOf([&] { writer->AddRecord(std::vector<std::string>{"c"}); });
  EXPECT_EQ(refused.number(), err::kDbaseWriteFailed);
  EXPECT_EQ(refused.description(), "表文件之前写入失败，不能再写入（磁盘已满）");
  EXPECT_EQ(ErrorOf([&] { writer->Close(); }).number(), err::kDbaseWriteFailed);
  EXPECT_TRUE(state.closed);
}

// The caller's checks failing must not reach the file: such a record is
// refused whole with an Error, and the table stays as it was.
TEST(DbfWriterTest, RecordsThatDoNotFitTheFieldsAreRefusedWhole) {
  MemoryFileState state;
  FixedClock clock(kMarch5);
  auto writer = MakeWriter(state, {{"A", 2}, {"B", 1}}, clock);
  const struct {
    std::vector<std::string> values;
    int number;
    const char* description;
  } cases[] = {
      {{"a"}, err::kDbaseValueCount, "值的个数 1 与字段数 2 不符"},
      {{"a", "b", "c"}, err::kDbaseValueCount, "值的个数 3 与字段数 2 不符"},
      {{"ab", "bc"}, err::kInternalError, "内部错误：第 2 个字段的值长 2 个字节，超过字段宽度 1"},
  };
  for (const auto& c : cases) {
    const Error e = ErrorOf([&] { writer->AddRecord(c.values); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), c.description);
  }
  writer->AddRecord(std::vector<std::string>{"ok", "y"});
  writer->Close();
  const testing_support::DbfTable table = testing_support::ReadDbfTable(state.bytes);
  ASSERT_TRUE(table.complete()) << table.problem;
  EXPECT_EQ(table.records, std::vector<std::string>{"oky"});
}

TEST(DbfWriterTest, FieldsAreCheckedBeforeAnythingIsWritten) {
  const struct {
    std::vector<DbfField> fields;
    int number;
  } cases[] = {
      {{}, err::kDbaseTooManyFields},
      {std::vector<DbfField>(256, {"A", 1}), err::kDbaseTooManyFields},
      {{{"A", 0}}, err::kDbaseBadFieldWidth},
      {{{"A", 255}}, err::kDbaseBadFieldWidth},
      {{{"", 1}}, err::kDbaseBadFieldName},
      {{{"ABCDEFGHIJK", 1}}, err::kDbaseBadFieldName},  // 11 bytes
      {{{std::string("A\0B", 3), 1}}, err::kDbaseBadFieldName},
  };
  FixedClock clock(kMarch5);
  for (const auto& c : cases) {
    MemoryFileState state;
    const Error e = ErrorOf([&] { MakeWriter(state, c.fields, clock); });
    EXPECT_EQ(e.number(), c.number) << c.fields.size() << " fields: " << e.description();
    EXPECT_FALSE(e.description().empty());
    EXPECT_TRUE(state.bytes.empty());
  }
  // The limits themselves are fine.
  MemoryFileState state;
  MakeWriter(state, std::vector<DbfField>(255, {"ABCDEFGHIJ", 254}), clock)->Close();
  EXPECT_EQ(state.bytes.size(), 32u + 255u * 32u + 1u + 1u);
  EXPECT_EQ(state.bytes.substr(8, 4), B({0x01, 0x20, 0x03, 0xFD}));  // 8193, 64771
}

}  // namespace
}  // namespace platform::data::dbase
