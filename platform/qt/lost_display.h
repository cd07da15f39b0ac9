// When the display connection is lost, the toolkit ends the process from
// inside its event loop: the X11 backend calls exit(1) on the GUI thread, a
// Wayland one reports a fatal message and aborts. Neither returns to main,
// where the machine and its disks live, so their write-back would never run.
#pragma once

#include <functional>

namespace platform::qt {

class LostDisplayWriteBack {
 public:
  // While this lives, a process ended by exit() or by a fatal toolkit
  // message first runs `writeBack`, once, on the thread that ends it. It
  // must touch no window: the display may be gone.
  explicit LostDisplayWriteBack(std::function<void()> writeBack);
  // A run that ends through main has taken its own way out.
  ~LostDisplayWriteBack();
  LostDisplayWriteBack(const LostDisplayWriteBack&) = delete;
  LostDisplayWriteBack& operator=(const LostDisplayWriteBack&) = delete;
};

}  // namespace platform::qt
