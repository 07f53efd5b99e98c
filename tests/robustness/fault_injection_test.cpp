// Faults injected at every step of a conversion on the real providers and
// the real file system, through wrapping fakes: each must reach the user
// as its number and description, leave the old target byte for byte, leave
// any staging file a complete table of the rows written before the fault,
// and release every session and descriptor.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "frmexcel/conversion_run.h"
#include "mdlpublic/mdlpublic.h"
#include "platform/data/connection.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "support/dbf_table.h"
#include "support/faulty_filesystem.h"
#include "support/faulty_providers.h"
#include "support/open_descriptors.h"
#include "support/temp_dir.h"

namespace {

using testing_support::FaultyFileSystem;
using testing_support::FaultyProviders;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

constexpr std::string_view kOldTarget = "the old target: a failed run leaves it alone";
constexpr platform::LocalTime kNoon{2024, 3, 5, 12, 0, 0};
constexpr std::string_view kStagingName = "120000.dbf";
// many_strings.xls: 1,199 data rows, enough for several write batches.
constexpr std::int64_t kFixtureRows = 1199;

// The records a dBase reader finds in a table file: nullopt unless the
// file is a complete table (trailing bytes after the end-of-file byte
// allowed: a write that failed midway may leave some).
std::optional<std::uint32_t> CompleteRecordCount(const std::string& dbf) {
  const testing_support::DbfTable table = testing_support::ReadDbfTable(dbf);
  if (!table.complete()) return std::nullopt;
  return table.count;
}

struct Fault {
  const char* name;
  // One of the two is used.
  std::optional<FaultyProviders::Op> provider_op;
  std::optional<FaultyFileSystem::Op> file_op;
  int nth;
  // Rows the staging file must hold afterwards: -1 no staging file, -2 a
  // complete table of fewer rows than were inserted (a write failed midway).
  std::int64_t staging_rows;
};

std::ostream& operator<<(std::ostream& out, const Fault& fault) { return out << fault.name; }

const Fault kFaults[] = {
    {"OpenWorkbook", FaultyProviders::Op::kOpenWorkbook, {}, 1, -1},
    {"Select", FaultyProviders::Op::kQuery, {}, 1, -1},
    {"OpenDbase", FaultyProviders::Op::kOpenDbase, {}, 1, -1},
    {"CreateTable", FaultyProviders::Op::kExecute, {}, 1, -1},
    {"FirstInsert", FaultyProviders::Op::kExecute, {}, 2, 0},
    {"Insert500", FaultyProviders::Op::kExecute, {}, 501, 499},
    {"LastInsert", FaultyProviders::Op::kExecute, {}, kFixtureRows + 1, kFixtureRows - 1},
    {"CloseTable", FaultyProviders::Op::kClose, {}, 1, kFixtureRows},
    {"ReadWorkbookFile", {}, FaultyFileSystem::Op::kOpenForRead, 1, -1},
    {"CreateStagingFile", {}, FaultyFileSystem::Op::kCreate, 1, -1},
    {"WriteHeader", {}, FaultyFileSystem::Op::kWrite, 1, -1},
    {"WriteFirstBatch", {}, FaultyFileSystem::Op::kWrite, 2, -2},
    {"WriteFirstCount", {}, FaultyFileSystem::Op::kWrite, 3, -2},
    {"WriteLaterBatch", {}, FaultyFileSystem::Op::kWrite, 4, -2},
    {"SyncTable", {}, FaultyFileSystem::Op::kSync, 1, kFixtureRows},
    {"CloseFile", {}, FaultyFileSystem::Op::kClose, 1, kFixtureRows},
    {"ReplaceTarget", {}, FaultyFileSystem::Op::kReplace, 1, kFixtureRows},
};

class FaultInjectionTest : public ::testing::TestWithParam<Fault> {
 protected:
  FaultInjectionTest()
      : clock(kNoon),
        faulty_files(platform::RealFileSystem()),
        real_providers(platform::data::MakeProviders(faulty_files, clock)),
        providers(*real_providers) {
    workbook = dir.File("many_strings.xls");
    WriteFileBytes(workbook,
                   ReadFileBytes(testing_support::SourceDir() + "/tests/fixtures/many_strings.xls"));
    target = dir.File("result.dbf");
    WriteFileBytes(target, std::string(kOldTarget));
  }

  // Runs the command line on the wrapped services; returns the exit code.
  int RunCli() {
    std::ostringstream out;
    cli::Console console{out, err};
    return cli::Main({"-y", "-q", workbook, target}, console, {faulty_files, clock, providers});
  }

  TempDir dir;
  platform::FixedClock clock;
  FaultyFileSystem faulty_files;
  std::unique_ptr<platform::data::ProviderFactory> real_providers;
  FaultyProviders providers;
  std::string workbook;
  std::string target;
  std::ostringstream err;
};

TEST_P(FaultInjectionTest, ReachesTheUserAndLosesNothing) {
  const Fault& fault = GetParam();
  const std::string description = std::string("注入的故障：") + fault.name;
  constexpr int kNumber = 61;
  if (fault.provider_op) providers.FailAt(*fault.provider_op, fault.nth, kNumber, description);
  if (fault.file_op) faulty_files.FailAt(*fault.file_op, fault.nth, kNumber, description);
  const int descriptors = testing_support::OpenDescriptorCount();

  EXPECT_EQ(RunCli(), cli::kExitError);

  // The chosen number and text, as the user sees them.
  EXPECT_EQ(err.str(), "错误 61: " + description + "\n");
  EXPECT_EQ(ReadFileBytes(target), kOldTarget);
  EXPECT_EQ(providers.live_sessions(), 0);
  EXPECT_EQ(testing_support::OpenDescriptorCount(), descriptors);

  const std::string staging = dir.File(std::string(kStagingName));
  if (fault.staging_rows == -1) {
    EXPECT_FALSE(std::filesystem::exists(staging)) << "a staging file after a failed start";
    return;
  }
  ASSERT_TRUE(std::filesystem::exists(staging)) << "the rows written are kept";
  const auto rows = CompleteRecordCount(ReadFileBytes(staging));
  ASSERT_TRUE(rows.has_value()) << "the staging file is not a complete table";
  if (fault.staging_rows == -2) {
    EXPECT_LT(*rows, kFixtureRows);
  } else {
    EXPECT_EQ(*rows, fault.staging_rows);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FaultInjectionTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Sanity for the table above: without a fault the same run converts every
// row, and the staging name is the one the faults expect.
TEST_F(FaultInjectionTest, WithoutAFaultEveryRowArrives) {
  const int descriptors = testing_support::OpenDescriptorCount();
  EXPECT_EQ(RunCli(), cli::kExitOk) << err.str();
  EXPECT_EQ(CompleteRecordCount(ReadFileBytes(target)), kFixtureRows);
  EXPECT_EQ(providers.calls(FaultyProviders::Op::kExecute), kFixtureRows + 1);
  EXPECT_GE(faulty_files.calls(FaultyFileSystem::Op::kWrite), 5) << "fewer batches than the faults assume";
  EXPECT_FALSE(std::filesystem::exists(dir.File(std::string(kStagingName))));
  EXPECT_EQ(providers.live_sessions(), 0);
  EXPECT_EQ(testing_support::OpenDescriptorCount(), descriptors);
}

// Two runs in one folder in the same second: the second finds the first
// one's staging file at the time's name, takes the next second's name and
// completes, without touching the first one's table, which completes too.
TEST_F(FaultInjectionTest, SecondRunInTheSameSecondTakesTheNextName) {
  // The first run, up to its CREATE TABLE, as the run itself does it.
  platform::data::Connection first(*real_providers);
  const std::string folder = dir.path();
  const std::string first_staging =
      mdlpublic::CreateDbfTable(folder, "([A]  CHAR(5))", first, clock, "first.dbf");
  ASSERT_EQ(first_staging, kStagingName);
  const std::string staging_path = dir.File(first_staging);
  const std::string empty_table = ReadFileBytes(staging_path);

  EXPECT_EQ(RunCli(), cli::kExitOk) << err.str();
  EXPECT_EQ(CompleteRecordCount(ReadFileBytes(target)), kFixtureRows);
  EXPECT_EQ(providers.calls(FaultyProviders::Op::kExecute), 2 + kFixtureRows) << "one CREATE refused";
  EXPECT_EQ(ReadFileBytes(staging_path), empty_table);
  EXPECT_FALSE(std::filesystem::exists(dir.File("120001.dbf")));

  // The first run goes on and finishes.
  first.Execute("insert into  " + staging_path + "  (A)  values ('one')", -1);
  first.Close();
  platform::RealFileSystem().MoveFile(staging_path, dir.File("first.dbf"));
  EXPECT_EQ(CompleteRecordCount(ReadFileBytes(dir.File("first.dbf"))), 1u);
}

}  // namespace
