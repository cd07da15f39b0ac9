// Library-internal parts of an instance and the shared pieces of the exports.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <thread>
#include <type_traits>

#include "z80/z80.h"

namespace z80 {

// What Z80_Create allocates: the state record the host sees, followed by
// what only run control needs. StateRecord points at State.
struct TZ80Instance {
  TZ80State State;
  // The record Z80_Create filled: the slow end of a single step reaches it
  // from the state alone. (The usual single step's handler is handed it by
  // the export instead: see SingleStepHandler.)
  TZ80Object* Owner = nullptr;
  // Tells a parked run thread to return so it can be joined.
  std::atomic<uint8_t> ExitRequest{0};
  // The thread whose export holds Busy (see TakeBusy); null while Busy is
  // free, so that a thread finds its own pointer here only while it holds it.
  std::atomic<const void*> BusyThread{nullptr};
  // Z80_Destroy calls waiting for Busy. While there are any, the other
  // exports give Busy back at once and refuse: a thread calling them one
  // after another would otherwise keep it taken all but a few instructions
  // of the time, and the destroy would wait for ever.
  std::atomic<int> DestroyWaiters{0};
  // Guarded by the list of instances' lock (see TCPUWindow::UseGuard): the
  // uses of the window going on now, and whether Z80_Destroy waits for them
  // to end, when no new one may begin.
  int WindowUses = 0;
  bool Closing = false;
};
static_assert(std::is_standard_layout_v<TZ80Instance>);

// Bits of Req.StepObservers.
inline constexpr uint8_t kObserveAfterStep = 1;  // the host gave OnAfterStep
inline constexpr uint8_t kObserveWindow = 2;     // the debugger window is shown

// The end of a single step that someone watches: OnAfterStep and the shown
// window's refresh, both inside the guard.
Z80Result FinishObservedStep(TZ80Instance& instance);

// The state record as another thread may be clearing it (Z80_Destroy on a
// thread of its own): read before the export holds Busy.
inline TZ80State* LiveState(const TZ80Object* object) {
  return __atomic_load_n(&object->StateRecord, __ATOMIC_ACQUIRE);
}

inline TZ80Instance* InstanceOf(TZ80Object* object) {
  return reinterpret_cast<TZ80Instance*>(object->StateRecord);
}

// Tells threads apart for the price of one load.
inline const void* ThisThread() { return __builtin_thread_pointer(); }

// Running and Busy side by side: Z80_ExecCycle takes the single step's guard
// with one compare-and-exchange of the pair (both clear, then Busy alone
// set), and a single step ends by storing both. A byte store to Busy held
// up the next step's access to the pair beside it (a bare step took a fifth
// longer); a store of the pair is handed on at once. Running is 0 all
// through a single step (it is refused while a run thread exists, and
// Z80_Start is refused while Busy is set), so the store leaves it as it was.
static_assert(offsetof(TZ80Object, Busy) == offsetof(TZ80Object, Running) + 1);
static_assert(offsetof(TZ80Object, Running) % alignof(uint16_t) == 0);
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
// Every export takes and gives back Busy through the pair, so that each one
// synchronises with the one before it on the same address.
using GuardPairType __attribute__((may_alias)) = uint16_t;
inline constexpr GuardPairType kPairBusyOnly = 1 << 8;
inline constexpr GuardPairType kPairBusyMask = 0xFF00;
inline GuardPairType* GuardPair(TZ80Object& object) {
  return reinterpret_cast<GuardPairType*>(&object.Running);
}
// Acquire: a run thread that stopped at a breakpoint has not been joined
// yet, and its last step's state must be seen before this step uses it.
inline bool TakeSingleStep(TZ80Object& object) {
  GuardPairType expected = 0;
  return __atomic_compare_exchange_n(GuardPair(object), &expected, kPairBusyOnly, false,
                                     __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}
inline void ReleaseSingleStep(TZ80State& s, TZ80Object& object) {
  reinterpret_cast<TZ80Instance&>(s).BusyThread.store(nullptr, std::memory_order_relaxed);
  __atomic_store_n(GuardPair(object), 0, __ATOMIC_RELEASE);
}

// The end of a single step that went the slow way: a request, a halted
// processor, or someone watching the step. (The usual step ends in its
// handler, which only releases the guard.)
inline Z80Result FinishSingleStep(TZ80State& s) {
  if (s.Req.StepObservers.load(std::memory_order_relaxed)) [[unlikely]]
    return FinishObservedStep(reinterpret_cast<TZ80Instance&>(s));
  ReleaseSingleStep(s, *reinterpret_cast<TZ80Instance&>(s).Owner);
  return Z80_OK;
}

// The exports' guard. Busy is taken with one compare-and-exchange, so that of
// two threads only one ever gets it, and held until the export's last touch
// of the instance (its window's refresh included): Z80_Destroy on another
// thread waits for it. The taker's thread is noted, so that a host callback
// it makes on that thread and that calls back into the library can be told
// from another thread's call. Z80_OK: taken; Z80_BUSY: held by another
// export, or a destroy waits for it; Z80_INVALID_OBJECT: destroyed meanwhile
// (nothing taken).
Z80Result TakeBusy(TZ80Object* object);
void ReleaseBusy(TZ80Object* object);
// TakeBusy with the refusal boxes: Z80_OK, or the code the export returns.
Z80Result TakeBusyOrRefuse(TZ80Object* object);
// The checks of an export refused while running (Z80_Start, Z80_ExecOver)
// in their order, then TakeBusyOrRefuse; Running is tested again once Busy
// is held, as another thread's start may have come in between.
Z80Result TakeBusyWhileStopped(TZ80Object* object);

// The library's own work on this thread for this instance: a callback of
// its run thread, an export holding Busy, or a use of its window. Z80_Destroy
// cannot wait for that work to end, and must not free what it returns into.
bool WorkingWithinOnThisThread(TZ80Object* object);

// The bookkeeping behind TCPUWindow::UseGuard. EnterWindowUse counts a use
// and returns the instance's window, or null when there is no live instance,
// it is being destroyed, or the given window (if any) is no longer its own.
TCPUWindow* EnterWindowUse(TZ80Object* object, const TCPUWindow* window);
void LeaveWindowUse(TZ80Object* object);

// The waits of the exports for another thread. What they wait for is short
// (a step, an export): look again a few times before settling into 1 ms
// sleeps, so that a wait costs microseconds rather than a scheduler tick.
template <typename Condition>
void WaitWhile(Condition condition) {
  for (int spin = 0; condition(); ++spin) {
    if (spin < 200) std::this_thread::yield();
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

inline constexpr std::string_view kCaption = "Модуль Z80";
inline constexpr std::string_view kBusyText =
    "Невозможно выполнить операцию -\nмодуль занят выполнением другой операции!";
inline constexpr std::string_view kInvalidText =
    "Невозможно выполнить операцию -\nуказан некорректный объект Z80!";

// The refusal boxes: return the code they stand for.
Z80Result RefuseBusy();
Z80Result RefuseInvalid();
Z80Result RefuseExecCycle(TZ80Object* object);

// The run thread's stop handshake and join, shared by Z80_Stop, Z80_Destroy
// and Z80_Shutdown. Returns with no run thread left.
void StopRunThread(TZ80Object* object);
// Joins a run thread that ended itself at a breakpoint.
void JoinFinishedRunThread(TZ80Object* object);

// True on the run thread of this instance (inside its host callbacks).
bool IsOwnRunThread(const TZ80Object* object);

// The shown debugger window's refresh, made by the exports while they hold
// Busy. The window reads memory through the host's OnRead meanwhile.
void RefreshWindow(TZ80Object* object, bool newStep);

// Test seam: makes the next thread creation of Z80_Start fail.
void FailNextThreadCreationForTesting();

}  // namespace z80
