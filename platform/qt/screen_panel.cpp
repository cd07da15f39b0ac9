#include "platform/qt/screen_panel.h"

#include <QMetaObject>
#include <QPainter>

#include "platform/picture_fit.h"

namespace platform::qt {

namespace {
constexpr int kBevel = 2;  // lowered inner and outer bevel: 2 pixels each side
const QColor kFpsTextColour(255, 255, 0);
}  // namespace

ScreenPanel::ScreenPanel(PictureSlot& slot, QWidget* parent) : QFrame(parent), slot_(&slot) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(kBevel);
  setMidLineWidth(0);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  image_ = QImage(width_, height_, QImage::Format_RGB32);
  image_.fill(Qt::black);
  ApplyFixedSize();
}

void ScreenPanel::PictureReady() {
  QMetaObject::invokeMethod(this, "TakePicture", Qt::QueuedConnection);
}

void ScreenPanel::PictureSizeChanged(int width, int height) {
  QMetaObject::invokeMethod(
      this, [this, width, height] { SetPictureSize(width, height); }, Qt::QueuedConnection);
}

void ScreenPanel::SetPictureSize(int width, int height) {
  last_resize_thread_ = QThread::currentThread();
  width_ = width;
  height_ = height;
  ApplyFixedSize();
  emit PanelResized();
}

void ScreenPanel::SetFullScreen(bool on) {
  full_screen_ = on;
  setFrameStyle(on ? QFrame::NoFrame : (QFrame::Panel | QFrame::Sunken));
  ApplyFixedSize();
  update();
}

void ScreenPanel::ApplyFixedSize() {
  if (full_screen_) {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    setFixedSize(width_ + 2 * kBevel, height_ + 2 * kBevel);
  }
}

void ScreenPanel::TakePicture() {
  if (!slot_->Take(incoming_)) return;
  ++taken_;
  // A still picture (a program waiting for a key) costs no conversion and
  // no repaint.
  const bool same = incoming_.width == picture_.width && incoming_.height == picture_.height &&
                    incoming_.palette == picture_.palette && incoming_.show_fps == picture_.show_fps &&
                    (!incoming_.show_fps || incoming_.fps == picture_.fps) &&
                    incoming_.pixels == picture_.pixels;
  std::swap(picture_, incoming_);
  if (same) {
    slot_->MarkShown(picture_.serial);
    return;
  }
  BuildImage();
  if (isVisible())
    update();
  else
    slot_->MarkShown(picture_.serial);  // nothing to wait for
}

void ScreenPanel::BuildImage() {
  const int w = picture_.width, h = picture_.height;
  if (image_.width() != w || image_.height() != h) image_ = QImage(w, h, QImage::Format_RGB32);
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = 0xFF000000u | picture_.palette[i % kPaletteEntries];
  const uint8_t* src = picture_.pixels.data();
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(image_.scanLine(y));
    for (int x = 0; x < w; ++x) row[x] = colours[*src++];
  }
  overlay_.clear();
  if (picture_.show_fps) {
    overlay_ = QString::fromStdString(FpsText(picture_.fps));
    QPainter p(&image_);
    p.setPen(kFpsTextColour);
    p.drawText(QRect(0, 6, w, h - 6), Qt::AlignLeft | Qt::AlignTop, overlay_);
  }
}

void ScreenPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  const QRect area = contentsRect();
  if (!full_screen_) {
    if (image_.size() != area.size()) p.fillRect(area, Qt::black);
    p.drawImage(area.topLeft(), image_);
  } else {
    // The overlays are in the image already, so they scale with the picture.
    p.fillRect(area, Qt::black);
    const PictureArea fit = FitPicture(image_.width(), image_.height(), area.width(), area.height());
    p.drawImage(QRect(area.x() + fit.x, area.y() + fit.y, fit.width, fit.height), image_);
  }
  slot_->MarkShown(picture_.serial);
}

}  // namespace platform::qt
