#include "cli/cli.h"

#include <chrono>
#include <optional>
#include <ostream>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"

namespace cli {
namespace {

constexpr std::size_t kMaxWarningsShown = 20;
// A terminal status line redrawn for every row would cost more than the
// conversion; twenty times a second looks just as live.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

class CliHost : public frmexcel::RunHost {
 public:
  CliHost(const Options& options, std::string prefix, Console& console, const platform::Clock& clock)
      : options_(options), prefix_(std::move(prefix)), console_(console), clock_(clock) {}

  std::string WorkbookPath() const override { return options_.workbook; }
  std::string TargetPath() const override { return options_.target; }
  std::string SheetChoice() const override { return options_.sheet; }
  std::string StatusText() const override { return status_; }

  void SetStatusText(const std::string& text) override {
    status_ = text;
    if (options_.quiet || !console_.out_is_terminal) return;
    const platform::Clock::Ticks now = clock_.Elapsed();
    if (last_redraw_ && now - *last_redraw_ < kRedrawInterval) return;
    last_redraw_ = now;
    console_.out << '\r' << prefix_ << status_ << std::flush;
    drawn_ = true;
  }

  bool AskYesNo(const std::string& prompt, const std::string& /*title*/) override {
    switch (options_.overwrite) {
      case Options::Overwrite::kYes:
        return true;
      case Options::Overwrite::kNo:
        return false;
      case Options::Overwrite::kAsk:
        break;
    }
    // Without a person to ask, the safe answer keeps the existing file.
    if (!console_.in_is_terminal || !console_.read_line) return false;
    for (;;) {
      console_.err << prompt << " [Y/n] " << std::flush;
      const std::optional<std::string> answer = console_.read_line();
      if (!answer) return false;
      if (answer->empty() || *answer == "y" || *answer == "Y" || *answer == "是") return true;
      if (*answer == "n" || *answer == "N" || *answer == "否") return false;
    }
  }

  bool Yield() override { return !console_.interrupted(); }

  // Ends the redrawn line so later output starts on a fresh one.
  void FinishLine() {
    if (drawn_) console_.out << '\r' << std::string(prefix_.size() + status_.size() + 8, ' ') << '\r';
    drawn_ = false;
  }

  const std::string& status() const { return status_; }

 private:
  const Options& options_;
  const std::string prefix_;
  Console& console_;
  const platform::Clock& clock_;
  std::string status_;
  std::optional<platform::Clock::Ticks> last_redraw_;
  bool drawn_ = false;
};

void PrintWarnings(const std::vector<std::string>& warnings, const std::string& prefix, std::ostream& err) {
  for (std::size_t i = 0; i < warnings.size() && i < kMaxWarningsShown; ++i) {
    err << prefix << "警告: " << warnings[i] << '\n';
  }
  if (warnings.size() > kMaxWarningsShown) {
    err << prefix << "警告: 另有 " << warnings.size() - kMaxWarningsShown << " 条警告未列出\n";
  }
}

// "--sheet X", "--sheet=X", "-d X": the value of an option that takes one,
// into value. Returns a usage text when it is missing, empty or repeated.
std::optional<std::string> TakeValue(const std::vector<std::string>& args, std::size_t& i,
                                     const std::string& name, std::string& value) {
  const std::string& arg = args[i];
  std::string text;
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    text = arg.substr(name.size() + 1);
  } else if (arg == name && i + 1 < args.size()) {
    text = args[++i];
  } else if (arg != name) {
    return std::nullopt;
  }
  if (text.empty()) return name + " 后面缺少值";
  if (!value.empty()) return name + " 只能给一次";
  value = text;
  return "";
}

// A usage text when the paths do not fit the form chosen: two (workbook and
// target) without -d, at least one workbook with it.
std::optional<std::string> PlacePaths(std::vector<std::string> paths, Options& options) {
  if (!options.folder.empty()) {
    if (paths.empty()) return "-d 之后需要至少一个工作簿";
    options.workbooks = std::move(paths);
    return std::nullopt;
  }
  if (paths.size() != 2) return "需要两个参数：工作簿和目标 dbf 文件（或用 -d 文件夹 给出多个工作簿）";
  options.workbook = paths[0];
  options.target = paths[1];
  return std::nullopt;
}

// The exit statuses of a batch, worst last.
int Rank(int status) {
  switch (status) {
    case kExitOk:
      return 0;
    case kExitDeclined:
      return 1;
    case kExitInterrupted:
      return 3;
    default:
      return 2;
  }
}

}  // namespace

std::variant<Options, std::string> ParseArguments(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> paths;
  bool only_paths = false;
  bool saw_yes = false;
  bool saw_no = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_paths || arg.empty() || arg[0] != '-' || arg == "-") {
      paths.push_back(arg);
      continue;
    }
    std::optional<std::string> taken = TakeValue(args, i, "--sheet", options.sheet);
    if (!taken) taken = TakeValue(args, i, "-d", options.folder);
    if (taken) {
      if (!taken->empty()) return *taken;
    } else if (arg == "--") {
      only_paths = true;
    } else if (arg == "-y" || arg == "--overwrite") {
      saw_yes = true;
    } else if (arg == "-n" || arg == "--no-overwrite") {
      saw_no = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else {
      return "未知选项：" + arg;
    }
  }
  if (options.help || options.version) return options;
  if (saw_yes && saw_no) return "-y 与 -n 不能同时使用";
  if (saw_yes) options.overwrite = Options::Overwrite::kYes;
  if (saw_no) options.overwrite = Options::Overwrite::kNo;
  if (auto usage = PlacePaths(std::move(paths), options)) return *usage;
  return options;
}

std::string HelpText() {
  return "用法: excel2dbf-cli [选项] 工作簿 目标.dbf\n"
         "      excel2dbf-cli [选项] -d 文件夹 工作簿...\n"
         "\n"
         "把 Excel 工作簿（.xls 97-2003 格式，或 .xlsx/.xlsm 格式，按内容识别）的第一个工作表\n"
         "转换为 dBase III 表（代码页 936）。\n"
         "表头行给出字段名，每个字段都是字符型字段，宽度不超过 100 个字节（50 个汉字），\n"
         "更长的值截断并给出警告。\n"
         "\n"
         "选项:\n"
         "  --sheet 名称|序号    转换指定的工作表，而不是第一个。先按名称找（不分英文大小写）；\n"
         "                       没有这个名称而给的是数字时按序号：从 1 起，按工作簿中的顺序\n"
         "                       数可见的工作表，隐藏的工作表排在它们之后（图表工作表不计）。\n"
         "                       找不到时报错 1104 并列出可选的工作表\n"
         "  -d 文件夹            把每个工作簿转换为 文件夹/<工作簿名>.dbf，每个一行状态；\n"
         "                       一个出错不影响其余的。两个工作簿对应同一个 dbf 名称时\n"
         "                       什么也不转换（用法错误）\n"
         "  -y, --overwrite      目标文件已存在时覆盖它（新文件写完后才替换旧文件）\n"
         "  -n, --no-overwrite   目标文件已存在时不覆盖，什么也不写\n"
         "  -q, --quiet          只输出错误\n"
         "  -h, --help           显示本帮助\n"
         "      --version        显示版本\n"
         "  --                   其后的参数都是路径（路径以 - 开头时使用）\n"
         "\n"
         "目标文件已存在而未给 -y 或 -n 时：在终端上询问（默认覆盖）；\n"
         "没有终端时不覆盖。\n"
         "\n"
         "退出码（用 -d 时取各工作簿中最坏的：130，其次 1，其次 3）:\n"
         "  0    转换完成；或工作表没有数据行（不生成文件）\n"
         "  1    出错（stderr 上显示“错误 编号: 说明”），已有的目标文件不变\n"
         "  2    用法错误\n"
         "  3    目标文件已存在且未覆盖，什么也没写\n"
         "  130  被中断（Ctrl+C），未完成的文件已删除，已有的目标文件不变；其余工作簿不再转换\n";
}

namespace {

// What the run left, as a line on the console and an exit status.
int Report(const frmexcel::RunResult& result, const Options& job, const CliHost& host,
           const std::string& label, Console& console) {
  // The status text starts with a blank of its own.
  const std::string prefix = label.empty() ? "" : label + " ";
  PrintWarnings(result.warnings.Lines(), prefix, console.err);
  switch (result.outcome) {
    case frmexcel::RunOutcome::kCompleted:
      if (!job.quiet) console.out << label << host.status() << '\n';
      return kExitOk;
    case frmexcel::RunOutcome::kNoRows:
      console.err << prefix << "工作表没有数据行，没有生成 dbf 文件。\n";
      return kExitOk;
    case frmexcel::RunOutcome::kDeclined:
      console.err << prefix << "目标文件已存在，没有覆盖，什么也没写：" << job.target << '\n';
      return kExitDeclined;
    case frmexcel::RunOutcome::kStopped:
      console.err << prefix << "已中断：未完成的文件已删除，已有的目标文件不变。\n";
      return kExitInterrupted;
    case frmexcel::RunOutcome::kAlreadyRunning:
      break;
  }
  console.err << prefix << "错误: 已有一个转换正在进行\n";
  return kExitError;
}

// One workbook into one target; every line it prints starts with label.
int ConvertOne(const Options& job, const std::string& label, Console& console,
               const frmexcel::RunServices& services) {
  // The run takes a target's folder from its path; a bare file name typed
  // at the prompt means the current folder.
  Options resolved = job;
  resolved.workbook = platform::AbsolutePath(job.workbook);
  resolved.target = platform::AbsolutePath(job.target);
  CliHost host(resolved, label, console, services.clock);
  frmexcel::RunResult result;
  try {
    result = frmexcel::RunConversion(host, services);
  } catch (...) {
    // Whatever went wrong, the user gets a number and a text and the
    // process ends normally, so the run's clean-up has happened.
    const platform::Error e = platform::CurrentError();
    host.FinishLine();
    console.err << label << (label.empty() ? "" : " ") << "错误 " << e.number() << ": " << e.description() << '\n';
    return kExitError;
  }
  host.FinishLine();
  return Report(result, job, host, label, console);
}

// <folder>/<workbook's file name without its extension>.dbf
std::string TargetIn(const std::string& folder, const std::string& workbook,
                     const platform::FileSystem& file_system) {
  std::string name = file_system.GetFileName(workbook);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  std::string target = folder;
  if (!target.empty() && !platform::IsPathSeparator(static_cast<unsigned char>(target.back()))) {
    target += platform::kPathSeparator;
  }
  return target + name + ".dbf";
}

// A usage text when two workbooks would write one target (file names that
// differ only in ASCII case are one file on Windows).
std::optional<std::string> SharedTarget(const std::vector<std::string>& workbooks,
                                        const std::vector<std::string>& targets) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (platform::ascii::EqualsIgnoringCase(targets[i], targets[j])) {
        return "两个工作簿会写到同一个 dbf 文件，什么也没有转换：" + workbooks[j] + " 和 " + workbooks[i] +
               " → " + targets[i];
      }
    }
  }
  return std::nullopt;
}

// Every workbook into the folder, each with its own status line.
int ConvertEach(const Options& options, Console& console, const frmexcel::RunServices& services) {
  std::vector<std::string> targets;
  for (const std::string& workbook : options.workbooks) {
    targets.push_back(TargetIn(options.folder, workbook, services.file_system));
  }
  if (const auto shared = SharedTarget(options.workbooks, targets)) {
    console.err << "excel2dbf-cli: " << *shared << '\n';
    return kExitUsage;
  }
  if (!services.file_system.FolderExists(platform::AbsolutePath(options.folder))) {
    console.err << "错误 " << platform::err::kPathNotFound << ": 找不到文件夹：" << options.folder << '\n';
    return kExitError;
  }
  int worst = kExitOk;
  for (std::size_t i = 0; i < targets.size() && worst != kExitInterrupted; ++i) {
    Options job = options;
    job.workbook = options.workbooks[i];
    job.target = targets[i];
    const int status = ConvertOne(job, job.workbook + " → " + job.target + ":", console, services);
    if (Rank(status) > Rank(worst)) worst = status;
  }
  return worst;
}

}  // namespace

int Main(const std::vector<std::string>& args, Console& console,
         const frmexcel::RunServices& services) {
  const auto parsed = ParseArguments(args);
  if (const auto* usage = std::get_if<std::string>(&parsed)) {
    console.err << "excel2dbf-cli: " << *usage << "\n请用 --help 查看用法。\n";
    return kExitUsage;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.help) {
    console.out << HelpText();
    return kExitOk;
  }
  if (options.version) {
    console.out << "excel2dbf 1.00\n";
    return kExitOk;
  }
  if (!options.folder.empty()) return ConvertEach(options, console, services);
  return ConvertOne(options, "", console, services);
}

}  // namespace cli
