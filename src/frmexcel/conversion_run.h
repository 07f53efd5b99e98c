#pragma once

#include <cstdint>
#include <string>

#include "platform/data/warnings.h"

namespace platform {
class Clock;
class FileSystem;
namespace data {
class ProviderFactory;
}
}  // namespace platform

// One conversion: a sheet of a workbook (the first unless the host names
// another) into a dBase table. The
// window, the command line and the tests each drive it through a host.
namespace frmexcel {

inline constexpr const char* kMessageTitle = "Quenmar软件";
inline constexpr const char* kOverwritePrompt = "dbf文件已经存在,是否覆盖?";

// What the run needs from whoever starts it.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // Read once, when the run starts.
  virtual std::string WorkbookPath() const = 0;
  virtual std::string TargetPath() const = 0;
  // Which sheet to convert (see ChooseSheet); empty for the first listed.
  virtual std::string SheetChoice() const { return {}; }
  // The status line, read and written by the run.
  virtual std::string StatusText() const = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // A modal Yes/No question (Yes the default); true for Yes.
  virtual bool AskYesNo(const std::string& prompt, const std::string& title) = 0;
  // Called after every row so the host can stay live. Returning false asks
  // the run to stop after this row.
  virtual bool Yield() = 0;
};

// The platform services the run works on: the program passes the real
// ones, tests fakes. All must outlive the run.
struct RunServices {
  platform::FileSystem& file_system;
  const platform::Clock& clock;
  platform::data::ProviderFactory& providers;
};

enum class RunOutcome {
  kCompleted,       // the target holds the new table
  kNoRows,          // the sheet has no data rows: nothing written
  kDeclined,        // the target exists and the user answered No
  kStopped,         // the host asked to stop: staging file removed
  kAlreadyRunning,  // a run was in progress: this one did nothing
};

struct RunResult {
  RunOutcome outcome = RunOutcome::kCompleted;
  std::int64_t rows = 0;  // rows inserted
  // What the dBase provider changed on the way in (field names, values).
  platform::data::WarningList warnings;
};

// Runs one conversion with the host's paths. Throws platform::Error (number
// and description) when a step fails; the old target is then untouched.
RunResult RunConversion(RunHost& host, const RunServices& services);

}  // namespace frmexcel
