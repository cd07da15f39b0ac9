// A debugger window for tests without Qt that, like the real one, reads
// memory through the host's OnRead while it refreshes.
#pragma once

#include "z80/debugger/cpu_window.h"

namespace z80test {

class ReadingWindow final : public TCPUWindow {
 public:
  void Show() override { SetShown(true); }
  bool IsVisible() const override { return Shown.load(); }
  void RefreshView(bool) override {
    if (!IsVisible()) return;
    // Not at PC: a refresh after a start reads while the run thread steps.
    TZ80State* s = Z80Object->StateRecord;
    s->OnRead(0, s->UserData);
  }
  void RefreshForHost(bool NewStep) override { RefreshView(NewStep); }
  void SetBreakpointCommandsEnabled(bool) override {}
};

}  // namespace z80test
