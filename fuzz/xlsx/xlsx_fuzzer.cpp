// libFuzzer target for the whole .xlsx provider, format dispatch included:
// open, list the tables, read every listed sheet cell by cell. Any input
// must either read or raise platform::Error; anything else (a crash, a
// sanitizer report, an uncaught exception, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/data/provider.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace platform;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    auto session = data::OpenWorkbookFile(std::make_unique<MemoryFile>(bytes));
    auto schema = session->OpenSchema(data::adSchemaTables);
    Variant v;
    for (std::int64_t t = 0; t < schema->RowCount(); ++t) {
      schema->ReadValue(t, 2, v);
      try {
        auto rows = session->Query("select * from  [" + ascii::WithoutApostrophes(v.ToText()) + "]");
        std::string text;
        // A sparse sheet may span a million rows; a sample keeps each run short.
        const std::int64_t limit = 200000 / static_cast<std::int64_t>(rows->Fields().size() + 1);
        for (std::int64_t r = 0; r < rows->RowCount() && r < limit; ++r) {
          for (std::size_t f = 0; f < rows->Fields().size(); ++f) {
            rows->ReadValue(r, static_cast<int>(f), v);
            v.AppendText(text);
          }
          text.clear();
        }
      } catch (const Error&) {
        // One damaged sheet; the others may still read.
      }
    }
  } catch (const Error&) {
  }
  return 0;
}
