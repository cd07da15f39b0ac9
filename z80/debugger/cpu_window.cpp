#include "z80/debugger/cpu_window.h"

#include <atomic>

#include "z80/z80_instance.h"

void TCPUWindow::SetShown(bool shown) {
  Shown.store(shown, std::memory_order_relaxed);
  // A window detached from its instance may outlive the state record.
  const UseGuard inUse(*this);
  if (!inUse || !Z80Object->StateRecord) return;
  std::atomic<uint8_t>& observers = Z80Object->StateRecord->Req.StepObservers;
  if (shown) observers.fetch_or(z80::kObserveWindow, std::memory_order_relaxed);
  else observers.fetch_and(static_cast<uint8_t>(~z80::kObserveWindow), std::memory_order_relaxed);
}

namespace {

// This thread's uses of windows, innermost first.
thread_local const TCPUWindow::UseGuard* t_innermostUse = nullptr;

}  // namespace

TCPUWindow::UseGuard::UseGuard(TCPUWindow& window)
    : object_(__atomic_load_n(&window.Z80Object, __ATOMIC_ACQUIRE)) {
  // A window with no instance (not yet given one, or detached by a destroy
  // on another thread) has nothing to show and nothing to act on.
  window_ = object_ && Enter(&window) ? &window : nullptr;
  if (window_) {
    outer_ = t_innermostUse;
    t_innermostUse = this;
  }
}

TCPUWindow::UseGuard::UseGuard(TZ80Object* object) : object_(object) {
  window_ = object_ ? Enter(nullptr) : nullptr;
  if (window_) {
    outer_ = t_innermostUse;
    t_innermostUse = this;
  }
}

TCPUWindow* TCPUWindow::UseGuard::Enter(const TCPUWindow* window) {
  // An outer use on this thread keeps the instance already.
  if (HeldOnThisThread(object_)) return object_->Form;
  TCPUWindow* const own = z80::EnterWindowUse(object_, window);
  counted_ = own != nullptr;
  return own;
}

TCPUWindow::UseGuard::~UseGuard() {
  if (!window_) return;
  t_innermostUse = outer_;
  if (counted_) z80::LeaveWindowUse(object_);
}

bool TCPUWindow::UseGuard::HeldOnThisThread(const TZ80Object* object) {
  for (const UseGuard* use = t_innermostUse; use; use = use->outer_)
    if (use->object_ == object) return true;
  return false;
}

void TCPUWindow::StatusTick() {
  // The host's OnBreakpoint may try to destroy the instance, and so this
  // window, before the tick is over.
  const UseGuard inUse(*this);
  if (!inUse) return;
  TZ80Object* const o = Z80Object;
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
