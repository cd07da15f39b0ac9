#include "platform/qt/input_capture.h"

#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace platform::qt {

InputCapture::InputCapture(InputState& state, QWidget* window, QObject* parent)
    : QObject(parent), state_(&state), window_(window) {
  Watch(window);
}

void InputCapture::Watch(QWidget* widget) {
  widget->installEventFilter(this);
  widget->setMouseTracking(true);
}

void InputCapture::SetCaptured(bool captured) {
  if (captured == captured_ || !window_) return;
  captured_ = captured;
  have_last_ = false;
  if (captured) {
    window_->setCursor(Qt::BlankCursor);
    window_->grabMouse();
    WarpToCentre();
  } else {
    window_->releaseMouse();
    window_->unsetCursor();
  }
}

void InputCapture::WarpToCentre() {
  const QPoint centre = window_->mapToGlobal(window_->rect().center());
  QCursor::setPos(centre);
  last_ = centre;
  have_last_ = true;
}

namespace {
MouseButton ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return kMouseLeft;
    case Qt::RightButton: return kMouseRight;
    case Qt::MiddleButton: return kMouseMiddle;
    default: return static_cast<MouseButton>(0);
  }
}
}  // namespace

bool InputCapture::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!key->isAutoRepeat()) {
        const uint8_t code = ScanCodeFromNative(key->nativeScanCode());
        if (event->type() == QEvent::KeyPress)
          state_->KeyDown(code);
        else
          state_->KeyUp(code);
      }
      // Keys belong to the emulated machine; shortcuts are handled before this.
      return true;
    }
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
      state_->ReleaseAll();
      have_last_ = false;
      break;
    case QEvent::Leave:
      if (!captured_) have_last_ = false;
      break;
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint pos = mouse->globalPosition().toPoint();
      if (have_last_) {
        const QPoint d = pos - last_;
        if (!d.isNull()) state_->AddMouseMotion(d.x(), d.y());
      }
      last_ = pos;
      have_last_ = true;
      if (captured_ && window_ && (pos - window_->mapToGlobal(window_->rect().center())).manhattanLength() > 64)
        WarpToCentre();
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const MouseButton b = ButtonOf(mouse->button());
      if (b) state_->SetMouseButton(b, event->type() != QEvent::MouseButtonRelease);
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace platform::qt
