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
// by the first successful create, freed only by Z80_Shutdown. The exports
// come from one thread; the mutex keeps a shutdown from another thread safe.
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
  if (IsRegistered(object)) Z80_Destroy(object);
}

// Z80_Destroy called back from the library's own work on this thread: from
// the run thread's callbacks, from the callbacks of a single step or a
// step-over in progress, or from the debugger window's status tick or
// refresh. Waiting for that work to end would never end, and destroying
// would free what it returns into.
bool CalledFromWithin(TZ80Object* object) {
  return IsOwnRunThread(object) || BusyHeldByThisThread(object) ||
         (object->Form && object->Form->InUse.load() != 0);
}

}  // namespace

// Z80_ExecCycle's refusals, in the order it tests them.
__attribute__((noinline)) Z80Result RefuseExecCycle(TZ80Object* object) {
  if (!object || !object->StateRecord) return RefuseInvalid();
  if (object->Running.load()) return Z80_RUNNING;
  return RefuseBusy();
}

__attribute__((noinline)) Z80Result FinishObservedStep(TZ80Instance& instance) {
  TZ80Object* const o = instance.Owner;
  const TZ80State& s = instance.State;
  if (const TZ80AfterStepProc afterStep = o->OnAfterStep) afterStep(s.Req.Ticks, s.UserData);
  ReleaseSingleStep(*o);
  // A live instance always has its window: Z80_Create makes it before it
  // clears Busy, Z80_Destroy deletes it only once it holds Busy.
  if (o->Form->Shown.load(std::memory_order_relaxed)) RefreshWindow(o, true);
  return Z80_OK;
}

void RefreshWindow(TZ80Object* object, bool newStep) {
  TCPUWindow* const form = object->Form;
  if (!form) return;
  const TCPUWindow::UseGuard inUse(*form);
  form->RefreshView(newStep);
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
  if (!object || !IsRegistered(object) || !object->StateRecord) return RefuseInvalid();
  // Refused without a box: the call comes from the host's code, not from
  // the user, and a box's event loop would run inside that work.
  if (CalledFromWithin(object)) return Z80_BUSY;
  while (object->Busy.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  TakeBusy(object);

  StopRunThread(object);
  object->Running.store(0);

  delete object->Form;
  object->Form = nullptr;

  delete InstanceOf(object);
  object->StateRecord = nullptr;

  delete object->Breakpoints;
  object->Breakpoints = nullptr;

  object->HasBreakpoints.store(0);
  object->BreakpointHit.store(0);
  object->OnAfterStep = nullptr;
  object->OnBreakpoint = nullptr;
  object->Release = nullptr;
  object->Busy.store(0);

  Unregister(object);
  return Z80_OK;
}

// The single step's code, this export and the handlers it jumps to, is
// marked hot: the linker puts it together, ahead of the rest of the text,
// and this export starts it on a page. Where the step falls then no longer
// depends on how much code comes before it in the program. (Moved about
// with the host's code, the same step ran up to a tenth faster or slower.)
[[gnu::hot, gnu::aligned(4096)]] Z80Result Z80_ExecCycle(TZ80Object* object) {
  // One test for every refusal, so that a host single-stepping a whole
  // frame pays little more than the step itself for the export.
  TZ80State* s = object ? object->StateRecord : nullptr;
  if (!s || RunningOrBusy(*object)) [[unlikely]] return RefuseExecCycle(object);
  // No run thread exists here, so the guard needs no fence. (The release
  // only keeps the compiler from putting the holder's note after it.)
  reinterpret_cast<TZ80Instance*>(s)->BusyThread.store(ThisThread(), std::memory_order_relaxed);
  object->Busy.store(1, std::memory_order_release);
  uint8_t op;
  // The state's address is read again after the fetch, not kept across
  // it: only the object then lives through the call, in one saved register.
  // (It cannot change meanwhile: Z80_Destroy waits until Busy is clear.)
  if (!Z80BeginStep<true>(*s, op)) [[unlikely]]
    return FinishSingleStep(*object->StateRecord);
  return Z80SingleStepTable[op](*object->StateRecord, object);
}

Z80Result Z80_ShowCPU(TZ80Object* object) {
  if (!object || !object->Form) return RefuseInvalid();
  {
    // Its first showing loads every display, reading memory through OnRead.
    const TCPUWindow::UseGuard inUse(*object->Form);
    object->Form->Show();
  }
  RefreshWindow(object, true);
  return Z80_OK;
}

int32_t Z80_IsRunning(TZ80Object* object) {
  if (!object) return 0;
  if (object->Busy.load()) return 2;
  return object->Running.load() ? 1 : 0;
}

void Z80_StatusTick(TZ80Object* object) {
  if (object && object->Form) object->Form->StatusTick();
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
