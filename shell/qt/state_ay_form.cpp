#include "shell/qt/state_ay_form.h"

#include <QFrame>
#include <QGridLayout>

#include "shell/state_monitors.h"

namespace {

constexpr const char* kBoxNames[kAyBoxes] = {
    "LabelR0R1", "LabelR2R3", "LabelR4R5", "LabelR6", "LabelR7", "LabelR8", "LabelR9",
    "LabelRA",   "LabelRBRC", "LabelRD",   "LabelRE", "LabelRF", "LabelCurReg"};

QFrame* Line(QWidget* parent, QFrame::Shape shape) {
  auto* line = new QFrame(parent);
  line->setFrameShape(shape);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

TFormStateAY::TFormStateAY(TZXHardware& machine, QWidget* parent)
    : TStateForm(machine, "AY-3-8910 state", 242, 200, parent) {
  setObjectName("FormStateAY");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setVerticalSpacing(2);
  // R0 to R13 in two columns of five beside a vertical line, then R14 and
  // R15 between two horizontal lines, then the selected register.
  constexpr int kColumnRows = 5;
  for (int i = 0; i < 2 * kColumnRows; ++i) {
    const int column = i < kColumnRows ? 0 : 3;
    const int row = i % kColumnRows;
    boxes_[i] = AddBox(grid, row, column, kAyRegisterBoxes[i].caption, kBoxNames[i]);
  }
  grid->addWidget(Line(this, QFrame::VLine), 0, 2, kColumnRows, 1);
  grid->addWidget(Line(this, QFrame::HLine), kColumnRows, 0, 1, 5);
  boxes_[10] = AddBox(grid, kColumnRows + 1, 0, kAyRegisterBoxes[10].caption, kBoxNames[10]);
  boxes_[11] = AddBox(grid, kColumnRows + 1, 3, kAyRegisterBoxes[11].caption, kBoxNames[11]);
  grid->addWidget(Line(this, QFrame::HLine), kColumnRows + 2, 0, 1, 5);
  auto* active = new QLabel(kAyActiveRegisterCaption, this);
  boxes_[12] = new TStateBox(this);
  boxes_[12]->setObjectName(kBoxNames[12]);
  grid->addWidget(active, kColumnRows + 3, 0, 1, 3, Qt::AlignRight);
  grid->addWidget(boxes_[12], kColumnRows + 3, 3, 1, 2);
}

void TFormStateAY::TimerUpdateTimer() {
  std::array<std::string, kAyBoxes> texts;
  if (!ReadAyStateTexts(machine_, texts)) return;
  for (int i = 0; i < kAyBoxes; ++i) boxes_[i]->setText(QString::fromStdString(texts[i]));
}
