#include "platform/qt/focus_return.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>

namespace platform::qt {

namespace {

// The window manager may hand the focus on a little after the dialog's
// window is gone: the opener asks for it again once that is past.
constexpr int kWindowManagerDelayMs = 150;

bool IsModalDialog(const QObject* object) {
  const auto* dialog = qobject_cast<const QDialog*>(object);
  return dialog && dialog->isWindow() && (dialog->isModal() || dialog->testAttribute(Qt::WA_ShowModal));
}

void Activate(QWidget& window) {
  window.raise();
  window.activateWindow();
}

}  // namespace

FocusReturn::FocusReturn(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

FocusReturn::~FocusReturn() {
  if (qApp) qApp->removeEventFilter(this);
}

bool FocusReturn::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::Show && type != QEvent::Hide) || !IsModalDialog(watched)) return false;
  auto* dialog = static_cast<QWidget*>(watched);
  if (type == QEvent::Show) {
    QWidget* opener = QApplication::activeWindow();
    if (opener == dialog) opener = nullptr;
    openers_.insert(dialog, opener);
  } else if (openers_.contains(dialog)) {
    GiveBack(openers_.take(dialog));
  }
  return false;
}

void FocusReturn::GiveBack(QPointer<QWidget> opener) {
  if (!opener) return;
  // Once the toolkit is done with the closing, and again once the window
  // manager has had its say.
  for (const int delay : {0, kWindowManagerDelayMs}) {
    QTimer::singleShot(delay, opener, [opener] {
      if (!opener || !opener->isVisible() || QApplication::activeWindow() == opener) return;
      // Another modal dialog has the keyboard by right.
      if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != opener) return;
      Activate(*opener);
    });
  }
}

}  // namespace platform::qt
