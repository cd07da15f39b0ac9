#include "shell/qt/dialog_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace dialog_window {

namespace {

// A dialog makes its first auto-default button the default when it shows,
// and any such button that takes the focus: the buttons lose that property
// before every showing, so whatever the window holds by then is covered.
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
