// A recording dialogs backend that also answers input queries and save-file
// dialogs from a script: a text is OK with that text, nothing is Cancel, and
// so is a query left unscripted.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/recording_dialogs.h"

namespace testing_support {

class ScriptedDialogs : public RecordingDialogs {
 public:
  struct Query {
    std::string caption;
    std::string shown;  // the text the query opened with
    // A save-file dialog's filters as (label, pattern); none for a query.
    std::vector<std::pair<std::string, std::string>> filters = {};
  };
  std::vector<Query> queries;

  void Answer(std::initializer_list<std::optional<std::string>> answers) {
    answers_.insert(answers_.end(), answers);
  }
  bool InputQuery(std::string_view caption, std::string_view, std::string& text) override {
    return Take(std::string(caption), text);
  }
  bool SaveFileName(const platform::SaveFileRequest& request, std::string& fileName) override {
    return Take(request.Title, fileName, request.Filters);
  }
  size_t Unanswered() const { return answers_.size(); }
  void Reset() {
    queries.clear();
    answers_.clear();
    Clear();
  }

 private:
  bool Take(std::string caption, std::string& text,
            std::vector<std::pair<std::string, std::string>> filters = {}) {
    queries.push_back({std::move(caption), text, std::move(filters)});
    if (answers_.empty() || !answers_.front()) {
      if (!answers_.empty()) answers_.pop_front();
      return false;
    }
    text = *answers_.front();
    answers_.pop_front();
    return true;
  }
  std::deque<std::optional<std::string>> answers_;
};

}  // namespace testing_support
