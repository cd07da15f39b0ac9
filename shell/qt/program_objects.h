// The main window and the machine of one run. The window comes first and the
// machine second; whatever ends the run (the message loop, or an exception
// out of the start-up), the window is closed and lets go of the machine
// before the machine is destroyed, so no handler of the window can reach a
// freed machine.
#pragma once

#include <memory>

#include "machine/hardware.h"
#include "shell/qt/main_form.h"

class TProgramObjects {
 public:
  explicit TProgramObjects(TMainFormOptions options = {});
  ~TProgramObjects();
  TProgramObjects(const TProgramObjects&) = delete;
  TProgramObjects& operator=(const TProgramObjects&) = delete;

  TMainForm& Form() { return *form_; }
  TZXHardware& Machine() { return *machine_; }

 private:
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<TZXHardware> machine_;
};
