// The workbook provider's share of a large conversion, on big.xls
// (65,535 rows of 30 fields, made by bench/make_workbooks.py in
// $E2D_BENCH_DIR): opening the workbook (globals, shared strings), the
// query (cells, field widths), and every value of every row read through
// the recordset and put in its text form, as the conversion run does.
// Skipped when the workbook is not there.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/data/connection.h"
#include "platform/data/providers/providers.h"
#include "platform/data/connection_text.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/variant.h"

namespace {

namespace data = platform::data;

std::string BigWorkbook() {
  const char* dir = std::getenv("E2D_BENCH_DIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp/excel2dbf-bench") + "/big.xls";
}

// The run's own connection text and select.
void Open(data::Connection& connection, const std::string& path) {
  connection.Open(data::WorkbookConnectionText(path));
}

std::string FirstTable(data::Connection& connection) {
  const auto tables = connection.OpenSchema(data::adSchemaTables);
  return tables->fields()[2].Value().ToText();
}

data::ProviderFactory& Providers() {
  static const auto providers = data::MakeProviders(platform::RealFileSystem(), platform::SystemClock());
  return *providers;
}

bool Available(benchmark::State& state, const std::string& path) {
  if (std::filesystem::exists(path)) return true;
  state.SkipWithError((path + " missing: run bench/make_workbooks.py first").c_str());
  return false;
}

void BM_OpenWorkbook(benchmark::State& state) {
  const std::string path = BigWorkbook();
  if (!Available(state, path)) return;
  for (auto _ : state) {
    data::Connection connection(Providers());
    Open(connection, path);
    benchmark::DoNotOptimize(FirstTable(connection));
  }
}
BENCHMARK(BM_OpenWorkbook)->Unit(benchmark::kMillisecond);

void BM_OpenAndQuery(benchmark::State& state) {
  const std::string path = BigWorkbook();
  if (!Available(state, path)) return;
  for (auto _ : state) {
    data::Connection connection(Providers());
    Open(connection, path);
    data::Recordset rows;
    rows.Open(platform::Variant::Text("select * from  [" + FirstTable(connection) + "]"), connection);
    benchmark::DoNotOptimize(rows.RecordCount());
  }
}
BENCHMARK(BM_OpenAndQuery)->Unit(benchmark::kMillisecond);

void BM_ReadAllValues(benchmark::State& state) {
  const std::string path = BigWorkbook();
  if (!Available(state, path)) return;
  std::int64_t cells = 0;
  for (auto _ : state) {
    data::Connection connection(Providers());
    Open(connection, path);
    data::Recordset rows;
    rows.Open(platform::Variant::Text("select * from  [" + FirstTable(connection) + "]"), connection);
    std::string text;
    std::size_t bytes = 0;
    const int count = rows.fields().Count();
    for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext()) {
      for (int j = 0; j < count; ++j) {
        text.clear();
        rows.fields()[j].Value().AppendText(text);
        bytes += text.size();
      }
    }
    benchmark::DoNotOptimize(bytes);
    cells = rows.RecordCount() * count;
  }
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_ReadAllValues)->Unit(benchmark::kMillisecond);

}  // namespace
