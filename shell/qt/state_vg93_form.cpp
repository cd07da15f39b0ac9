#include "shell/qt/state_vg93_form.h"

#include <QGridLayout>

#include "shell/state_monitors.h"

namespace {

constexpr const char* kBoxNames[kFloppyBoxes] = {
    "LabelRCOM",    "LabelRSTATUS", "LabelRTRK",    "LabelRSECT",
    "LabelRDATA",   "LabelRTRDOS",  "LabelWTRDOS",  "LabelVGTimer",
    "LabelDiskAngle", "LabelFlyByte", "LabelHeadPos", "LabelDebug",
    "LabelTransferBlockSize", "LabelDrive", "LabelSide", "LabelCylinder",
    "LabelModeFM",  "LabelMotor"};

QLabel* Title(QWidget* parent, const char* text) {
  auto* title = new QLabel(text, parent);
  QFont font = title->font();
  font.setBold(true);
  title->setFont(font);
  title->setAlignment(Qt::AlignCenter);
  return title;
}

}  // namespace

TFormStateVG93::TFormStateVG93(TZXHardware& machine, QWidget* parent)
    : TStateForm(machine, "KR1818VG93 state", 210, 350, parent) {
  setObjectName("FormStateVG93");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setVerticalSpacing(2);
  grid->setHorizontalSpacing(3);
  grid->addWidget(Title(this, "1818VG93"), 0, 0, 1, 2);
  grid->addWidget(Title(this, "Drive"), 0, 2, 1, 2);
  for (int i = 0; i < kFloppyBoxes; ++i) {
    const bool left = i < kFloppyLeftColumn;
    const int row = 1 + (left ? i : i - kFloppyLeftColumn);
    boxes_[i] = AddBox(grid, row, left ? 0 : 2, kFloppyCaptions[i], kBoxNames[i]);
  }
  grid->setRowStretch(1 + kFloppyLeftColumn, 1);
}

void TFormStateVG93::TimerUpdateTimer() {
  TFloppyStateTexts texts;
  if (!ReadFloppyStateTexts(machine_, texts)) return;
  for (int i = 0; i < kFloppyBoxes; ++i) boxes_[i]->setText(QString::fromStdString(texts.Texts[i]));
  boxes_[kFloppyFlyByte]->SetColour(texts.FlyByteColour);
}
