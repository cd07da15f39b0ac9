// Helpers for the state window tests: a machine without the sound plug-in
// and a dialogs backend that answers input queries from a script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "machine/machine_test_util.h"
#include "support/recording_dialogs.h"

namespace state_test {

using machine_test::MakeMachine;

struct Query {
  std::string caption, prompt, proposed;
};

// Each input query takes the next scripted entry (nullopt: Cancel); with the
// script used up, it cancels.
class ScriptedInput : public testing_support::RecordingDialogs {
 public:
  bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text) override {
    queries.push_back({std::string(caption), std::string(prompt), text});
    if (entries.empty()) return false;
    const std::optional<std::string> entry = entries.front();
    entries.pop_front();
    if (!entry) return false;
    text = *entry;
    return true;
  }
  std::deque<std::optional<std::string>> entries;
  std::vector<Query> queries;
};

}  // namespace state_test
