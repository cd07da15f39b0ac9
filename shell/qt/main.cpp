// Program entry: the start stamps, the Qt application and the dialogs
// backend, the main window and then the machine, the message loop, and an
// orderly end in which the processor library shuts down while the GUI still
// exists.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "platform/qt/qt_dialogs.h"
#include "shell/qt/main_form.h"
#include "shell/program_entry.h"
#include "z80/z80_host.h"

int main(int argc, char** argv) {
  TakeProgramEntry(ProgramEntry(), argc, argv);

  QApplication app(argc, argv);
  QApplication::setApplicationName("OVRIN");
  platform::qt::QtDialogs dialogs;
  platform::SetDialogs(&dialogs);
  Z80_SetDialogs(&dialogs);

  int status = 0;
  try {
    auto form = std::make_unique<TMainForm>();
    auto machine = std::make_unique<TZXHardware>(form.get());
    form->AttachMachine(machine.get());
    form->FormShow();
    status = app.exec();
    form->FormClose();
    form->AttachMachine(nullptr);  // nothing of the window refers to the machine any more
    machine.reset();
    form.reset();
  } catch (const std::exception& e) {
    platform::ShowMessage("OVRIN", std::string("Fatal error: ") + e.what(), platform::MsgButtons::Ok,
                          platform::MsgIcon::Error);
    status = 1;
  }
  Z80_Shutdown();
  Z80_SetDialogs(nullptr);
  platform::SetDialogs(nullptr);
  return status;
}
