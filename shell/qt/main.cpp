// Program entry: the start stamps, the Qt application and the dialogs
// backend, the main window and then the machine, the message loop, and an
// orderly end in which the processor library shuts down while the GUI still
// exists.
#include <QApplication>
#include <cstdio>
#include <exception>

#include "platform/dialogs.h"
#include "platform/qt/focus_return.h"
#include "platform/qt/qt_dialogs.h"
#include "shell/qt/forms.h"
#include "shell/qt/program_objects.h"
#include "shell/program_entry.h"
#include "z80/z80_host.h"

int main(int argc, char** argv) {
  TakeProgramEntry(ProgramEntry(), argc, argv);

  QApplication app(argc, argv);
  QApplication::setApplicationName("OVRIN");
  platform::qt::QtDialogs dialogs;
  platform::SetDialogs(&dialogs);
  Z80_SetDialogs(&dialogs);
  platform::qt::FocusReturn focusReturn;

  int status = 0;
  try {
    TMainFormOptions options;
    options.FirstRunAssociations = ShowFormRegistryModal;
    TProgramObjects objects(options);
    objects.Form().FormShow();
    status = app.exec();
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
