// The file dialogs on Qt: the toolkit's own (non-native) QFileDialog, one
// per description and kept alive between showings, with a read-only check
// box of ours where the description offers one.
#pragma once

#include <map>
#include <memory>

#include "shell/file_dialogs.h"
#include "shell/open_file.h"

class QCheckBox;
class QFileDialog;
class QWidget;
class TZXHardware;

class TQtFileDialogs final : public IFileDialogs {
 public:
  explicit TQtFileDialogs(QWidget* parent = nullptr);
  ~TQtFileDialogs() override;

  bool Execute(TFileDialog& dialog) override;

  // The Qt dialog that shows this description, set up as Execute would show
  // it (built on first use).
  QFileDialog& Prepare(TFileDialog& dialog);
  // Its read-only check box.
  QCheckBox& ReadOnlyBox(const TFileDialog& dialog);

 private:
  class Dialog;
  QWidget* parent_;
  std::map<const TFileDialog*, std::unique_ptr<Dialog>> dialogs_;
};

// The main window's file handling: its machine behind IFileMachine, the Qt
// dialogs and the File menu's commands.
struct TShellFiles {
  TShellFiles(TZXHardware& machine, QWidget* parent, TScreenModeHooks screen);
  TMachineFiles Machine;
  TQtFileDialogs Dialogs;
  TFileCommands Commands;
};
