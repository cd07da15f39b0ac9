// The ULA settings window: a grid of the seven timing values, Align M1,
// the presets and Apply, over the toolkit-free TTimingDialog.
#pragma once

#include <QDialog>

#include "shell/timing_dialog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

class TTimingForm final : public QDialog {
  Q_OBJECT

 public:
  explicit TTimingForm(TZXHardware& machine, QWidget* parent = nullptr);

  // The widest text a value cell shows, and the room a cell and its editor
  // take around a text.
  static constexpr const char* kLongestTimingValue = "4294967292";
  static constexpr int kCellMargins = 12;

  // The menu command: fills the window from the machine and shows it.
  void ShowTimingForm();

  const TTimingDialog& Dialog() const { return dialog_; }

  QLabel* Label2 = nullptr;
  QComboBox* PresetCombo = nullptr;
  QTableWidget* ValuesGrid = nullptr;
  QCheckBox* CheckAlignM1 = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonOK = nullptr;

  // Handlers, public so that tests can drive them as the widgets do.
  void ValuesGridSetEditText(int row, const QString& text);
  void CheckAlignM1Click();
  void PresetComboChange(int index);
  void ButtonOKClick();
  void ButtonCancelClick();

 private:
  class CellEditor;
  // Puts the dialog's state into the widgets; `cells` also rewrites the grid.
  void ShowState(bool cells);

  TZXHardware& machine_;
  TTimingDialog dialog_;
  bool filling_ = false;
};
