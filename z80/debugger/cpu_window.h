// What the processor core needs of its debugger window: show it, refresh it,
// and run its 100 ms status tick. The Qt window implements this; without a
// GUI every instance gets a window that does nothing.
#pragma once

#include <atomic>

#include "z80/z80.h"

class TCPUWindow {
 public:
  virtual ~TCPUWindow() = default;

  // The instance that owns the window: its only way to the processor.
  TZ80Object* Z80Object = nullptr;

  // Up while the window is on screen; every window keeps it in step with its
  // own visibility through SetShown, which also tells the owner's single
  // step whether to refresh: a host stepping with the window hidden pays
  // nothing for it.
  std::atomic<bool> Shown{false};
  void SetShown(bool shown);

  virtual void Show() = 0;
  virtual bool IsVisible() const = 0;
  // Reloads every display from the processor state; ignored while hidden.
  // NewStep keeps the shown register values as the ones to compare with and
  // moves the code display to PC.
  virtual void RefreshView(bool NewStep) = 0;
  // RefreshView for a host that changed the stopped machine behind the
  // library's back: a window that reads through the host counts it as a use
  // of the window, like the library's own refreshes. Pure, so that the class
  // keeps no key function: its type information is then made wherever it is
  // used, and a host reaches it without any of the library's hidden symbols.
  virtual void RefreshForHost(bool NewStep) = 0;
  // The breakpoint and go-to-PC commands, usable only while stopped.
  virtual void SetBreakpointCommandsEnabled(bool enabled) = 0;
  // Deletes the window of an instance being destroyed, on the destroying
  // thread, once nothing uses it. A window that only its own thread may
  // delete (a GUI widget) detaches itself from the instance instead and
  // hands its deletion to that thread. Inline, for the reason given above.
  virtual void Dispose() { delete this; }

  // The status timer's body: hands a breakpoint stop to the host's
  // OnBreakpoint, then shows and refreshes the window.
  void StatusTick();

  // A use of the window on this thread: the library's calls into it (a
  // refresh, the status tick) and the window's own handlers (keys, clicks,
  // menu items, edits, the viewers' reads for a paint), any of which may
  // reach the host's code. While one is held, Z80_Destroy called on this
  // thread refuses rather than delete the window under the code that will
  // return into it, and called on another thread waits for the use to end.
  // Tests false when the instance is being destroyed on another thread (or
  // is gone, or the window has none): the use must then do nothing at all.
  class UseGuard {
   public:
    explicit UseGuard(TCPUWindow& window);
    // The window of an instance, if the instance is live.
    explicit UseGuard(TZ80Object* object);
    ~UseGuard();
    UseGuard(const UseGuard&) = delete;
    UseGuard& operator=(const UseGuard&) = delete;

    explicit operator bool() const { return window_ != nullptr; }
    TCPUWindow* Window() const { return window_; }
    // True while this thread holds a use of the instance's window.
    static bool HeldOnThisThread(const TZ80Object* object);

   private:
    TCPUWindow* Enter(const TCPUWindow* window);

    TZ80Object* const object_;
    TCPUWindow* window_ = nullptr;
    bool counted_ = false;  // the outermost use of the instance on this thread
    const UseGuard* outer_ = nullptr;
  };
};

// The window for a headless library: remembers only whether it was shown and
// how it was refreshed, so hosts and tests can see what the core asked.
class TNullCPUWindow final : public TCPUWindow {
 public:
  void Show() override { SetShown(true); }
  bool IsVisible() const override { return Shown.load(std::memory_order_relaxed); }
  void RefreshView(bool NewStep) override {
    if (!IsVisible()) return;
    ++refreshes_;
    lastNewStep_ = NewStep;
  }
  void RefreshForHost(bool NewStep) override { RefreshView(NewStep); }
  void SetBreakpointCommandsEnabled(bool enabled) override { commandsEnabled_ = enabled; }

  int Refreshes() const { return refreshes_; }
  bool LastNewStep() const { return lastNewStep_; }
  bool BreakpointCommandsEnabled() const { return commandsEnabled_; }

 private:
  int refreshes_ = 0;
  bool lastNewStep_ = false;
  bool commandsEnabled_ = true;
};

namespace z80 {

// Makes the window for a new instance. The GUI installs its own factory;
// null restores the do-nothing window. Returns the previous factory.
using CPUWindowFactory = TCPUWindow* (*)();
CPUWindowFactory SetCPUWindowFactory(CPUWindowFactory factory);
TCPUWindow* CreateCPUWindow();

}  // namespace z80
