// Run control: the run thread, start and stop.
//
// The GUI thread and the run thread meet only through the atomic flags of
// TZ80Object. Stopping is cooperative: the thread parks at the top of its
// loop (outside a step and outside OnAfterStep), acknowledges, and returns
// when told to exit; the GUI thread then joins it. A thread that stopped at a
// breakpoint has returned by itself and is joined by whichever export next
// needs the thread slot.
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/dialogs.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_core.h"
#include "z80/z80_instance.h"

namespace z80 {
namespace {

std::atomic<bool> g_failNextThread{false};

// The instance whose run thread this is (none on other threads).
thread_local const TZ80Object* t_runThreadOf = nullptr;

// Stands in for a host without an after-step callback, so the loop calls
// unconditionally.
void NoAfterStep(uint32_t, void*) {}

void Z80RunThread(TZ80Object* object) {
  TZ80Instance* instance = InstanceOf(object);
  TZ80State& s = instance->State;
  const TZ80AfterStepProc afterStep = object->OnAfterStep ? object->OnAfterStep : &NoAfterStep;
  void* const user = s.UserData;
  t_runThreadOf = object;

  for (;;) {
    if (object->StopRequest.load(std::memory_order_acquire)) {
      if (instance->ExitRequest.load(std::memory_order_acquire)) return;
      object->StopAck.store(1, std::memory_order_release);
      std::this_thread::yield();
      continue;
    }
    if (BreakpointTest(object, s.PC)) {
      // Stop before the instruction at the breakpoint; the debugger's status
      // tick hands the stop on to the host.
      object->BreakpointHit.store(1, std::memory_order_release);
      object->InStep.store(0, std::memory_order_release);
      object->Running.store(0, std::memory_order_release);
      return;
    }
    object->InStep.store(1, std::memory_order_release);
    Z80Step(s);
    object->InStep.store(0, std::memory_order_release);
    afterStep(s.Req.Ticks, user);
  }
}

}  // namespace

void JoinFinishedRunThread(TZ80Object* object) {
  if (object->ThreadHandle.joinable()) object->ThreadHandle.join();
  object->ThreadId = {};
}

void StopRunThread(TZ80Object* object) {
  if (object->ThreadHandle.joinable()) {
    TZ80Instance* instance = InstanceOf(object);
    object->StopAck.store(0);
    object->StopRequest.store(1);
    // The thread acknowledges once parked; a thread that met a breakpoint
    // meanwhile never will, but it has cleared Running and is returning.
    WaitWhile([object] { return object->InStep.load() && object->Running.load(); });
    WaitWhile([object] { return !object->StopAck.load() && object->Running.load(); });
    instance->ExitRequest.store(1);
    object->ThreadHandle.join();
    instance->ExitRequest.store(0);
  }
  object->ThreadId = {};
  object->InStep.store(0);
  object->Running.store(0);
}

bool IsOwnRunThread(const TZ80Object* object) { return t_runThreadOf == object; }

void FailNextThreadCreationForTesting() { g_failNextThread.store(true); }

}  // namespace z80

using namespace z80;

extern "C" {

Z80Result Z80_Start(TZ80Object* object) {
  if (const Z80Result taken = TakeBusyWhileStopped(object); taken != Z80_OK) return taken;
  JoinFinishedRunThread(object);
  object->SkipBreakAddress.store(object->StateRecord->PC);

  // Running goes up before the thread exists, so a thread that meets a
  // breakpoint at once can only ever clear it, never have it set after it.
  object->Running.store(1);
  // The new thread parks until its handle is stored: a callback of its
  // first steps may end the process, and the record's release then finds
  // the handle from the thread itself.
  object->StopRequest.store(1);
  try {
    if (g_failNextThread.exchange(false))
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    object->ThreadHandle = std::thread(Z80RunThread, object);
  } catch (const std::system_error&) {
    object->Running.store(0);
    platform::ShowMessage(kCaption, "Error create thread!", platform::MsgButtons::Ok,
                          platform::MsgIcon::Error);
    object->ThreadId = {};
    object->SkipBreakAddress.store(-1);
    ReleaseBusy(object);
    return Z80_THREAD_NOT_CREATED;
  }
  object->ThreadId = object->ThreadHandle.get_id();
  // While the new thread still parks: the refresh reads the registers,
  // which the thread writes from its first step on.
  RefreshWindow(object, false);
  object->StopRequest.store(0);
  ReleaseBusy(object);
  return Z80_OK;
}

Z80Result Z80_Stop(TZ80Object* object) {
  if (!object || !LiveState(object)) return RefuseInvalid();
  if (!object->Running.load()) return Z80_NOT_RUNNING;
  // The run thread cannot wait for itself to park (a host callback that
  // asks to stop its own processor): refused without a box, which this
  // thread must not show.
  if (IsOwnRunThread(object)) return Z80_BUSY;
  if (const Z80Result taken = TakeBusyOrRefuse(object); taken != Z80_OK) return taken;
  StopRunThread(object);
  RefreshWindow(object, true);
  ReleaseBusy(object);
  return Z80_OK;
}

}  // extern "C"
