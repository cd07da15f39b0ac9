#include "shell/qt/palette_form.h"

#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "shell/qt/dialog_window.h"

namespace {

QColor ToQColor(TPanelColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }
TPanelColor FromQColor(const QColor& c) {
  return TPanelColor(c.red()) | (TPanelColor(c.green()) << 8) | (TPanelColor(c.blue()) << 16);
}

std::optional<QColor> AskColor(QWidget* parent, QColor initial) {
  QColorDialog dialog(initial, parent);
  // The "Normal" colours are offered as the custom ones.
  for (int i = 0; i < 16; ++i)
    QColorDialog::setCustomColor(i, QColor::fromRgb(PalettePresets[0].Rgb[size_t(i)]));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedColor();
}

}  // namespace

TColorPanel::TColorPanel(int index, QWidget* parent) : QFrame(parent), index_(index) {
  setObjectName(QString("Color%1").arg(index));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAutoFillBackground(true);
  setGeometry((index % 8) * 24 + 9, index < 8 ? 16 : 41, 23, 24);
  SetColor(0);
}

void TColorPanel::SetColor(TPanelColor color) {
  QPalette p = palette();
  p.setColor(QPalette::Window, ToQColor(color));
  setPalette(p);
}

void TColorPanel::mousePressEvent(QMouseEvent* event) {
  QFrame::mousePressEvent(event);
  emit Clicked(index_);
}

TPaletteForm::TPaletteForm(TZXHardware& machine, QWidget* parent)
    : QDialog(parent), machine_(machine), pick_color_(AskColor) {
  setObjectName("PaletteForm");
  setWindowTitle("Palette settings");
  dialog_window::MakeToolWindow(*this, 270, 360);

  for (int i = 0; i < 16; ++i) {
    ColorPanels[size_t(i)] = new TColorPanel(i, this);
    connect(ColorPanels[size_t(i)], &TColorPanel::Clicked, this, [this](int index) { CompColorClick(index); });
  }

  Label2 = new QLabel("Presettings:", this);
  dialog_window::SetBold(*Label2);
  Label2->setGeometry(8, 72, 254, 16);
  PresetCombo = new QComboBox(this);
  dialog_window::SetBold(*PresetCombo);
  PresetCombo->setGeometry(8, 88, 254, 22);
  for (int i = 0; i < TPaletteDialog::kPresetItems; ++i) PresetCombo->addItem(TPaletteDialog::PresetItem(i));

  Label3 = new QLabel("Brightness", this);
  Label3->setGeometry(8, 120, 70, 16);
  ButtonMinusBR = new QPushButton("--", this);
  ButtonPlusBR = new QPushButton("+", this);
  dialog_window::SetBold(*ButtonMinusBR);
  dialog_window::SetBold(*ButtonPlusBR);
  ButtonMinusBR->setGeometry(80, 116, 28, 24);
  ButtonPlusBR->setGeometry(112, 116, 28, 24);
  ButtonRefresh = new QPushButton("Refresh", this);
  ButtonRefresh->setGeometry(187, 116, 75, 24);

  Label1 = new QLabel("Preview:", this);
  Label1->setGeometry(8, 144, 254, 16);
  PanelPreview = new QFrame(this);
  PanelPreview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelPreview->setLineWidth(2);
  PanelPreview->setGeometry(8, 160, 254, 160);
  PaintPreview = new QLabel(PanelPreview);
  PaintPreview->setScaledContents(true);
  // The picture keeps its 4:3 shape, as tall as the panel and centred in it.
  const int previewHeight = 156;
  const int previewWidth = previewHeight * TPaletteDialog::kPreviewWidth / TPaletteDialog::kPreviewHeight;
  PaintPreview->setGeometry(2 + (250 - previewWidth) / 2, 2, previewWidth, previewHeight);

  ButtonCancel = new QPushButton("Cancel", this);
  ButtonCancel->setGeometry(106, 328, 75, 25);
  ButtonOK = new QPushButton("Apply", this);
  ButtonOK->setGeometry(187, 328, 75, 25);

  connect(PresetCombo, &QComboBox::activated, this, [this](int i) { PresetComboChange(i); });
  connect(ButtonMinusBR, &QPushButton::clicked, this, [this] { ButtonMinusBRClick(); });
  connect(ButtonPlusBR, &QPushButton::clicked, this, [this] { ButtonPlusBRClick(); });
  connect(ButtonRefresh, &QPushButton::clicked, this, [this] { ButtonRefreshClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
}

void TPaletteForm::ShowPaletteForm() {
  dialog_.Open(machine_);
  dialog_.SetScreen(CopyScreen(machine_).data());
  ShowState();
  DrawPreview();
  dialog_window::CentreOnDesktop(*this);
  dialog_window::ShowInFront(*this);
}

void TPaletteForm::ShowState() {
  for (size_t i = 0; i < 16; ++i) ColorPanels[i]->SetColor(dialog_.Colors()[i]);
  PresetCombo->setCurrentIndex(dialog_.PresetIndex());
  ButtonOK->setEnabled(dialog_.ApplyEnabled());
}

void TPaletteForm::DrawPreview() {
  const std::vector<uint32_t> pixels = dialog_.DrawPreview();
  const QImage image(reinterpret_cast<const uchar*>(pixels.data()), TPaletteDialog::kPreviewWidth,
                     TPaletteDialog::kPreviewHeight, QImage::Format_RGB32);
  // The pixmap may share the image's buffer, so it gets an image that owns
  // its pixels.
  PaintPreview->setPixmap(QPixmap::fromImage(image.copy()));
}

void TPaletteForm::CompColorClick(int index) {
  const auto chosen = pick_color_(this, ToQColor(dialog_.Colors()[size_t(index)]));
  if (!chosen) return;
  dialog_.SetColor(index, FromQColor(*chosen));
  ShowState();
  DrawPreview();
}

void TPaletteForm::PresetComboChange(int index) {
  if (index < 1) return;
  dialog_.ChoosePreset(index);
  ShowState();
  DrawPreview();
}

void TPaletteForm::ButtonMinusBRClick() {
  dialog_.Darker();
  ShowState();
  DrawPreview();
}

void TPaletteForm::ButtonPlusBRClick() {
  dialog_.Brighter();
  ShowState();
  DrawPreview();
}

void TPaletteForm::ButtonRefreshClick() {
  dialog_.SetScreen(CopyScreen(machine_).data());
  DrawPreview();
}

void TPaletteForm::ButtonOKClick() {
  dialog_.Apply(machine_);
  ShowState();
}

void TPaletteForm::ButtonCancelClick() { hide(); }
