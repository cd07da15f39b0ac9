// The instance interface: create, destroy, single step, show, the running
// query, the list of registered instances and the unload routine.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dialogs.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_core.h"
#include "z80/z80_host.h"
#include "z80/z80_instance.h"

namespace z80 {
namespace {

// Every record Z80_Create filled and Z80_Destroy has not yet removed. Made
// by the first successful create, freed only by Z80_Shutdown. The mutex also
// guards the instances' window uses and Z80_Destroy's clearing of
// StateRecord, which the other threads' looks at an instance wait for.
std::vector<TZ80Object*>* Z80Instances = nullptr;
std::mutex g_instancesMutex;

bool IsRegistered(TZ80Object* object) {
  std::lock_guard lock(g_instancesMutex);
  return Z80Instances &&
         std::find(Z80Instances->begin(), Z80Instances->end(), object) != Z80Instances->end();
}

void Unregister(TZ80Object* object) {
  std::lock_guard lock(g_instancesMutex);
  if (!Z80Instances) return;
  auto& list = *Z80Instances;
  list.erase(std::remove(list.begin(), list.end(), object), list.end());
}

// A record going away with its instance still live.
void ReleaseRecord(TZ80Object* object) {
  if (!IsRegistered(object)) return;
  if (IsOwnRunThread(object)) {
    // The process ends from inside one of this instance's callbacks (a
    // test runner's exit on its final OUT): this thread cannot wait for
    // itself, and it never returns into the step. Nothing is freed (the
    // GUI thread may still be looking at the instance), but the thread must
    // not be left joinable in a record whose destruction ends here.
    object->ThreadHandle.detach();
    Unregister(object);
    return;
  }
  Z80_Destroy(object);
}

// Counts a destroy waiting for Busy on the live instance (held still by the
// lock: a destroy frees it only once it has cleared StateRecord under it).
TZ80Instance* AnnounceDestroy(TZ80Object* object) {
  std::lock_guard lock(g_instancesMutex);
  TZ80Instance* const instance = InstanceOf(object);
  if (instance) instance->DestroyWaiters.fetch_add(1, std::memory_order_relaxed);
  return instance;
}

// Holds every new use of the window off and waits for those going on (on
// other threads: this one holds none) to end.
void CloseWindowUses(TZ80Object* object) {
  TZ80Instance* const instance = InstanceOf(object);
  {
    std::lock_guard lock(g_instancesMutex);
    instance->Closing = true;
  }
  WaitWhile([instance] {
    std::lock_guard lock(g_instancesMutex);
    return instance->WindowUses != 0;
  });
}

}  // namespace

// Z80_ExecCycle's refusals, in the order it tests them.
__attribute__((noinline)) Z80Result RefuseExecCycle(TZ80Object* object) {
  if (!object || !LiveState(object)) return RefuseInvalid();
  if (object->Running.load()) return Z80_RUNNING;
  return RefuseBusy();
}

__attribute__((noinline)) Z80Result FinishObservedStep(TZ80Instance& instance) {
  TZ80Object* const o = instance.Owner;
  const TZ80State& s = instance.State;
  if (const TZ80AfterStepProc afterStep = o->OnAfterStep) afterStep(s.Req.Ticks, s.UserData);
  // A live instance always has its window: Z80_Create makes it before it
  // clears Busy, Z80_Destroy deletes it only once it holds Busy.
  if (o->Form->Shown.load(std::memory_order_relaxed)) RefreshWindow(o, true);
  ReleaseSingleStep(instance.State, *o);
  return Z80_OK;
}

void RefreshWindow(TZ80Object* object, bool newStep) {
  const TCPUWindow::UseGuard inUse(object);
  if (inUse) inUse.Window()->RefreshView(newStep);
}

namespace {

// Busy taken whatever Running is (the run thread may clear it meanwhile).
bool CompareAndTakeBusy(TZ80Object* object) {
  GuardPairType* const pair = GuardPair(*object);
  GuardPairType seen = __atomic_load_n(pair, __ATOMIC_RELAXED);
  while (!(seen & kPairBusyMask))
    if (__atomic_compare_exchange_n(pair, &seen, seen | kPairBusyOnly, false, __ATOMIC_ACQUIRE,
                                    __ATOMIC_RELAXED))
      return true;
  return false;
}

void GiveBackBusy(TZ80Object* object) {
  __atomic_fetch_and(GuardPair(*object), static_cast<GuardPairType>(~kPairBusyMask),
                     __ATOMIC_RELEASE);
}

}  // namespace

Z80Result TakeBusy(TZ80Object* object) {
  if (!CompareAndTakeBusy(object)) return Z80_BUSY;
  TZ80Instance* const instance = InstanceOf(object);
  if (!instance || instance->DestroyWaiters.load(std::memory_order_relaxed)) {
    GiveBackBusy(object);
    return instance ? Z80_BUSY : Z80_INVALID_OBJECT;
  }
  instance->BusyThread.store(ThisThread(), std::memory_order_relaxed);
  return Z80_OK;
}

void ReleaseBusy(TZ80Object* object) {
  InstanceOf(object)->BusyThread.store(nullptr, std::memory_order_relaxed);
  GiveBackBusy(object);
}

Z80Result TakeBusyOrRefuse(TZ80Object* object) {
  switch (TakeBusy(object)) {
    case Z80_OK: return Z80_OK;
    case Z80_BUSY: return RefuseBusy();
    default: return RefuseInvalid();
  }
}

Z80Result TakeBusyWhileStopped(TZ80Object* object) {
  if (!object || !LiveState(object)) return RefuseInvalid();
  if (object->Running.load()) return Z80_RUNNING;
  if (const Z80Result taken = TakeBusyOrRefuse(object); taken != Z80_OK) return taken;
  if (object->Running.load()) {
    ReleaseBusy(object);
    return Z80_RUNNING;
  }
  return Z80_OK;
}

bool WorkingWithinOnThisThread(TZ80Object* object) {
  if (IsOwnRunThread(object) || TCPUWindow::UseGuard::HeldOnThisThread(object)) return true;
  // Under the lock: Z80_Destroy on another thread frees the instance only
  // once it has cleared StateRecord under it.
  std::lock_guard lock(g_instancesMutex);
  const TZ80State* s = LiveState(object);
  return s && object->Busy.load() &&
         reinterpret_cast<const TZ80Instance*>(s)->BusyThread.load(std::memory_order_relaxed) ==
             ThisThread();
}

TCPUWindow* EnterWindowUse(TZ80Object* object, const TCPUWindow* window) {
  std::lock_guard lock(g_instancesMutex);
  // A window detached by a destroy on another thread may name a record
  // that is gone: the destroy detaches it before it clears StateRecord
  // under this lock, so a window still attached here names a live record.
  if (window && __atomic_load_n(&window->Z80Object, __ATOMIC_RELAXED) != object) return nullptr;
  TZ80State* const s = LiveState(object);
  if (!s) return nullptr;
  auto& instance = reinterpret_cast<TZ80Instance&>(*s);
  if (instance.Closing || !object->Form) return nullptr;
  ++instance.WindowUses;
  return object->Form;
}

void LeaveWindowUse(TZ80Object* object) {
  std::lock_guard lock(g_instancesMutex);
  --InstanceOf(object)->WindowUses;
}

// A single step's guard given back: the record was destroyed meanwhile, or
// a destroy waits for it.
__attribute__((noinline)) Z80Result RefuseHeldSingleStep(TZ80Object* object) {
  const bool gone = !object->StateRecord;
  __atomic_store_n(GuardPair(*object), 0, __ATOMIC_RELEASE);
  return gone ? RefuseInvalid() : RefuseBusy();
}

Z80Result RefuseBusy() {
  platform::ShowMessage(kCaption, kBusyText, platform::MsgButtons::Ok);
  return Z80_BUSY;
}

Z80Result RefuseInvalid() {
  platform::ShowMessage(kCaption, kInvalidText, platform::MsgButtons::Ok);
  return Z80_INVALID_OBJECT;
}

}  // namespace z80

using namespace z80;

platform::Dialogs* Z80_SetDialogs(platform::Dialogs* dialogs) {
  return platform::SetDialogs(dialogs);
}

extern "C" {

Z80Result Z80_Create(const char* name, TZ80FetchProc onFetch, TZ80ReadProc onRead,
                     TZ80WriteProc onWrite, TZ80PortInProc onPortIn, TZ80PortOutProc onPortOut,
                     TZ80IntCheckProc onIntCheck, TZ80AfterStepProc onAfterStep,
                     TZ80BreakpointProc onBreakpoint, void* userData, TZ80Object* object) {
  if (!object) return RefuseInvalid();
  if (IsRegistered(object)) return Z80_ALREADY_REGISTERED;
  object->Busy.store(1);

  std::memset(object->Name, 0, sizeof object->Name);
  if (name) std::strncpy(object->Name, name, sizeof object->Name - 1);

  object->StateRecord = nullptr;
  object->OnAfterStep = nullptr;
  object->OnBreakpoint = nullptr;
  object->Breakpoints = nullptr;
  object->ThreadId = {};
  object->Form = nullptr;
  object->Running.store(0);
  object->StopRequest.store(0);
  object->InStep.store(0);
  object->StopAck.store(0);
  object->HasBreakpoints.store(0);
  object->BreakpointHit.store(0);
  object->SkipBreakAddress.store(-1);

  object->Breakpoints = new TZ80BreakpointList;

  // Zero-filled, so a host that steps before writing the registers (or
  // before a reset) gets a defined processor.
  auto* instance = new TZ80Instance{};
  TZ80State& s = instance->State;
  instance->Owner = object;
  s.UserData = userData;
  s.OnFetch = onFetch;
  s.OnRead = onRead;
  s.OnWrite = onWrite;
  s.OnPortIn = onPortIn;
  s.OnPortOut = onPortOut;
  s.OnIntCheck = onIntCheck;
  object->StateRecord = &s;
  object->RequestLines = &s.Req;
  object->State = &s;

  TCPUWindow* form = CreateCPUWindow();
  form->Z80Object = object;
  object->Form = form;

  s.Req.ResetPending.store(0);
  s.Req.IntLine.store(0);
  s.Req.NmiPending.store(0);
  s.Req.IntVector.store(0xFF);
  s.Req.IM = 0;
  s.Req.PrefixRun = 0;

  object->OnAfterStep = onAfterStep;
  object->OnBreakpoint = onBreakpoint;
  object->Release = &ReleaseRecord;
  if (onAfterStep) s.Req.StepObservers.fetch_or(kObserveAfterStep);
  object->Busy.store(0);

  std::lock_guard lock(g_instancesMutex);
  if (!Z80Instances) Z80Instances = new std::vector<TZ80Object*>;
  Z80Instances->push_back(object);
  return Z80_OK;
}

Z80Result Z80_Destroy(TZ80Object* object) {
  if (!object || !IsRegistered(object) || !LiveState(object)) return RefuseInvalid();
  // Refused without a box: the call comes from the host's code, not from
  // the user, and a box's event loop would run inside that work.
  if (WorkingWithinOnThisThread(object)) return Z80_BUSY;
  // Another thread's export: waited for, not refused.
  TZ80Instance* const instance = AnnounceDestroy(object);
  if (!instance) return RefuseInvalid();
  WaitWhile([object] { return !CompareAndTakeBusy(object); });
  if (LiveState(object) != &instance->State) {
    // Destroyed meanwhile by another thread (and maybe created again).
    GiveBackBusy(object);
    return RefuseInvalid();
  }
  instance->DestroyWaiters.fetch_sub(1, std::memory_order_relaxed);
  instance->BusyThread.store(ThisThread(), std::memory_order_relaxed);
  CloseWindowUses(object);

  StopRunThread(object);
  object->Running.store(0);

  if (TCPUWindow* const form = object->Form) {
    object->Form = nullptr;
    form->Dispose();
  }

  {
    std::lock_guard lock(g_instancesMutex);
    __atomic_store_n(&object->StateRecord, nullptr, __ATOMIC_RELEASE);
  }
  delete instance;

  delete object->Breakpoints;
  object->Breakpoints = nullptr;

  object->HasBreakpoints.store(0);
  object->BreakpointHit.store(0);
  object->OnAfterStep = nullptr;
  object->OnBreakpoint = nullptr;
  object->Release = nullptr;
  GiveBackBusy(object);

  Unregister(object);
  return Z80_OK;
}

// The single step's code, this export and the handlers it jumps to, is
// marked hot: the linker puts it together, ahead of the rest of the text,
// and this export starts it on a page. Where the step falls then no longer
// depends on how much code comes before it in the program. (Moved about
// with the host's code, the same step ran up to a tenth faster or slower.)
[[gnu::hot, gnu::aligned(4096)]] Z80Result Z80_ExecCycle(TZ80Object* object) {
  // One test for the refusals but one, so that a host single-stepping a
  // whole frame pays little more than the step itself for the export.
  if (!object || !TakeSingleStep(*object)) [[unlikely]] return RefuseExecCycle(object);
  TZ80State* const s = object->StateRecord;  // held still by the guard
  if (!s || reinterpret_cast<TZ80Instance*>(s)->DestroyWaiters.load(std::memory_order_relaxed))
      [[unlikely]]
    return RefuseHeldSingleStep(object);
  reinterpret_cast<TZ80Instance*>(s)->BusyThread.store(ThisThread(), std::memory_order_relaxed);
  uint8_t op;
  // The state's address is read again after the fetch, not kept across
  // it: only the object then lives through the call, in one saved register.
  // (It cannot change meanwhile: Z80_Destroy waits until Busy is clear.)
  if (!Z80BeginStep<true>(*s, op)) [[unlikely]]
    return FinishSingleStep(*object->StateRecord);
  return Z80SingleStepTable[op](*object->StateRecord, object);
}

Z80Result Z80_ShowCPU(TZ80Object* object) {
  // Its first showing loads every display, reading memory through OnRead.
  const TCPUWindow::UseGuard inUse(object);
  if (!inUse) return RefuseInvalid();
  inUse.Window()->Show();
  inUse.Window()->RefreshView(true);
  return Z80_OK;
}

int32_t Z80_IsRunning(TZ80Object* object) {
  if (!object) return 0;
  if (object->Busy.load()) return 2;
  return object->Running.load() ? 1 : 0;
}

void Z80_StatusTick(TZ80Object* object) {
  const TCPUWindow::UseGuard inUse(object);
  if (inUse) inUse.Window()->StatusTick();
}

void Z80_Shutdown(void) {
  for (;;) {
    TZ80Object* object = nullptr;
    {
      std::lock_guard lock(g_instancesMutex);
      if (!Z80Instances) return;
      if (Z80Instances->empty()) {
        delete Z80Instances;
        Z80Instances = nullptr;
        return;
      }
      object = Z80Instances->front();
    }
    // Destroy stops a running thread with the same handshake as Z80_Stop.
    if (Z80_Destroy(object) != Z80_OK) Unregister(object);
  }
}

}  // extern "C"

namespace {

// Runs when the library is unloaded (or the program exits): nothing of an
// instance the host forgot may outlive the code it runs.
__attribute__((destructor)) void Z80Unload() { Z80_Shutdown(); }

}  // namespace
