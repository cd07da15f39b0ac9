// The floppy controller state window: the controller's registers (the status
// and request lines read live), the system latch decoded, and the disk's
// rotation. Read only.
#pragma once

#include <array>

#include "shell/qt/state_form.h"

class TFormStateVG93 final : public TStateForm {
  Q_OBJECT

 public:
  explicit TFormStateVG93(TZXHardware& machine, QWidget* parent = nullptr);

  void TimerUpdateTimer() override;

 private:
  // kFloppyCaptions' order.
  std::array<TStateBox*, kFloppyBoxes> boxes_{};
};
