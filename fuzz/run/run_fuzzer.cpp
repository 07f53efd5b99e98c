// libFuzzer target for the whole conversion run on the real providers and
// file system. The input is written to a workbook file in a temporary
// folder that already holds a target; the run converts it onto that
// target. Afterwards:
//   - an error (platform::Error) leaves the old target byte for byte;
//   - a sheet without rows leaves the old target byte for byte;
//   - a completed run leaves a well-formed dBase III table at the target
//     whose record count is the row count the workbook provider reports.
// Anything else (a crash, a sanitizer report, another exception) is a
// finding.
//
// A sparse sheet may give 65,535 rows of 255 fields: slow under the
// sanitizers, hence the long per-input timeout.
//   TMPDIR=/dev/shm build/fuzz/fuzz/run/run_fuzzer -max_total_time=300 -timeout=60 \
//     CORPUS_DIR tests/fixtures
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "frmexcel/conversion_run.h"
#include "platform/data/providers/providers.h"
#include "platform/data/xls/workbook_provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOldTarget = "the old target, which a failed run must keep";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "run_fuzzer: %s\n", what.c_str());
  std::abort();
}

// Created on first use, removed when the fuzzer exits.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("e2d-fuzz-run-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string File(std::string_view name) const { return platform::FromFsPath(path_ / name); }
  // Removes everything a run left (staging files after an error).
  void Empty() const {
    for (const auto& entry : fs::directory_iterator(path_)) fs::remove_all(entry.path());
  }

 private:
  fs::path path_;
};

const TempFolder& Folder() {
  static const TempFolder folder;
  return folder;
}

class FuzzHost : public frmexcel::RunHost {
 public:
  FuzzHost(std::string workbook, std::string target)
      : workbook_(std::move(workbook)), target_(std::move(target)) {}
  std::string WorkbookPath() const override { return workbook_; }
  std::string TargetPath() const override { return target_; }
  std::string StatusText() const override { return status_; }
  void SetStatusText(const std::string& text) override { status_ = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  bool Yield() override { return true; }

 private:
  std::string workbook_;
  std::string target_;
  std::string status_;
};

std::string ReadAll(const std::string& path) {
  const auto file = platform::RealFileSystem().OpenForRead(path);
  std::string bytes(file->Size(), '\0');
  bytes.resize(file->Read(0, bytes.size(), bytes.data()));
  return bytes;
}

void WriteAll(const std::string& path, std::string_view bytes) {
  auto file = platform::RealFileSystem().CreateExclusive(path);
  file->Append(bytes);
  file->Close();
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint32_t Le16(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
}

// The rows of the first listed sheet, read on their own through the
// workbook provider; -1 when it cannot be read.
std::int64_t WorkbookRows(std::string_view bytes) {
  using namespace platform;
  try {
    auto session = data::xls::OpenWorkbookSession(std::make_unique<MemoryFile>(bytes));
    auto schema = session->OpenSchema(20);
    if (schema->RowCount() == 0) return -1;
    Variant name;
    schema->ReadValue(0, 2, name);
    std::string table;
    for (const char c : name.ToText()) {
      if (c != '\'') table += c;
    }
    return session->Query("select * from  [" + table + "]")->RowCount();
  } catch (const Error&) {
    return -1;
  }
}

// A dBase III table of character fields, complete: header, descriptors,
// terminator, the records the header counts, the end-of-file byte.
void CheckTable(const std::string& dbf, std::int64_t rows) {
  if (dbf.size() < 32 + 32 + 1 + 1) Fail("table shorter than a header");
  if (static_cast<unsigned char>(dbf[0]) != 0x03) Fail("not a dBase III version byte");
  const std::uint32_t count = Le32(dbf, 4);
  const std::uint32_t header = Le16(dbf, 8);
  const std::uint32_t record = Le16(dbf, 10);
  if (count != rows) Fail("record count " + std::to_string(count) + ", rows " + std::to_string(rows));
  if (header < 65 || (header - 33) % 32 != 0 || header > dbf.size()) Fail("bad header length");
  const std::size_t fields = (header - 33) / 32;
  if (fields > 255) Fail("more than 255 fields");
  std::uint32_t widths = 1;
  for (std::size_t f = 0; f < fields; ++f) {
    const std::size_t at = 32 + 32 * f;
    if (dbf[at + 11] != 'C') Fail("a field that is not character");
    const unsigned char width = static_cast<unsigned char>(dbf[at + 16]);
    if (width == 0 || width > 100) Fail("field width out of 1..100");
    widths += width;
  }
  if (dbf[header - 1] != 0x0D) Fail("no header terminator");
  if (widths != record) Fail("record length is not the sum of the widths");
  if (dbf.size() != header + static_cast<std::uint64_t>(count) * record + 1) Fail("file size");
  if (dbf.back() != 0x1A) Fail("no end-of-file byte");
  for (std::uint32_t r = 0; r < count; ++r) {
    if (dbf[header + static_cast<std::size_t>(r) * record] != ' ') Fail("record flag");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const TempFolder& folder = Folder();
  folder.Empty();
  const std::string workbook = folder.File("book.xls");
  const std::string target = folder.File("out.dbf");
  WriteAll(workbook, bytes);
  WriteAll(target, kOldTarget);

  const platform::FixedClock clock({2024, 3, 5, 14, 30, 5});
  const auto providers = platform::data::MakeProviders(platform::RealFileSystem(), clock);
  FuzzHost host(workbook, target);
  frmexcel::RunResult result;
  bool failed = false;
  try {
    result = frmexcel::RunConversion(host, {platform::RealFileSystem(), clock, *providers});
  } catch (const platform::Error& e) {
    if (e.description().empty()) Fail("an error without a description");
    failed = true;
  }
  const std::string after = ReadAll(target);
  if (failed || result.outcome != frmexcel::RunOutcome::kCompleted) {
    if (after != kOldTarget) Fail("the old target changed without a completed run");
  } else {
    const std::int64_t rows = WorkbookRows(bytes);
    if (rows != result.rows) Fail("run wrote " + std::to_string(result.rows) + " rows, workbook has " +
                                  std::to_string(rows));
    CheckTable(after, rows);
  }
  return 0;
}
