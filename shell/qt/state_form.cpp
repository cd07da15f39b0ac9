#include "shell/qt/state_form.h"

#include <QGridLayout>
#include <QMouseEvent>

TStateBox::TStateBox(QWidget* parent) : QLabel(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setAutoFillBackground(true);
  setAlignment(Qt::AlignCenter);
  SetColour(TBoxColour::ButtonFace);
}

void TStateBox::SetColour(TBoxColour colour) {
  QPalette p = palette();
  switch (colour) {
    case TBoxColour::ButtonFace: p.setColor(QPalette::Window, p.color(QPalette::Button)); break;
    case TBoxColour::Red: p.setColor(QPalette::Window, QColor(255, 0, 0)); break;
    case TBoxColour::Green: p.setColor(QPalette::Window, QColor(0, 128, 0)); break;
  }
  setPalette(p);
}

void TStateBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mousePressEvent(event);
}

TStateForm::TStateForm(TZXHardware& machine, const char* caption, int clientWidth,
                       int clientHeight, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      machine_(machine) {
  setWindowTitle(QString::fromUtf8(caption));
  setFixedSize(clientWidth, clientHeight);
  // The small dialog font these fixed client areas were laid out for.
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  TimerUpdate.setInterval(kRefreshMs);
  connect(&TimerUpdate, &QTimer::timeout, this, [this] { TimerUpdateTimer(); });
}

void TStateForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!watching_) {
    machine_.StateSlot.Watch();
    watching_ = true;
  }
  TimerUpdate.start();
}

void TStateForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  StopWatching();
}

void TStateForm::StopWatching() {
  TimerUpdate.stop();
  if (watching_) machine_.StateSlot.Unwatch();
  watching_ = false;
}

TStateBox* TStateForm::AddBox(QGridLayout* grid, int row, int column, const char* caption,
                              const char* name) {
  auto* label = new QLabel(QString::fromUtf8(caption), this);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* box = new TStateBox(this);
  box->setObjectName(QString::fromUtf8(name));
  grid->addWidget(label, row, column);
  grid->addWidget(box, row, column + 1);
  return box;
}
