#include "shell/qt/state_vg93_form.h"

#include <QGridLayout>
#include <QVBoxLayout>

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
  // The drive column stands beside the first registers only, so the long
  // captions further down get the whole width.
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(4, 4, 4, 4);
  rows->setSpacing(2);
  auto* top = new QGridLayout;
  auto* bottom = new QGridLayout;
  for (QGridLayout* grid : {top, bottom}) {
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(3);
    rows->addLayout(grid);
  }
  rows->addStretch(1);
  top->addWidget(Title(this, "1818VG93"), 0, 0, 1, 2);
  top->addWidget(Title(this, "Drive"), 0, 2, 1, 2);
  const int driveRows = kFloppyBoxes - kFloppyLeftColumn;
  for (int i = 0; i < kFloppyBoxes; ++i) {
    if (i >= kFloppyLeftColumn)
      boxes_[i] = AddBox(top, 1 + i - kFloppyLeftColumn, 2, kFloppyCaptions[i], kBoxNames[i]);
    else if (i < driveRows)
      boxes_[i] = AddBox(top, 1 + i, 0, kFloppyCaptions[i], kBoxNames[i]);
    else
      boxes_[i] = AddBox(bottom, i - driveRows, 0, kFloppyCaptions[i], kBoxNames[i]);
  }
}

void TFormStateVG93::TimerUpdateTimer() {
  TFloppyStateTexts texts;
  if (!ReadFloppyStateTexts(machine_, texts)) return;
  for (int i = 0; i < kFloppyBoxes; ++i) boxes_[i]->setText(QString::fromStdString(texts.Texts[i]));
  boxes_[kFloppyFlyByte]->SetColour(texts.FlyByteColour);
}
