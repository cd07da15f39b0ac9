// The machine state window: paging latches, pages, ROM, memory map and the
// frame and global T-state counts. The latch boxes and the frame tick box
// take new values; the tick, screen and memory-map boxes restart the count.
#pragma once

#include <array>

#include "shell/qt/state_form.h"
#include "shell/state_monitors.h"

class TFormStateHardware final : public TStateForm {
  Q_OBJECT

 public:
  explicit TFormStateHardware(TZXHardware& machine, QWidget* parent = nullptr);

  void TimerUpdateTimer() override;
  void LabelTaktFrameClick();
  void LabelTaktGlobalClick();
  void LatchClick(TLatch latch);

  THardwareStateMonitor& Monitor() { return monitor_; }

 private:
  void ShowTexts();

  THardwareStateMonitor monitor_;
  std::array<TStateBox*, kLatchCount> latchBoxes_{};
  TStateBox* LabelPage;
  TStateBox* LabelSCR;
  TStateBox* LabelROM;
  TStateBox* LabelTaktFrame;
  TStateBox* LabelTaktGlobal;
  std::array<TStateBox*, 4> LabelMap{};
};
