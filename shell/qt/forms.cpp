#include "shell/qt/forms.h"

#include <string>

#include "platform/dialogs.h"
#include "shell/qt/main_form.h"
#include "shell/qt/state_ay_form.h"
#include "shell/qt/state_hardware_form.h"
#include "shell/qt/state_vg93_form.h"
#include "shell/settings.h"

namespace {

// Until a window exists its item says so rather than doing nothing.
void NotAvailableYet(TMainForm& form, const char* window) {
  if (form.IsFullScreen()) form.LeaveFullScreen();
  platform::ShowMessage(kApplicationTitle, std::string("The ") + window + " is not available yet.",
                        platform::MsgButtons::Ok, platform::MsgIcon::Information);
}

// The state windows: built on first use for the machine of the moment,
// shown (and brought forward) on every use.
template <typename Form>
void ShowStateForm(TMainForm& form) {
  TZXHardware* machine = form.machine();
  if (!machine) return;
  Form* window = form.findChild<Form*>(QString(), Qt::FindDirectChildrenOnly);
  if (window && &window->machine() != machine) {
    delete window;
    window = nullptr;
  }
  if (!window) window = new Form(*machine, &form);
  window->show();
  window->raise();
  window->activateWindow();
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

void ShowFormStateHardware(TMainForm& form) { ShowStateForm<TFormStateHardware>(form); }

// ---------------------------------------------------------------------------

void ShowFormStateAY(TMainForm& form) { ShowStateForm<TFormStateAY>(form); }

// ---------------------------------------------------------------------------

void ShowFormStateVG93(TMainForm& form) { ShowStateForm<TFormStateVG93>(form); }
