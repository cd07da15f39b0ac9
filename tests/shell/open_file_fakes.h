// Test doubles for the file commands: dialogs that answer input queries from
// a script, file dialogs that answer from a script (and keep "showing" while
// their rule refuses the names), and a machine that records what was asked
// of it.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shell/file_dialogs.h"
#include "shell/open_file.h"
#include "support/recording_dialogs.h"

namespace open_file_test {

// An entry that confirms the text the query shows.
inline const std::string kAsShown = "\x01";

class QueryDialogs : public testing_support::RecordingDialogs {
 public:
  struct Query {
    std::string caption, prompt, shown;
  };
  // nullopt: Cancel.
  std::deque<std::optional<std::string>> entries;
  std::vector<Query> queries;

  bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text) override {
    queries.push_back({std::string(caption), std::string(prompt), text});
    if (entries.empty()) return false;
    const std::optional<std::string> e = entries.front();
    entries.pop_front();
    if (!e) return false;
    if (*e != kAsShown) text = *e;
    return true;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : Messages()) out.push_back(m.text);
    return out;
  }
};

class ScriptedFileDialogs : public IFileDialogs {
 public:
  struct Answer {
    Answer(std::vector<std::string> f, int fi = 0, std::optional<bool> ro = std::nullopt)
        : files(std::move(f)), filter(fi), readOnly(ro) {}
    std::vector<std::string> files;
    int filter = 0;  // 0: as it stands
    std::optional<bool> readOnly;
  };
  struct Showing {
    std::string title, fileName;
    bool readOnly;
    int filter;
  };
  std::deque<std::optional<Answer>> script;  // nullopt: Cancel
  std::vector<Showing> showings;
  int refusals = 0;

  bool Execute(TFileDialog& d) override {
    showings.push_back({d.Title, d.FileName, d.ReadOnly, d.FilterIndex});
    while (!script.empty()) {
      const std::optional<Answer> a = script.front();
      script.pop_front();
      if (!a) return false;
      if (a->filter) {
        d.FilterIndex = a->filter;
        if (d.TypeChange) d.TypeChange(d);
      }
      if (a->readOnly) d.ReadOnly = *a->readOnly;
      // A refused choice keeps the dialog open for the next answer.
      if (d.CanClose && !d.CanClose(a->files)) {
        ++refusals;
        continue;
      }
      d.Files = a->files;
      d.FileName = a->files.empty() ? std::string() : a->files.front();
      return true;
    }
    return false;
  }
};

class RecordingMachine : public IFileMachine {
 public:
  bool running = false;
  std::vector<std::string> log;

  bool IsCpuRunning() override { return running; }
  void StopCpu() override {
    log.push_back("stop");
    running = false;
  }
  void StartCpu() override {
    log.push_back("start");
    running = true;
  }
  bool OpenTapeFile(const std::string& name) override { return Log("tape " + name); }
  bool LoadSnapshot(const std::string& name) override { return Log("snapshot " + name); }
  bool SaveSnapshot(const std::string& name, const std::string& ext) override {
    return Log("save " + name + " " + ext);
  }
  void SetDriveWriteProtect(int drive, bool on) override {
    Log("protect " + std::to_string(drive) + (on ? " on" : " off"));
  }
  bool InsertDisk(int drive, const std::string& name) override {
    return Log("insert " + std::to_string(drive) + " " + name);
  }
  std::string DiskFileName(int drive) override { return "current" + std::to_string(drive) + ".trd"; }
  bool DiskWriteProtect(int drive) override { return drive == 1; }
  bool FlushDrive(int drive) override { return Log("flush " + std::to_string(drive)); }
  // The drive whose changes the user keeps when its write-back fails.
  int keptDrive = -1;
  bool FlushDriveOrDiscard(int drive) override {
    Log("flush or discard " + std::to_string(drive));
    return drive != keptDrive;
  }
  void ResetTrdos() override { Log(running ? "reset while running" : "reset"); }
  uint8_t ReadMemory(uint16_t address) override { return static_cast<uint8_t>(address); }
  void PatchMemory(uint16_t, uint8_t) override {}

 private:
  bool Log(std::string s) {
    log.push_back(std::move(s));
    return true;
  }
};

}  // namespace open_file_test
