#include "platform/window/fake/fake_window.h"

#include <algorithm>
#include <stdexcept>

namespace platform::window {

FakeWindow::State& FakeWindow::At(std::string_view control) {
  const auto found = controls_.find(control);
  if (found == controls_.end()) {
    throw std::logic_error("FakeWindow: no control " + std::string(control));
  }
  return found->second;
}

const FakeWindow::State& FakeWindow::At(std::string_view control) const {
  return const_cast<FakeWindow*>(this)->At(control);
}

void FakeWindow::Build(const Form& form, FormEvents& events) {
  if (built_) throw std::logic_error("FakeWindow: built twice");
  form_ = form;
  events_ = &events;
  built_ = true;
  std::vector<const Control*> focusable;
  for (const Control& control : form.controls) {
    controls_[control.name] = State{control.kind, control.text, true, {}};
    if (control.kind != ControlKind::kLabel) focusable.push_back(&control);
  }
  const auto first = std::min_element(
      focusable.begin(), focusable.end(),
      [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
  if (first != focusable.end()) focus_ = (*first)->name;
}

void FakeWindow::Click(std::string_view control) {
  const State& state = At(control);
  if (state.kind != ControlKind::kButton) throw std::logic_error("FakeWindow: not a button");
  if (!IsOpen() || !state.enabled) return;
  focus_ = std::string(control);
  events_->OnClick(control);
}

void FakeWindow::Type(std::string_view control, std::string_view text) {
  State& state = At(control);
  if (state.kind != ControlKind::kTextBox) throw std::logic_error("FakeWindow: not a text box");
  if (!IsOpen() || !state.enabled) return;
  state.text = std::string(text);
}

void FakeWindow::PressClose() {
  if (IsOpen() && events_->OnClose()) closed_ = true;
}

void FakeWindow::Drop(std::string_view control, const std::vector<std::string>& paths) {
  if (!control.empty() && !At(control).enabled) return;
  if (IsOpen()) events_->OnDrop(control, paths);
}

bool FakeWindow::IsEnabled(std::string_view control) const { return At(control).enabled; }

const std::vector<std::string>& FakeWindow::TextsSet(std::string_view control) const {
  return At(control).texts_set;
}

int FakeWindow::Run() {
  while (IsOpen() && !quit_status_) {
    if (posted_.empty()) throw std::logic_error("FakeWindow: Run has nothing left to do");
    const std::function<void()> act = std::move(posted_.front());
    posted_.pop_front();
    act();
  }
  return quit_status_.value_or(0);
}

void FakeWindow::Close() { PressClose(); }

std::string FakeWindow::Text(std::string_view control) const { return At(control).text; }

void FakeWindow::SetText(std::string_view control, std::string_view text) {
  State& state = At(control);
  state.text = std::string(text);
  state.texts_set.push_back(state.text);
}

void FakeWindow::Enable(std::string_view control, bool enabled) {
  At(control).enabled = enabled;
  if (!enabled && focus_ == control) focus_.clear();
}

void FakeWindow::Focus(std::string_view control) {
  const State& state = At(control);
  if (state.kind != ControlKind::kLabel && state.enabled) focus_ = std::string(control);
}

void FakeWindow::ProcessPendingEvents() {
  ++processed_;
  // Acts posted by these acts wait for the next round, as new events do.
  std::deque<std::function<void()>> now;
  now.swap(posted_);
  for (const auto& act : now) act();
}

void FakeWindow::Record(Message message) {
  messages.push_back(std::move(message));
  if (on_message) on_message(messages.back());
}

void FakeWindow::ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) {
  Record(Message{icon, std::string(text), std::string(title), false});
}

bool FakeWindow::AskYesNo(std::string_view text, std::string_view title) {
  Record(Message{MessageIcon::kInformation, std::string(text), std::string(title), true});
  if (yes_no_answers.empty()) throw std::logic_error("FakeWindow: no Yes/No answer queued");
  const bool answer = yes_no_answers.front();
  yes_no_answers.pop_front();
  return answer;
}

std::optional<std::string> FakeWindow::ChooseFile(const FileDialogRequest& request) {
  file_requests.push_back(request);
  if (file_answers.empty()) throw std::logic_error("FakeWindow: no file answer queued");
  std::optional<std::string> answer = std::move(file_answers.front());
  file_answers.pop_front();
  return answer;
}

}  // namespace platform::window
