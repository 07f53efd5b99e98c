#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "frmexcel/conversion_run.h"

// The command-line front end: the same conversion run as the window, for
// batch use and machines without a display.
namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;
inline constexpr int kExitInterrupted = 130;

struct Options {
  enum class Overwrite { kAsk, kYes, kNo };
  Overwrite overwrite = Overwrite::kAsk;
  bool quiet = false;
  bool help = false;
  bool version = false;
  // The sheet to convert: a name or a 1-based number (frmexcel::ChooseSheet);
  // empty for the first.
  std::string sheet;
  // With -d: every workbook converted into this folder, each to
  // <workbook name>.dbf; workbook and target then stay empty.
  std::string folder;
  std::vector<std::string> workbooks;
  std::string workbook;
  std::string target;
};

// Parses the arguments after the program name; a text is a usage error.
std::variant<Options, std::string> ParseArguments(const std::vector<std::string>& args);

std::string HelpText();

// Where the front end meets the outside world; main() fills it from the
// process, tests with strings.
struct Console {
  std::ostream& out;
  std::ostream& err;
  bool out_is_terminal = false;
  bool in_is_terminal = false;
  std::function<std::optional<std::string>()> read_line{};
  std::function<bool()> interrupted = [] { return false; };
};

// Runs the front end; returns the process exit status. With -d, one status
// line per workbook, each converted even when another fails; the status is
// the worst of theirs (130, then 1, then 3, then 0). An interruption ends
// the batch.
int Main(const std::vector<std::string>& args, Console& console,
         const frmexcel::RunServices& services);

}  // namespace cli
