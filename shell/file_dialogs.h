// The main window's file dialogs as plain descriptions, the rules that go
// with them (several files at once, the disk dialog's default extension) and
// the seam through which they are shown: a Qt backend in the program,
// scripted answers in tests. A description lives as long as the window, so
// the chosen filter, the names and the read-only box carry over from one
// showing to the next.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/file_extensions.h"

// One filter: shown as "Label (pattern pattern ...)". Patterns match names
// case-insensitively; "*" matches every name, with or without a dot.
struct TFileFilter {
  std::string Label;
  std::vector<std::string> Patterns;
  std::string Text() const;
};

struct TFileDialog {
  enum class Kind { Open, Save };
  Kind DialogKind = Kind::Open;
  std::string Title;
  std::vector<TFileFilter> Filters;
  // The chosen filter, counted from 1.
  int FilterIndex = 1;
  // Added, with a dot, to a typed name that has none.
  std::string DefaultExt;
  std::string InitialDir = ".";
  // Before showing: the name to propose. After OK: the first chosen name.
  std::string FileName;
  // After OK: every chosen name in the dialog's order.
  std::vector<std::string> Files;
  bool ShowReadOnly = false;  // the read-only box is offered
  bool ReadOnly = false;      // and its state
  bool AllowMultiple = false;
  bool MustExist = false;
  // Asked before the dialog closes with these names; false keeps it open.
  std::function<bool(const std::vector<std::string>& files)> CanClose;
  // Called after the user picked another filter (FilterIndex already set).
  std::function<void(TFileDialog& dialog)> TypeChange;
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // Shows the dialog; true on OK with Files, FileName, FilterIndex and
  // ReadOnly set. Cancel leaves the names as they were.
  virtual bool Execute(TFileDialog& dialog) = 0;
};

inline constexpr const char* kSeveralFilesMessage =
    "Simultaneously it is possible to open only for HOBETA files (*.$*)!";

// The extension of a name: from the last '.' of its last path component
// (dot included), blanks trimmed, upper-cased; empty when there is none.
using disk::UpperExtension;
// ".$C", ".!B", ".$": a HOBETA file.
bool IsHobetaExtension(std::string_view upperExt);

// The rule for choosing several files: a single file is always accepted;
// several only when every one's extension has '$' as its second character.
// A refusal is reported with kSeveralFilesMessage.
bool AcceptSeveralFiles(const std::vector<std::string>& files);

// The disk dialog's default extension for its filter (counted from 1).
std::string DiskDialogDefaultExt(int filterIndex);

// The five dialogs of the main window.
TFileDialog MakeOpenDiskDialog();
TFileDialog MakeOpenAllDialog();
TFileDialog MakeLoadMemoryDialog();
TFileDialog MakeSaveMemoryDialog();
TFileDialog MakeSaveSnapshotDialog();
