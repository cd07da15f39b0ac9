// The frame clock. The ULA raises /INT for a few T-states at the start of
// every frame; the emulated frame is counted in the processor's T-states,
// which the library reports after each step. Everything per frame (input,
// picture, sound frame) hangs off the single test for the frame end.
#include "machine/hardware.h"

namespace {
inline TZXHardware& Machine(void* user) { return *static_cast<TZXHardware*>(user); }
}  // namespace

// The INT line after the step's T-states are counted. The ULA holds /INT
// low for the window at the start of each frame; the sound plug-in's frame
// routine runs there too.
__attribute__((always_inline)) inline void TZXHardware::StepIntLine() {
  TZ80State& cpu = *cpu_;
  const bool inWindow =
      FrameTact >= Timing.timeInterruptBegin && FrameTact <= Timing.timeInterruptEnd;
  cpu.Req.IntLine.store(inWindow ? 1 : 0, std::memory_order_relaxed);
  if (inWindow) [[unlikely]] {
    SoundChip.FrameLoop();
    return;
  }
  if (cpu.Req.Halted) [[unlikely]]
    HaltSkip();
}

// Align M1, the tape trap and the frame end, in this order, then the INT
// line: the rare kind of step, kept out of line and finished here, so the
// common path ends in a tail call and needs no stack frame.
__attribute__((noinline)) void TZXHardware::StepEvents() {
  // Align M1: on the Scorpion the ULA holds the processor's clock so that
  // opcode fetches from RAM start on even T-states.
  if (Timing.execAlignM1 && cpu_->PC >= 0x4000 && (FrameTact & 1)) {
    ++FrameTact;
    ++GlobalTact;
  }

  if (cpu_->PC == 0x056B && TapeTrapsEnabled && TapeEmulationEnabled && !TrdosActive &&
      !ExtRomActive && Windows[0] == Rom48Slot)
    tape_->TapeTrapLoad(*this);

  const uint32_t loop = Timing.timeLoopTime;
  if (FrameTact >= loop) {
    FrameTact -= loop;
    // The period was shortened meanwhile: start the new frame afresh.
    if (FrameTact > loop) FrameTact = 0;
    EndOfFrame();
  }
  StepIntLine();
}

// A halted processor executes NOPs (4 T-states each, each refreshing R)
// until the interrupt. Jump over them in one go, stopping 8 T-states short
// of the frame end so the next halted steps cross it normally. The passes
// are counted in closed form: the first 4-T-state pass that lands in the
// INT window or reaches the limit ends the skip.
void TZXHardware::HaltSkip() {
  const uint32_t loop = Timing.timeLoopTime;
  if (loop <= 8) return;  // no room to skip in a frame this short
  const uint32_t intBegin = Timing.timeInterruptBegin;
  const uint32_t intEnd = Timing.timeInterruptEnd;
  const uint32_t limit = loop - 8;
  const uint32_t start = FrameTact;
  if (start >= limit) return;
  uint32_t passes = (limit - start + 3) / 4;
  if (start < intBegin) {
    const uint32_t toWindow = (intBegin - start + 3) / 4;
    if (toWindow < passes && start + 4 * toWindow <= intEnd) passes = toWindow;
  }
  FrameTact = start + 4 * passes;
  GlobalTact += 4ull * passes;
  const uint8_t r = static_cast<uint8_t>(cpu_->IR);
  const uint8_t newR = static_cast<uint8_t>((r & 0x80) | ((r + passes) & 0x7F));
  cpu_->IR = static_cast<uint16_t>((cpu_->IR & 0xFF00) | newR);
}

// Runs after every instruction: its common path is two additions, one test
// for the rare events, the INT window test and the halt test.
__attribute__((always_inline)) inline void TZXHardware::Step(int32_t ticks) {
  const uint32_t tact = FrameTact + static_cast<uint32_t>(ticks);
  FrameTact = tact;
  GlobalTact += static_cast<uint64_t>(static_cast<int64_t>(ticks));
  if (tact >= Timing.timeLoopTime || cpu_->PC == 0x056B || Timing.execAlignM1) [[unlikely]] {
    StepEvents();
    return;
  }
  StepIntLine();
}

void TZXHardware::OnStep(int32_t ticks) { AfterCpuStep(static_cast<uint32_t>(ticks), this); }

void TZXHardware::AfterCpuStep(uint32_t stepTicks, void* user) {
  TZXHardware& m = Machine(user);
  m.Step(static_cast<int32_t>(stepTicks));
}

void TZXHardware::EndOfFrame() {
  input_->PollKeyboard(*this);
  input_->PollKeypadJoystick(*this);
  // The mouse is skipped while a display routine is at work (entering or
  // leaving full screen changes how the mouse is held); its movement is
  // picked up by the next poll.
  if (DisplayBusy.try_lock()) {
    DisplayBusy.unlock();
    input_->PollMouse(*this);
  }
  EndFrame();
  if (StateSlot.Watched()) [[unlikely]]
    PublishState();
}

// LD A,I and LD A,R copy IFF2 into the flags, so they must see an interrupt
// that starts while they are still running.
void TZXHardware::UpdateIntLine(void* user) {
  TZXHardware& m = Machine(user);
  uint32_t t = m.FrameTact + m.cpu_->Req.Ticks;
  if (t >= m.Timing.timeLoopTime) t -= m.Timing.timeLoopTime;
  if (t >= m.Timing.timeInterruptBegin && t <= m.Timing.timeInterruptEnd)
    m.cpu_->Req.IntLine.store(1, std::memory_order_relaxed);
}

void TZXHardware::DebuggerBreak(void* user) {
  TZXHardware& m = Machine(user);
  if (m.FullScreenFlag) m.display_->LeaveFullScreen(m);
}

void TZXHardware::RefreshScreen() {
  if (!DisplayBusy.try_lock()) return;
  DisplayBusy.unlock();
  EndFrame();
}
