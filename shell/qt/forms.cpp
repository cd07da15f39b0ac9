#include "shell/qt/forms.h"

#include "shell/qt/about_form.h"
#include "shell/qt/form_registry.h"
#include "shell/qt/main_form.h"
#include "shell/qt/memory_set_form.h"
#include "shell/qt/palette_form.h"
#include "shell/qt/timing_form.h"
#include "shell/qt/state_ay_form.h"
#include "shell/qt/state_hardware_form.h"
#include "shell/qt/state_vg93_form.h"
#include "shell/settings.h"

namespace {

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

void ShowMemorySetForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TMemorySetForm>(form, *m).ShowMemorySetForm();
}

void ShowPaletteForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TPaletteForm>(form, *m).ShowPaletteForm();
}

void ShowFormRegistry(TMainForm& form) { DialogWindow<TFormRegistry>(form).ShowFormRegistry(); }

void ShowFormRegistryModal(TMainForm& form) { DialogWindow<TFormRegistry>(form).ShowFormRegistryModal(); }

void ShowAboutForm(TMainForm& form) {
  if (TZXHardware* m = form.machine()) DialogWindow<TAboutForm>(form, m->CPUClockHz).ShowAboutForm();
}

void ShowFormStateHardware(TMainForm& form) { ShowStateForm<TFormStateHardware>(form); }

void ShowFormStateAY(TMainForm& form) { ShowStateForm<TFormStateAY>(form); }

void ShowFormStateVG93(TMainForm& form) { ShowStateForm<TFormStateVG93>(form); }
