// A dialogs backend for tests: records every message and answers from a
// script (or with a default answer once the script is used up).
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace testing_support {

struct RecordedMessage {
  std::string caption;
  std::string text;
  platform::MsgButtons buttons;
  platform::MsgIcon icon;
  platform::MsgResult default_button;  // what Enter would answer
};

class RecordingDialogs : public platform::Dialogs {
 public:
  platform::MsgResult Message(std::string_view caption, std::string_view text,
                              platform::MsgButtons buttons, platform::MsgIcon icon,
                              platform::MsgResult defaultButton) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({std::string(caption), std::string(text), buttons, icon, defaultButton});
    if (!answers_.empty()) {
      auto a = answers_.front();
      answers_.pop_front();
      return a;
    }
    return default_answer_;
  }
  void Script(std::initializer_list<platform::MsgResult> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.insert(answers_.end(), answers);
  }
  void SetDefaultAnswer(platform::MsgResult a) { default_answer_ = a; }
  std::vector<RecordedMessage> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  std::deque<platform::MsgResult> answers_;
  platform::MsgResult default_answer_ = platform::MsgResult::Ok;
};

// Installs a RecordingDialogs for the lifetime of the guard through the
// given setter (platform::SetDialogs for the program's modules).
template <typename Setter>
class ScopedDialogs {
 public:
  explicit ScopedDialogs(Setter set) : set_(set) { previous_ = set_(&dialogs); }
  ~ScopedDialogs() { set_(previous_); }
  RecordingDialogs dialogs;

 private:
  Setter set_;
  platform::Dialogs* previous_ = nullptr;
};

}  // namespace testing_support
