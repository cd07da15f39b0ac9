// Step-over: runs the instruction at PC on the caller's thread until PC
// reaches the address after it (a call or a restart returns there), or for
// one step when the instruction transfers control elsewhere.
#include "platform/dialogs.h"
#include "z80/debugger/cpu_window.h"
#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/disassembler.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_core.h"
#include "z80/z80_instance.h"

namespace {

constexpr long kStepOverQuestionEvery = 1000000;
constexpr int kStepOverWindow = 1024;

}  // namespace

using namespace z80;

extern "C" {

Z80Result Z80_ExecOver(TZ80Object* object) {
  if (const Z80Result taken = TakeBusyWhileStopped(object); taken != Z80_OK) return taken;
  JoinFinishedRunThread(object);
  TZ80State& s = *object->StateRecord;

  uint8_t bytes[kStepOverWindow];
  for (int i = 0; i < kStepOverWindow; ++i)
    bytes[i] = s.OnRead(static_cast<uint16_t>(s.PC + i), s.UserData);
  int length = 0;
  Z80Disassemble(bytes, sizeof bytes, s.PC, true, length);
  if (length < 1) length = 1;
  const uint16_t stopAddress = static_cast<uint16_t>(s.PC + length);
  // Calls and restarts come back to the stop address; jumps, returns and
  // HALT may never reach it, so they get one step.
  const z80dbg::TZ80OpInfo* op = z80dbg::Z80FindOp(bytes, sizeof bytes);
  const z80dbg::TZ80Flow flow = op ? op->Flow : z80dbg::TZ80Flow::Next;
  const bool single = s.Req.Halted != 0 || flow == z80dbg::TZ80Flow::Jump ||
                      flow == z80dbg::TZ80Flow::Return || flow == z80dbg::TZ80Flow::Halt;

  object->SkipBreakAddress.store(s.PC);
  object->BreakpointHit.store(0);
  long steps = 0;
  for (;;) {
    if (steps == kStepOverQuestionEvery) {
      const auto answer = platform::ShowMessage(
          "Запрос на продолжение...",
          "Выполнен 1 000 000 циклов,\nно управление на следующий адрес\nне передано!\n"
          "Остановить исполнение?",
          platform::MsgButtons::OkCancel, platform::MsgIcon::Question);
      if (answer == platform::MsgResult::Ok) break;
      steps = 0;
    }
    ++steps;
    if (BreakpointTest(object, s.PC)) object->BreakpointHit.store(1);
    if (object->BreakpointHit.load()) {
      object->BreakpointHit.store(0);
      break;
    }
    Z80Step(s);
    if (object->OnAfterStep) object->OnAfterStep(s.Req.Ticks, s.UserData);
    if (s.PC == stopAddress || single) break;
  }

  RefreshWindow(object, true);
  ReleaseBusy(object);
  return Z80_OK;
}

}  // extern "C"
