// Gives the keyboard back to the window that opened a modal dialog (a file
// dialog, a message box, a number query) when the dialog closes. Left to the
// window manager, the focus may go to another window of the program (the
// main window), where the keys would reach the emulated machine instead of
// the tool window the user was working in.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace platform::qt {

class FocusReturn final : public QObject {
 public:
  // Watches every window of the application for as long as it lives.
  explicit FocusReturn(QObject* parent = nullptr);
  ~FocusReturn() override;

  // The window that had the keyboard when the dialog showed; null when none
  // was recorded (or it is gone).
  QWidget* Opener(const QWidget* dialog) const { return openers_.value(dialog); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void GiveBack(QPointer<QWidget> opener);

  QHash<const QWidget*, QPointer<QWidget>> openers_;
};

}  // namespace platform::qt
