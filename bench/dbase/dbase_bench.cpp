// The dBase provider's share of a large conversion: a sheet's worth of
// insert statements (65,535 rows of 30 fields, the most an .xls sheet
// holds) parsed, encoded to code page 936 and written, then Close with its
// fsync. Target: well under 0.3 s per table.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/data/dbase/dbase_provider.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 65535;
constexpr int kFields = 30;
constexpr int kDistinctRows = 997;

// Statements as the run builds them: Chinese and ASCII names and values,
// some apostrophes doubled, widths of 100 and less.
struct Workload {
  std::string create;
  std::vector<std::string> inserts;
};

Workload MakeWorkload(const std::string& folder) {
  const std::string path = folder + platform::kPathSeparator + "143005.dbf";
  std::string defs;
  std::string names;
  for (int f = 0; f < kFields; ++f) {
    const std::string name = (f % 2 ? "字段" : "Field") + std::to_string(f);
    defs += (f ? ",[" : "[") + name + "]  CHAR(" + std::to_string(f % 3 ? 100 : 20) + ")";
    names += (f ? "," : "") + name;
  }
  Workload w;
  w.create = "CREATE TABLE " + path + "  (" + defs + ")";
  std::mt19937 random(42);
  const char* const words[] = {"苹果", "北京市朝阳区", "O''Brien", "12345.67", "2024-03-05",
                               "有限公司", "abc", "", "张三", "Item #42"};
  for (int r = 0; r < kDistinctRows; ++r) {
    std::string values;
    for (int f = 0; f < kFields; ++f) {
      values += f ? ",'" : "'";
      values += words[random() % 10];
      values += words[random() % 10];
      values += "'";
    }
    w.inserts.push_back("insert into  " + path + "  (" + names + ")  values (" + values + ")");
  }
  return w;
}

void BM_SheetOfInserts(benchmark::State& state) {
  std::random_device device;
  const fs::path dir = fs::temp_directory_path() / ("e2d-bench-dbase-" + std::to_string(device()));
  fs::create_directories(dir);
  const std::string folder = platform::FromFsPath(dir);
  const Workload workload = MakeWorkload(folder);
  const platform::FixedClock clock({2024, 3, 5, 14, 30, 5});
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    auto session = platform::data::dbase::OpenDbaseSession(platform::RealFileSystem(), clock, folder);
    session->Execute(workload.create);
    for (int r = 0; r < kRows; ++r) session->Execute(workload.inserts[r % kDistinctRows]);
    session->Close();
    state.PauseTiming();
    bytes = fs::file_size(dir / "143005.dbf");
    fs::remove(dir / "143005.dbf");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  fs::remove_all(dir);
}
BENCHMARK(BM_SheetOfInserts)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
