#include "z80/debugger/qt/custom_viewer_cpu.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

TCustomViewerCPU::TCustomViewerCPU(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setBackgroundRole(QPalette::Base);
  setForegroundRole(QPalette::Text);
  resize(200, 100);
}

void TCustomViewerCPU::SetBorderStyle(TBorderStyle Value) {
  if (Value != borderStyle_) {
    borderStyle_ = Value;
    StringsBuilt = false;
  }
  Invalidate();
}

void TCustomViewerCPU::Invalidate() {
  if (isVisible() && parentWidget()) update();
}

QColor TCustomViewerCPU::SelectionText(bool focused) {
  return focused ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC0, 0xC0, 0xC0);
}

QColor TCustomViewerCPU::SelectionBackground(bool focused) {
  return focused ? QColor(0x00, 0x00, 0x80) : QColor(0x80, 0x80, 0x80);
}

QColor TCustomViewerCPU::ControlColor() const { return palette().color(backgroundRole()); }
QColor TCustomViewerCPU::FontColor() const { return palette().color(foregroundRole()); }

QImage& TCustomViewerCPU::BeginPicture() {
  const QSize size(std::max(1, ClientWidth() - 1), std::max(1, ClientHeight()));
  if (picture_.size() != size) picture_ = QImage(size, QImage::Format_RGB32);
  picture_.fill(ControlColor());
  return picture_;
}

void TCustomViewerCPU::Present() {
  if (!inPaint_) update();
}

void TCustomViewerCPU::TextOut(QPainter& p, int x, int y, const QString& text) {
  p.drawText(x, y + p.fontMetrics().ascent(), text);
}

void TCustomViewerCPU::DottedFrame(QImage& image, int top, int height) {
  const QRgb yellow = qRgb(0xFF, 0xFF, 0x00), black = qRgb(0, 0, 0);
  auto dot = [&](int x, int y, int parity) {
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height())
      image.setPixel(x, y, parity & 1 ? yellow : black);
  };
  for (int x = 0; x < image.width(); ++x) {
    dot(x, top, x);
    dot(x, top + height - 1, x);
  }
  for (int y = top; y < top + height; ++y) dot(0, y, y);
}

bool TCustomViewerCPU::TakeDoubleClick() {
  const bool d = doubleClicked_;
  doubleClicked_ = false;
  return d;
}

QPoint TCustomViewerCPU::ClientPos(const QMouseEvent* e) const {
  return e->position().toPoint() - QPoint(FrameWidth(), FrameWidth());
}

void TCustomViewerCPU::Paint() {
  if (StringsBuilt && builtFont_ == font())
    DrawLines();
  else
    BuildStrs();
}

void TCustomViewerCPU::paintEvent(QPaintEvent*) {
  inPaint_ = true;
  Paint();
  inPaint_ = false;
  QPainter p(this);
  const int b = FrameWidth();
  if (b) {
    QStyleOptionFrame opt;
    opt.initFrom(this);
    opt.lineWidth = b;
    opt.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
  }
  p.setPen(Qt::black);
  p.drawLine(b, b, b + ClientWidth() - 1, b);
  p.drawLine(b, b, b, b + ClientHeight() - 1);
  p.setClipRect(b, b, ClientWidth(), ClientHeight());
  p.drawImage(b + 1, b + 1, picture_);
}

void TCustomViewerCPU::resizeEvent(QResizeEvent* e) {
  StringsBuilt = false;
  QWidget::resizeEvent(e);
}

void TCustomViewerCPU::focusInEvent(QFocusEvent* e) {
  update();
  QWidget::focusInEvent(e);
}

void TCustomViewerCPU::focusOutEvent(QFocusEvent* e) {
  update();
  QWidget::focusOutEvent(e);
}

void TCustomViewerCPU::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(e);
}

void TCustomViewerCPU::mousePressEvent(QMouseEvent* e) {
  focusedBeforePress_ = hasFocus();
  if (!focusedBeforePress_ && focusPolicy() != Qt::NoFocus && isEnabled())
    setFocus(Qt::MouseFocusReason);
  MouseDown(e);
}

void TCustomViewerCPU::mouseMoveEvent(QMouseEvent* e) { MouseMove(e); }

void TCustomViewerCPU::mouseReleaseEvent(QMouseEvent* e) {
  MouseUp(e);
  // Whatever the viewer did with it, a double click lasts one release.
  if (e->button() == Qt::LeftButton) doubleClicked_ = false;
}

void TCustomViewerCPU::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) doubleClicked_ = true;
}

void TCustomViewerCPU::keyPressEvent(QKeyEvent* e) {
  KeyDown(e->key());
  QWidget::keyPressEvent(e);
}
