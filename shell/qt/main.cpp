// Program entry: the start stamps, the Qt application and the dialogs
// backend, the main window and then the machine, the message loop, and an
// orderly end in which the processor library shuts down while the GUI still
// exists. SIGINT, SIGTERM and SIGHUP end the run as closing the window does,
// and the process then ends by that signal.
#include <QApplication>
#include <cstdio>
#include <exception>

#include "platform/dialogs.h"
#include "platform/qt/focus_return.h"
#include "platform/qt/lost_display.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/termination_signals.h"
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
  int endingSignal = 0;
  try {
    TMainFormOptions options;
    options.FirstRunAssociations = ShowFormRegistryModal;
    TProgramObjects objects(options);
    // A signal takes the window's own way out: disks and the CMOS file are
    // written, and a disk that cannot be may keep the program running.
    platform::qt::TerminationSignals termination([&objects] { objects.Form().CloseForSignal(); });
    QObject::connect(&objects.Form(), &TMainForm::CloseDeclined, &termination,
                     &platform::qt::TerminationSignals::Declined);
    // A lost display ends the process inside the toolkit, never returning
    // here: the disks and the CMOS file are written first, without a dialog.
    platform::qt::LostDisplayWriteBack lostDisplay([&objects] { objects.Form().WriteBackWithoutDisplay(); });
    objects.Form().FormShow();
    status = app.exec();
    endingSignal = termination.Ending();
  } catch (const std::exception& e) {
    platform::ShowMessage("OVRIN", std::string("Fatal error: ") + e.what(), platform::MsgButtons::Ok,
                          platform::MsgIcon::Error);
    status = 1;
  }
  Z80_Shutdown();
  Z80_SetDialogs(nullptr);
  platform::SetDialogs(nullptr);
  if (endingSignal) platform::qt::TerminationSignals::EndBy(endingSignal);
  return status;
}
