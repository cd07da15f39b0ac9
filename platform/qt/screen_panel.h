// The sunken panel that shows the emulated picture. It is the GUI end of
// the display hand-over: the run thread announces a picture through
// DisplaySink, which only queues a call; the panel then takes the picture
// from the slot on its own thread, converts it and paints it.
#pragma once

#include <QFrame>
#include <QImage>
#include <QThread>

#include "platform/display.h"

namespace platform::qt {

class ScreenPanel final : public QFrame, public DisplaySink {
  Q_OBJECT

 public:
  explicit ScreenPanel(PictureSlot& slot, QWidget* parent = nullptr);

  // DisplaySink, from any thread.
  void PictureReady() override;
  void PictureSizeChanged(int width, int height) override;

  // GUI thread.
  void SetPictureSize(int width, int height);
  void SetFullScreen(bool on);
  bool full_screen() const { return full_screen_; }

  // The last picture taken, as palette indices and as shown.
  const Picture& picture() const { return picture_; }
  const QImage& image() const { return image_; }
  // The overlay drawn over the picture ("FPS: 50"), empty when none.
  QString overlay_text() const { return overlay_; }
  // The thread that last resized the panel (the GUI thread, always).
  QThread* last_resize_thread() const { return last_resize_thread_; }
  int picture_width() const { return width_; }
  // How many pictures the panel has taken from the slot.
  uint64_t pictures_taken() const { return taken_; }
  int picture_height() const { return height_; }

 signals:
  // The panel changed its fixed size; the window fits itself around it.
  void PanelResized();

 public slots:
  void TakePicture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ApplyFixedSize();
  void BuildImage();

  PictureSlot* slot_;
  Picture picture_;
  Picture incoming_;
  QImage image_;
  QString overlay_;
  int width_ = 320;
  int height_ = 240;
  bool full_screen_ = false;
  QThread* last_resize_thread_ = nullptr;
  uint64_t taken_ = 0;
};

}  // namespace platform::qt
