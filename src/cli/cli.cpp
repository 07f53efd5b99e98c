#include "cli/cli.h"

#include <chrono>
#include <optional>
#include <ostream>

#include "platform/filesystem/filesystem.h"
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
  CliHost(const Options& options, Console& console, const platform::Clock& clock)
      : options_(options), console_(console), clock_(clock) {}

  std::string WorkbookPath() const override { return options_.workbook; }
  std::string TargetPath() const override { return options_.target; }
  std::string StatusText() const override { return status_; }

  void SetStatusText(const std::string& text) override {
    status_ = text;
    if (options_.quiet || !console_.out_is_terminal) return;
    const platform::Clock::Ticks now = clock_.Elapsed();
    if (last_redraw_ && now - *last_redraw_ < kRedrawInterval) return;
    last_redraw_ = now;
    console_.out << '\r' << status_ << std::flush;
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
    if (drawn_) console_.out << '\r' << std::string(status_.size() + 8, ' ') << '\r';
    drawn_ = false;
  }

  const std::string& status() const { return status_; }

 private:
  const Options& options_;
  Console& console_;
  const platform::Clock& clock_;
  std::string status_;
  std::optional<platform::Clock::Ticks> last_redraw_;
  bool drawn_ = false;
};

void PrintWarnings(const std::vector<std::string>& warnings, std::ostream& err) {
  for (std::size_t i = 0; i < warnings.size() && i < kMaxWarningsShown; ++i) {
    err << "警告: " << warnings[i] << '\n';
  }
  if (warnings.size() > kMaxWarningsShown) {
    err << "警告: 另有 " << warnings.size() - kMaxWarningsShown << " 条警告未列出\n";
  }
}

}  // namespace

std::variant<Options, std::string> ParseArguments(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> paths;
  bool only_paths = false;
  bool saw_yes = false;
  bool saw_no = false;
  for (const std::string& arg : args) {
    if (only_paths || arg.empty() || arg[0] != '-' || arg == "-") {
      paths.push_back(arg);
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
  if (paths.size() != 2) return "需要两个参数：工作簿和目标 dbf 文件";
  options.workbook = paths[0];
  options.target = paths[1];
  return options;
}

std::string HelpText() {
  return "用法: excel2dbf-cli [选项] 工作簿.xls 目标.dbf\n"
         "\n"
         "把 Excel 97-2003 工作簿的第一个工作表转换为 dBase III 表（代码页 936）。\n"
         "表头行给出字段名，每个字段都是字符型字段，宽度不超过 100 个字节（50 个汉字），\n"
         "更长的值截断并给出警告。\n"
         "\n"
         "选项:\n"
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
         "退出码:\n"
         "  0    转换完成；或工作表没有数据行（不生成文件）\n"
         "  1    出错（stderr 上显示“错误 编号: 说明”），已有的目标文件不变\n"
         "  2    用法错误\n"
         "  3    目标文件已存在且未覆盖，什么也没写\n"
         "  130  被中断（Ctrl+C），未完成的文件已删除，已有的目标文件不变\n";
}

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

  // The run takes a target's folder from its path; a bare file name typed
  // at the prompt means the current folder.
  Options resolved = options;
  resolved.workbook = platform::AbsolutePath(options.workbook);
  resolved.target = platform::AbsolutePath(options.target);
  CliHost host(resolved, console, services.clock);
  frmexcel::RunResult result;
  try {
    result = frmexcel::RunConversion(host, services);
  } catch (...) {
    // Whatever went wrong, the user gets a number and a text and the
    // process ends normally, so the run's clean-up has happened.
    const platform::Error e = platform::CurrentError();
    host.FinishLine();
    console.err << "错误 " << e.number() << ": " << e.description() << '\n';
    return kExitError;
  }
  host.FinishLine();
  PrintWarnings(result.warnings.Lines(), console.err);
  switch (result.outcome) {
    case frmexcel::RunOutcome::kCompleted:
      if (!options.quiet) console.out << host.status() << '\n';
      return kExitOk;
    case frmexcel::RunOutcome::kNoRows:
      console.err << "工作表没有数据行，没有生成 dbf 文件。\n";
      return kExitOk;
    case frmexcel::RunOutcome::kDeclined:
      console.err << "目标文件已存在，没有覆盖，什么也没写：" << options.target << '\n';
      return kExitDeclined;
    case frmexcel::RunOutcome::kStopped:
      console.err << "已中断：未完成的文件已删除，已有的目标文件不变。\n";
      return kExitInterrupted;
    case frmexcel::RunOutcome::kAlreadyRunning:
      break;
  }
  console.err << "错误: 已有一个转换正在进行\n";
  return kExitError;
}

}  // namespace cli
