// A recording dialogs backend that also answers input queries and save-file
// dialogs from a script: each answer is a text (OK with it) or nothing
// (Cancel). An unscripted query is cancelled.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/recording_dialogs.h"

namespace testing_support {

class ScriptedDialogs : public RecordingDialogs {
 public:
  struct Query {
    std::string caption;
    std::string prompt;
    std::string shown;  // the text the query was opened with
  };

  void Answer(std::initializer_list<std::optional<std::string>> answers) {
    answers_.insert(answers_.end(), answers);
  }
  bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text) override {
    queries.push_back({std::string(caption), std::string(prompt), text});
    return Take(text);
  }
  bool SaveFileName(const platform::SaveFileRequest& request, std::string& fileName) override {
    queries.push_back({request.Title, "", fileName});
    return Take(fileName);
  }
  size_t Unanswered() const { return answers_.size(); }
  void Reset() {
    queries.clear();
    answers_.clear();
    Clear();
  }

  std::vector<Query> queries;

 private:
  bool Take(std::string& text) {
    if (answers_.empty()) return false;
    const std::optional<std::string> a = answers_.front();
    answers_.pop_front();
    if (!a) return false;
    text = *a;
    return true;
  }
  std::deque<std::optional<std::string>> answers_;
};

}  // namespace testing_support
