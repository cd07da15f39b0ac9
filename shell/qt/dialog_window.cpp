#include "shell/qt/dialog_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace dialog_window {

namespace {

// A dialog makes its first auto-default button the default when it shows,
// and any such button that takes the focus: the buttons lose that property
// before every showing, so whatever the window holds by then is covered.
// Without it a button ignores Enter, so Enter is given back to the button
// that has the focus, and to no other.
class NoDefaultButton final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      for (QPushButton* button : parent()->findChildren<QPushButton*>()) {
        if (button->window() != parent()) continue;  // a dialog of its own (file, colour)
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
      }
    } else if (event->type() == QEvent::KeyPress && watched != parent()) {
      auto* button = qobject_cast<QPushButton*>(watched);
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      if (button && enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (button->isEnabled() && !key->isAutoRepeat()) button->click();
        return true;
      }
    }
    return false;
  }
};

}  // namespace

void MakeToolWindow(QDialog& window, int w, int h) {
  window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window.setFixedSize(w, h);
  window.installEventFilter(new NoDefaultButton(&window));
}

void SetBold(QWidget& widget) {
  QFont font = widget.font();
  font.setBold(true);
  widget.setFont(font);
}

void CentreOnDesktop(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect desk = screen->availableGeometry();
  window.move(desk.center() - QPoint(window.width() / 2, window.height() / 2));
}

void ShowInFront(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace dialog_window
