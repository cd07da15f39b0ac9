// The Spectrum memory settings window: the model, the ROM set, the slot's
// ROM file with Browse and page stepping, Apply and Reload ROM's, over the
// toolkit-free TMemorySetDialog.
#pragma once

#include <QDialog>
#include <memory>

#include "shell/file_dialogs.h"
#include "shell/memory_set_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TMemorySetForm final : public QDialog {
  Q_OBJECT

 public:
  // files: where the open-file dialog is shown (the toolkit's own when null).
  explicit TMemorySetForm(TZXHardware& machine, QWidget* parent = nullptr, IFileDialogs* files = nullptr);
  ~TMemorySetForm() override;

  // The menu command: shows the window (FormShow fills it).
  void ShowMemorySetForm();

  const TMemorySetDialog& Dialog() const { return dialog_; }

  QLabel *L1 = nullptr, *L2 = nullptr, *L3 = nullptr, *L4 = nullptr;
  QComboBox* ModelCombo = nullptr;
  QComboBox* ComboPresetROM = nullptr;
  QComboBox* ComboROM = nullptr;
  QPushButton* ButtonBrowse = nullptr;
  QLineEdit* EditFileROM = nullptr;
  QPushButton* ButtonDXUP = nullptr;  // "--"
  QPushButton* ButtonDXDN = nullptr;  // "+"
  QPushButton* ButtonReloadROMS = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonOK = nullptr;

  void FormShow();
  void ModelComboChange(int index);
  void ComboROMChange(int index);
  void ComboPresetROMChange(int index);
  void ButtonBrowseClick();
  void ButtonDXDNClick();
  void ButtonDXUPClick();
  void ButtonOKClick();
  void ButtonReloadROMSClick();
  void ButtonCancelClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowState();

  TZXHardware& machine_;
  TMemorySetDialog dialog_;
  std::unique_ptr<IFileDialogs> own_files_;
  IFileDialogs* files_;
  TFileDialog open_rom_;
};
