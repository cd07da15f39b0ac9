// Feeds the key array and the mouse accumulator from a window's events:
// keys by native scan code, mouse motion as relative steps. While captured
// (full screen) the pointer is hidden, grabbed and kept in the middle of
// the window so that motion never runs into the screen edge.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include "platform/input.h"

namespace platform::qt {

class InputCapture final : public QObject {
  Q_OBJECT

 public:
  InputCapture(InputState& state, QWidget* window, QObject* parent = nullptr);

  // Watches another widget of the window as well (the picture panel).
  void Watch(QWidget* widget);
  void SetCaptured(bool captured);
  bool captured() const { return captured_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void WarpToCentre();

  InputState* state_;
  QPointer<QWidget> window_;
  bool captured_ = false;
  bool have_last_ = false;
  QPoint last_;
};

}  // namespace platform::qt
