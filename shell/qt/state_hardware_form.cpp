#include "shell/qt/state_hardware_form.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>

namespace {
constexpr const char* kLatchBoxNames[kLatchCount] = {"Label7FFD", "LabelDFFD", "Label1FFD",
                                                     "LabelFDFD"};

constexpr int kMargin = 4, kMapSpacing = 1;

// The widest text a memory-map box shows: a two-digit page on the 512K and
// 1024K models.
constexpr const char* kWidestMapText = "RAM seg63";

// The four map boxes share one row of the fixed window, so their font is
// made small enough for the widest text to fit a quarter of the row.
QFont MapFont(const QFont& windowFont, int boxWidth, int frame) {
  QFont font = windowFont;
  const int room = boxWidth - 2 * frame - 2;
  for (qreal size = font.pointSizeF(); size > 4; size -= 0.5) {
    font.setPointSizeF(size);
    if (QFontMetrics(font).horizontalAdvance(kWidestMapText) <= room) break;
  }
  return font;
}
}  // namespace

TFormStateHardware::TFormStateHardware(TZXHardware& machine, QWidget* parent)
    : TStateForm(machine, "Hardware state", 228, 244, parent), monitor_(machine) {
  setObjectName("FormStateHardware");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  grid->setVerticalSpacing(2);
  int row = 0;
  for (int l = 0; l < kLatchCount; ++l) {
    const auto latch = static_cast<TLatch>(l);
    latchBoxes_[l] = AddBox(grid, row++, 0, kLatchInputs[l].label, kLatchBoxNames[l]);
    connect(latchBoxes_[l], &TStateBox::clicked, this, [this, latch] { LatchClick(latch); });
  }
  LabelPage = AddBox(grid, row++, 0, "Page:", "LabelPage");
  LabelSCR = AddBox(grid, row++, 0, "Screen:", "LabelSCR");
  LabelROM = AddBox(grid, row++, 0, "ROM:", "LabelROM");
  LabelTaktFrame = AddBox(grid, row++, 0, "Frame tick:", "LabelTaktFrame");
  LabelTaktGlobal = AddBox(grid, row++, 0, "Tick:", "LabelTaktGlobal");
  auto* mapCaption = new QLabel("Memory map:", this);
  grid->addWidget(mapCaption, row++, 0, 1, 2);
  auto* mapRow = new QHBoxLayout;
  mapRow->setSpacing(kMapSpacing);
  const int mapBoxWidth = (width() - 2 * kMargin - 3 * kMapSpacing) / 4;
  for (int w = 0; w < 4; ++w) {
    LabelMap[w] = new TStateBox(this);
    // Four equal quarters, whatever each one shows.
    LabelMap[w]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LabelMap[w]->setMinimumWidth(0);
    LabelMap[w]->setIndent(0);
    LabelMap[w]->setFont(MapFont(font(), mapBoxWidth, LabelMap[w]->frameWidth()));
    LabelMap[w]->setObjectName(QString("LabelMap%1").arg(w));
    mapRow->addWidget(LabelMap[w]);
    connect(LabelMap[w], &TStateBox::clicked, this, &TFormStateHardware::LabelTaktGlobalClick);
  }
  grid->addLayout(mapRow, row++, 0, 1, 2);

  connect(LabelTaktFrame, &TStateBox::clicked, this, &TFormStateHardware::LabelTaktFrameClick);
  connect(LabelTaktGlobal, &TStateBox::clicked, this, &TFormStateHardware::LabelTaktGlobalClick);
  connect(LabelSCR, &TStateBox::clicked, this, &TFormStateHardware::LabelTaktGlobalClick);
}

void TFormStateHardware::TimerUpdateTimer() {
  if (monitor_.Refresh()) ShowTexts();
}

void TFormStateHardware::ShowTexts() {
  const THardwareStateTexts& t = monitor_.Texts();
  for (int l = 0; l < kLatchCount; ++l) {
    latchBoxes_[l]->setText(QString::fromStdString(t.Latches[l]));
    latchBoxes_[l]->SetColour(t.LatchColours[l]);
  }
  LabelPage->setText(QString::fromStdString(t.Page));
  LabelROM->setText(QString::fromStdString(t.Rom));
  LabelTaktFrame->setText(QString::fromStdString(t.FrameTick));
  LabelSCR->setText(QString::fromStdString(t.Screen));
  LabelTaktGlobal->setText(QString::fromStdString(t.Tick));
  for (int w = 0; w < 4; ++w)
    if (t.Map[w]) LabelMap[w]->setText(QString::fromStdString(*t.Map[w]));
}

void TFormStateHardware::LabelTaktFrameClick() { monitor_.InputFrameTick(); }

void TFormStateHardware::LabelTaktGlobalClick() {
  monitor_.ResetTick();
  LabelTaktGlobal->setText(QString::fromStdString(monitor_.Texts().Tick));
}

void TFormStateHardware::LatchClick(TLatch latch) { monitor_.InputLatch(latch); }
