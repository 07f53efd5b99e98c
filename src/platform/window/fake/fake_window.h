#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform::window {

// A window with no display, for the form's tests. It keeps each control's
// text, enabled state and the focus; the test acts as the user (Click,
// Type, PressClose, Drop, or Post for an act that lands during a run) and
// answers the dialogs from queues. A dialog with no answer queued fails
// the test loudly (std::logic_error) instead of blocking.
class FakeWindow : public Window {
 public:
  struct Message {
    MessageIcon icon;
    std::string text;
    std::string title;
    bool yes_no;  // false: one OK button
  };

  // ---- Answers, filled by the test --------------------------------------
  std::deque<std::optional<std::string>> file_answers;  // nullopt: cancel
  std::deque<bool> yes_no_answers;
  // Runs while a message box would be on screen (a look at the window
  // behind it).
  std::function<void(const Message&)> on_message;

  // ---- What the form asked ----------------------------------------------
  std::vector<FileDialogRequest> file_requests;
  std::vector<Message> messages;

  // ---- The user's acts ---------------------------------------------------
  // Presses a button, as a mouse or the keyboard would. Nothing happens
  // when the button is disabled or the window is closed.
  void Click(std::string_view control);
  // Replaces a text box's text, as typing would (nothing when disabled).
  void Type(std::string_view control, std::string_view text);
  // The close box.
  void PressClose();
  // Drops files on a control (empty: on the window itself). Nothing
  // happens on a disabled control.
  void Drop(std::string_view control, const std::vector<std::string>& paths);
  // An act the user does while the form is busy: it runs at the next
  // ProcessPendingEvents (or in Run).
  void Post(std::function<void()> act) { posted_.push_back(std::move(act)); }

  // ---- What the window shows ---------------------------------------------
  bool IsEnabled(std::string_view control) const;
  const std::string& FocusedControl() const { return focus_; }
  bool IsOpen() const { return built_ && !closed_; }
  std::optional<int> QuitStatus() const { return quit_status_; }
  // Every text a control was given, oldest first.
  const std::vector<std::string>& TextsSet(std::string_view control) const;
  // How often the window was serviced.
  int ProcessedCount() const { return processed_; }
  const Form& BuiltForm() const { return form_; }

  // ---- Window -------------------------------------------------------------
  void Build(const Form& form, FormEvents& events) override;
  // Runs the posted acts in order until the window has closed or Quit was
  // called; std::logic_error when the acts run out before that (a real
  // loop would wait for the user for ever).
  int Run() override;
  void Quit(int exit_status) override { quit_status_ = exit_status; }
  void Close() override;
  std::string Text(std::string_view control) const override;
  void SetText(std::string_view control, std::string_view text) override;
  void Enable(std::string_view control, bool enabled) override;
  void Focus(std::string_view control) override;
  void ProcessPendingEvents() override;
  void ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) override;
  bool AskYesNo(std::string_view text, std::string_view title) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;

 private:
  struct State {
    ControlKind kind;
    std::string text;
    bool enabled = true;
    std::vector<std::string> texts_set;
  };
  State& At(std::string_view control);
  const State& At(std::string_view control) const;
  void Record(Message message);

  Form form_;
  FormEvents* events_ = nullptr;
  std::map<std::string, State, std::less<>> controls_;
  std::string focus_;
  std::deque<std::function<void()>> posted_;
  std::optional<int> quit_status_;
  bool built_ = false;
  bool closed_ = false;
  int processed_ = 0;
};

}  // namespace platform::window
