// The palette settings window: sixteen colour panels, the presets, the
// brightness steps, a preview of the machine's screen and Apply, over the
// toolkit-free TPaletteDialog.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFrame>
#include <array>
#include <functional>
#include <optional>

#include "shell/palette_dialog.h"

class QComboBox;
class QLabel;
class QPushButton;

// One colour panel; a click asks for its colour.
class TColorPanel final : public QFrame {
  Q_OBJECT
 public:
  explicit TColorPanel(int index, QWidget* parent);
  void SetColor(TPanelColor color);
 signals:
  void Clicked(int index);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int index_;
};

class TPaletteForm final : public QDialog {
  Q_OBJECT

 public:
  // Asks the user for a colour starting at the given one; empty on Cancel.
  using ColorPicker = std::function<std::optional<QColor>(QWidget* parent, QColor initial)>;

  explicit TPaletteForm(TZXHardware& machine, QWidget* parent = nullptr);

  // The menu command: fills the window from the machine and shows it.
  void ShowPaletteForm();
  // Tests answer the colour dialog themselves.
  void SetColorPicker(ColorPicker picker) { pick_color_ = std::move(picker); }

  const TPaletteDialog& Dialog() const { return dialog_; }

  QLabel* Label2 = nullptr;
  QComboBox* PresetCombo = nullptr;
  QLabel* Label3 = nullptr;
  QPushButton* ButtonMinusBR = nullptr;
  QPushButton* ButtonPlusBR = nullptr;
  QPushButton* ButtonRefresh = nullptr;
  QLabel* Label1 = nullptr;
  QFrame* PanelPreview = nullptr;
  QLabel* PaintPreview = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonOK = nullptr;
  std::array<TColorPanel*, 16> ColorPanels{};

  void CompColorClick(int index);
  void PresetComboChange(int index);
  void ButtonMinusBRClick();
  void ButtonPlusBRClick();
  void ButtonRefreshClick();
  void ButtonOKClick();
  void ButtonCancelClick();

 private:
  void DrawPreview();
  void ShowState();

  TZXHardware& machine_;
  TPaletteDialog dialog_;
  ColorPicker pick_color_;
};
