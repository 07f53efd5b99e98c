#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dialogs/dialogs.h"

namespace platform::dialogs {

// Dialogs that answer from queues the test fills, and record what was
// asked. A question with no answer queued fails the test loudly
// (std::logic_error) instead of blocking.
class FakeDialogs : public Dialogs {
 public:
  struct FileRequest {
    FileDialogKind kind;
    std::string filter;
    std::string file_name;
  };
  struct Message {
    std::string text;
    std::string title;
    bool yes_no;  // false: information with OK
  };

  // nullopt answers as a cancel.
  std::deque<std::optional<std::string>> file_answers;
  std::deque<bool> yes_no_answers;
  // Runs while a message box would be on screen (a test's look at the
  // window behind it).
  std::function<void(const Message&)> on_message;

  std::vector<FileRequest> file_requests;
  std::vector<Message> messages;

  std::optional<std::string> ChooseFile(FileDialogKind kind, std::string_view filter,
                                        std::string_view file_name) override {
    file_requests.push_back({kind, std::string(filter), std::string(file_name)});
    if (file_answers.empty()) throw std::logic_error("FakeDialogs: no file answer queued");
    std::optional<std::string> answer = file_answers.front();
    file_answers.pop_front();
    return answer;
  }

  void ShowInformation(std::string_view text, std::string_view title) override {
    Record(Message{std::string(text), std::string(title), false});
  }

  bool AskYesNo(std::string_view text, std::string_view title) override {
    Record(Message{std::string(text), std::string(title), true});
    if (yes_no_answers.empty()) throw std::logic_error("FakeDialogs: no Yes/No answer queued");
    const bool answer = yes_no_answers.front();
    yes_no_answers.pop_front();
    return answer;
  }

 private:
  void Record(Message message) {
    messages.push_back(message);
    if (on_message) on_message(messages.back());
  }
};

}  // namespace platform::dialogs
