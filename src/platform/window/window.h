#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/clock.h"

// One window of labels, text boxes and buttons, described as data and
// drawn by whichever toolkit the program is built with: qt/ on Linux,
// win32/ on Windows, fake/ in tests. The form (its table and its handlers)
// is written once against this header; a face only draws and reports
// events. Text is UTF-8 throughout; controls are named by the names of the
// form's table.
namespace platform::window {

// The layout unit is the twip: 1440 to the inch, 15 to a pixel at 96 dpi.
inline constexpr int kTwipsPerInch = 1440;

// Pixels for `twips` at `dpi` dots per inch, rounded down.
constexpr int TwipsToPixels(int twips, int dpi) { return twips * dpi / kTwipsPerInch; }

struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// A font as the form names it. The face draws `family` when it is
// installed, else a face of the system that covers Simplified Chinese.
struct Font {
  std::string family;
  double point_size = 0;
  int weight = 400;   // 400 normal, 700 bold
  int charset = 134;  // 134: GB2312
};

enum class ControlKind {
  kLabel,    // one line of text; takes no focus
  kTextBox,  // a single-line editable box
  kButton,   // a push button; never the default (Enter) or cancel (Esc) one
};

struct Control {
  std::string name;
  ControlKind kind = ControlKind::kLabel;
  std::string text;
  TwipsRect rect;
  std::optional<Font> font;  // none: the form's font
  // Focus order among text boxes and buttons, lowest first.
  int tab_index = 0;
};

// A fixed-size dialog window: caption, close box, no minimise or maximise
// box, no resizing, centred on the screen when shown.
struct Form {
  std::string name;
  std::string caption;
  int client_width = 0;  // twips
  int client_height = 0;
  Font font;
  std::vector<Control> controls;
};

// What the user does to the window, as the face reports it. The face calls
// these on the window's own thread, from Run() or ProcessPendingEvents(),
// and never while another of them is still running unless that one
// processes events itself. They must not throw.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  // A button was pressed: by mouse, by Space, or by Enter while it had the
  // focus.
  virtual void OnClick(std::string_view control) = 0;
  // The close box (or the system's close command). True lets the window
  // close now; false keeps it open.
  virtual bool OnClose() = 0;
  // Files were dropped on `control` (empty: on the window outside any
  // control). `paths` are local paths with the platform's separators, at
  // least one.
  virtual void OnDrop(std::string_view control, const std::vector<std::string>& paths) = 0;
};

enum class MessageIcon { kInformation, kError };

enum class FileDialogKind { kOpen, kSaveAs };

struct FileDialogRequest {
  FileDialogKind kind = FileDialogKind::kOpen;
  // In the classic form "description|patterns[|description|patterns...]",
  // patterns ';'-separated.
  std::string filter;
  std::string file_name;  // preselected; empty for none
  // Without a leading dot; appended by Save As to a typed name that has no
  // extension. Empty: nothing is appended.
  std::string default_extension;
};

class Window {
 public:
  virtual ~Window() = default;

  // Creates the window and its controls from `form` (hidden until Run),
  // the text boxes and buttons in tab order, and reports the user's acts to
  // `events`, which must outlive the window. Called once. Focus starts in
  // the first text box or button in tab order. Enter and Space press the
  // focused button; Enter in a text box and Esc do nothing.
  virtual void Build(const Form& form, FormEvents& events) = 0;

  // Shows the window and processes events until it has closed (returns 0)
  // or Quit was called (returns Quit's status).
  virtual int Run() = 0;
  // Makes Run return `exit_status` as soon as control gets back to it.
  virtual void Quit(int exit_status) = 0;
  // Closes the window as its close box would: OnClose decides.
  virtual void Close() = 0;

  // The text of a text box, label or button. Naming a control the form
  // does not have is a programming fault: std::logic_error.
  virtual std::string Text(std::string_view control) const = 0;
  virtual void SetText(std::string_view control, std::string_view text) = 0;
  // A disabled control takes no input, no focus and no drop.
  virtual void Enable(std::string_view control, bool enabled) = 0;
  virtual void Focus(std::string_view control) = 0;

  // Processes the window events that are waiting (painting, input), then
  // returns; handlers of FormEvents may run inside.
  virtual void ProcessPendingEvents() = 0;

  // A modal message box with `icon`, `text`, the title and one OK button;
  // returns when the user has closed it.
  virtual void ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) = 0;
  // A modal message box with the information icon and the buttons Yes and
  // No, Yes the default. True for Yes; closing the box otherwise is No.
  virtual bool AskYesNo(std::string_view text, std::string_view title) = 0;
  // The modal Open or Save As dialog. Returns the chosen path with the
  // platform's separators, or nullopt when the user cancelled. Open lets
  // only an existing file be chosen; Save As does not ask about replacing
  // an existing file (that is the caller's business). No file is opened
  // or created.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
};

// The window of the toolkit this program is built with. Call once, before
// anything else touches the window system; `argc` and `argv` are the
// program's (a toolkit may take its own options from them and must
// outlive the window).
std::unique_ptr<Window> MakeWindow(int& argc, char** argv);

// One entry of a classic filter: ".xls|*.xls" is {".xls", "*.xls"}.
struct FilterEntry {
  std::string description;
  std::string patterns;  // ';'-separated, e.g. "*.xls;*.xlt"

  friend bool operator==(const FilterEntry&, const FilterEntry&) = default;
};

// Splits a classic filter into its entries. A trailing description
// without patterns gets its description as the pattern, as the classic
// dialogs do; an empty filter has no entries.
std::vector<FilterEntry> ParseFilter(std::string_view filter);

// How often a window busy with long work is serviced. Handing a window its
// events, or even setting a label's text, after every row of a run costs a
// sixth of the run; servicing it at an interval keeps it live at a fraction
// of that.
class RepaintBudget {
 public:
  // `clock` must outlive the budget.
  RepaintBudget(const Clock& clock, Clock::Ticks interval) : clock_(clock), interval_(interval) {}
  // Starts a new interval now.
  void Restart() { since_ = clock_.Elapsed(); }
  // True once per interval: when at least the interval has passed since
  // the last true answer (or Restart); a new interval then starts.
  bool Due() {
    const Clock::Ticks now = clock_.Elapsed();
    if (now - since_ < interval_) return false;
    since_ = now;
    return true;
  }

 private:
  const Clock& clock_;
  Clock::Ticks interval_;
  Clock::Ticks since_{};
};

}  // namespace platform::window
