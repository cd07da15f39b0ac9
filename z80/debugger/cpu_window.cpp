#include "z80/debugger/cpu_window.h"

#include <atomic>

#include "z80/z80_instance.h"

void TCPUWindow::SetShown(bool shown) {
  Shown.store(shown, std::memory_order_relaxed);
  // The window lives no longer than its instance's state record.
  if (!Z80Object || !Z80Object->StateRecord) return;
  std::atomic<uint8_t>& observers = Z80Object->StateRecord->Req.StepObservers;
  if (shown) observers.fetch_or(z80::kObserveWindow, std::memory_order_relaxed);
  else observers.fetch_and(static_cast<uint8_t>(~z80::kObserveWindow), std::memory_order_relaxed);
}

void TCPUWindow::StatusTick() {
  TZ80Object* o = Z80Object;
  if (!o) return;
  // The host's OnBreakpoint may try to destroy the instance, and so this
  // window, before the tick is over.
  const UseGuard inUse(*this);
  const bool hit = o->BreakpointHit.load(std::memory_order_acquire) != 0;
  if (hit && o->OnBreakpoint && o->StateRecord) o->OnBreakpoint(o->StateRecord->UserData);
  SetBreakpointCommandsEnabled(o->Running.load(std::memory_order_acquire) == 0);
  if (hit) {
    Show();
    RefreshView(true);
    o->BreakpointHit.store(0, std::memory_order_release);
  }
}

namespace z80 {
namespace {

TCPUWindow* CreateNullWindow() { return new TNullCPUWindow; }

std::atomic<CPUWindowFactory> g_factory{nullptr};

}  // namespace

CPUWindowFactory SetCPUWindowFactory(CPUWindowFactory factory) {
  return g_factory.exchange(factory);
}

TCPUWindow* CreateCPUWindow() {
  const CPUWindowFactory f = g_factory.load();
  return f ? f() : CreateNullWindow();
}

}  // namespace z80
