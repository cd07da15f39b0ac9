// Puts the Qt debugger window in place of the do-nothing one as soon as the
// library is loaded. A window is a widget of the GUI thread, so an instance
// created without a QApplication, or on another thread, still gets the
// do-nothing window.
#include <QApplication>
#include <QThread>

#include "z80/debugger/qt/cpu_form.h"

namespace {

TCPUWindow* CreateWindowForThisThread() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (app && QThread::currentThread() == app->thread()) return new TCPUForm;
  return new TNullCPUWindow;
}

[[maybe_unused]] const bool g_installed = [] {
  z80::SetCPUWindowFactory(&CreateWindowForThisThread);
  return true;
}();

// A window whose instance another thread destroyed may still wait for its
// deletion on the GUI thread when the library is unloaded; its code goes
// with the library, so it is deleted now, with the events posted to it.
__attribute__((destructor)) void DeleteDetachedWindows() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return;
  // Collected first: a window's menus are top-level widgets too, and go with it.
  QList<TCPUForm*> detached;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* form = dynamic_cast<TCPUForm*>(w); form && !form->Z80Object) detached.append(form);
  qDeleteAll(detached);
}

}  // namespace
