#include "shell/qt/forms.h"

#include <string>

#include "platform/dialogs.h"
#include "shell/qt/about_form.h"
#include "shell/qt/form_registry.h"
#include "shell/qt/main_form.h"
#include "shell/qt/memory_set_form.h"
#include "shell/qt/palette_form.h"
#include "shell/qt/timing_form.h"
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

namespace {

// The dialog window of this type under the main window, made on first use.
template <typename Window, typename... Args>
Window& DialogWindow(TMainForm& form, Args&&... args) {
  if (auto* window = form.findChild<Window*>(QString(), Qt::FindDirectChildrenOnly)) return *window;
  return *new Window(std::forward<Args>(args)..., &form);
}

}  // namespace

void ShowTimingForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TTimingForm>(form, *m).ShowTimingForm();
}

// ---------------------------------------------------------------------------

void ShowMemorySetForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TMemorySetForm>(form, *m).ShowMemorySetForm();
}

// ---------------------------------------------------------------------------

void ShowPaletteForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TPaletteForm>(form, *m).ShowPaletteForm();
}

// ---------------------------------------------------------------------------

void ShowFormRegistry(TMainForm& form) { DialogWindow<TFormRegistry>(form).ShowFormRegistry(); }

void ShowFormRegistryModal(TMainForm& form) { DialogWindow<TFormRegistry>(form).ShowFormRegistryModal(); }

// ---------------------------------------------------------------------------

void ShowAboutForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TAboutForm>(form, m->CPUClockHz).ShowAboutForm();
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
