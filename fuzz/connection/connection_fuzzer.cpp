// libFuzzer target for the connection-text parser. The first byte picks
// what the rest is:
//   0: a whole connection text; it must parse or raise platform::Error.
//   1: a workbook path, wrapped in the workbook connection text the run
//      builds; it must parse to the workbook provider with that very path.
//   2: a folder, wrapped in the dBase connection text; it must parse to
//      the dBase provider with that very folder.
// Paths hold whatever the user typed (';', '=', quotes, braces), so 1 and
// 2 must never lose or change a byte of them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/data/connection_text.h"
#include "platform/runtime/error.h"

namespace {

using platform::data::ConnectionTarget;

[[noreturn]] void Fail(const char* what, std::string_view path) {
  std::fprintf(stderr, "%s: path of %zu bytes\n", what, path.size());
  std::abort();
}

void ExpectRoundTrip(const std::string& text, std::string_view path, ConnectionTarget::Kind kind) {
  ConnectionTarget target;
  try {
    target = platform::data::ParseConnectionText(text);
  } catch (const platform::Error&) {
    Fail("the program's own connection text was refused", path);
  }
  if (target.kind != kind) Fail("wrong provider", path);
  if (target.location != path) Fail("the path came back changed", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      try {
        (void)platform::data::ParseConnectionText(rest);
      } catch (const platform::Error&) {
      }
      break;
    case 1:
      ExpectRoundTrip(platform::data::WorkbookConnectionText(rest), rest, ConnectionTarget::Kind::kWorkbook);
      break;
    case 2:
      ExpectRoundTrip(platform::data::DbaseConnectionText(rest), rest, ConnectionTarget::Kind::kDbase);
      break;
  }
  return 0;
}
