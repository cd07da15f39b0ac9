#include "shell/qt/forms.h"

#include <string>

#include "platform/dialogs.h"
#include "shell/qt/main_form.h"
#include "shell/settings.h"

namespace {

// Until a window exists its item says so rather than doing nothing.
void NotAvailableYet(TMainForm& form, const char* window) {
  if (form.IsFullScreen()) form.LeaveFullScreen();
  platform::ShowMessage(kApplicationTitle, std::string("The ") + window + " is not available yet.",
                        platform::MsgButtons::Ok, platform::MsgIcon::Information);
}

}  // namespace

// ---------------------------------------------------------------------------

void ShowTimingForm(TMainForm& form) {
  NotAvailableYet(form, "timing dialog");
}

// ---------------------------------------------------------------------------

void ShowMemorySetForm(TMainForm& form) {
  NotAvailableYet(form, "memory and ROM set dialog");
}

// ---------------------------------------------------------------------------

void ShowPaletteForm(TMainForm& form) {
  NotAvailableYet(form, "palette dialog");
}

// ---------------------------------------------------------------------------

void ShowFormRegistry(TMainForm& form) {
  NotAvailableYet(form, "file-association dialog");
}

// ---------------------------------------------------------------------------

void ShowAboutForm(TMainForm& form) {
  NotAvailableYet(form, "about box");
}

// ---------------------------------------------------------------------------

void ShowFormStateHardware(TMainForm& form) {
  NotAvailableYet(form, "machine state window");
}

// ---------------------------------------------------------------------------

void ShowFormStateAY(TMainForm& form) {
  NotAvailableYet(form, "sound chip state window");
}

// ---------------------------------------------------------------------------

void ShowFormStateVG93(TMainForm& form) {
  NotAvailableYet(form, "floppy controller state window");
}
