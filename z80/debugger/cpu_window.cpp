#include "z80/debugger/cpu_window.h"

#include <atomic>

void TCPUWindow::StatusTick() {
  TZ80Object* o = Z80Object;
  if (!o) return;
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
