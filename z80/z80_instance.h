// Library-internal parts of an instance and the shared pieces of the exports.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
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
  // The thread whose export holds Busy (see TakeBusy).
  std::atomic<const void*> BusyThread{nullptr};
};
static_assert(std::is_standard_layout_v<TZ80Instance>);

// Bits of Req.StepObservers.
inline constexpr uint8_t kObserveAfterStep = 1;  // the host gave OnAfterStep
inline constexpr uint8_t kObserveWindow = 2;     // the debugger window is shown

// The end of a single step that someone watches: OnAfterStep inside the
// guard, then the shown window's refresh after it.
Z80Result FinishObservedStep(TZ80Instance& instance);

// Running and Busy side by side: Z80_ExecCycle tests them with one load and
// a single step ends by storing both. A byte store to Busy held up the next
// step's loads of the pair beside it (a bare step took a fifth longer);
// a store of the pair is handed to the pair's load at once. Running is 0
// all through a single step (it is refused while a run thread exists, and
// Z80_Start is refused while Busy is set), so the store leaves it as it was.
static_assert(offsetof(TZ80Object, Busy) == offsetof(TZ80Object, Running) + 1);
static_assert(offsetof(TZ80Object, Running) % alignof(uint16_t) == 0);
using GuardPairType __attribute__((may_alias)) = uint16_t;
// Acquire: a run thread that stopped at a breakpoint has not been joined
// yet, and its last step's state must be seen before this step uses it.
inline bool RunningOrBusy(const TZ80Object& object) {
  return __atomic_load_n(reinterpret_cast<const GuardPairType*>(&object.Running),
                         __ATOMIC_ACQUIRE) != 0;
}
inline void ReleaseSingleStep(TZ80Object& object) {
  __atomic_store_n(reinterpret_cast<GuardPairType*>(&object.Running), 0, __ATOMIC_RELEASE);
}

// The end of a single step that went the slow way: a request, a halted
// processor, or someone watching the step. (The usual step ends in its
// handler, which only releases the guard.)
inline Z80Result FinishSingleStep(TZ80State& s) {
  if (s.Req.StepObservers.load(std::memory_order_relaxed)) [[unlikely]]
    return FinishObservedStep(reinterpret_cast<TZ80Instance&>(s));
  ReleaseSingleStep(*reinterpret_cast<TZ80Instance&>(s).Owner);
  return Z80_OK;
}

inline TZ80Instance* InstanceOf(TZ80Object* object) {
  return reinterpret_cast<TZ80Instance*>(object->StateRecord);
}

// Tells threads apart for the price of one load.
inline const void* ThisThread() { return __builtin_thread_pointer(); }

// An export takes Busy and notes its thread first, so that a host callback
// it makes on that thread (a bus or after-step callback of a single step or
// a step-over) and that calls back into the library can be told from
// another thread's call, which waits for Busy to clear.
inline void TakeBusy(TZ80Object* object, std::memory_order order = std::memory_order_seq_cst) {
  InstanceOf(object)->BusyThread.store(ThisThread(), std::memory_order_relaxed);
  object->Busy.store(1, order);
}
inline bool BusyHeldByThisThread(TZ80Object* object) {
  return object->Busy.load() && InstanceOf(object)->BusyThread.load(std::memory_order_relaxed) ==
                                    ThisThread();
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

// The shown debugger window's refresh, made by the exports. The window may
// read memory through the host's OnRead meanwhile, so it is marked in use.
void RefreshWindow(TZ80Object* object, bool newStep);

// Test seam: makes the next thread creation of Z80_Start fail.
void FailNextThreadCreationForTesting();

}  // namespace z80
