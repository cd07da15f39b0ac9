#include "shell/qt/dialog_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace dialog_window {

void MakeToolWindow(QDialog& window, int w, int h) {
  window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window.setFixedSize(w, h);
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
