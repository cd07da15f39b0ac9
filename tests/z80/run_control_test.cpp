// The run thread against the GUI thread: stop handshakes, breakpoints that
// change while running, stops racing breakpoint stops. Run under
// ThreadSanitizer as well (label "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/recording_dialogs.h"
#include "support/stress_rounds.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_host.h"
#include "z80_test_bus.h"

namespace {

using testing_support::ScopedDialogs;
using namespace std::chrono_literals;

// The memory is written before the thread starts and only read while it
// runs; the counters are atomics.
struct Host {
  uint8_t memory[65536] = {};
  std::atomic<long> steps{0};
  std::atomic<int> breakpointCalls{0};
  TZ80Object object;
  ScopedDialogs<decltype(&Z80_SetDialogs)> dialogs{&Z80_SetDialogs};

  static Host& Of(void* u) { return *static_cast<Host*>(u); }
  static uint8_t Fetch(uint32_t a, void* u) { return Of(u).memory[a & 0xFFFF]; }
  static void Write(uint32_t, uint8_t, void*) {}
  static uint8_t In(uint32_t, void*) { return 0xFF; }
  static void Out(uint32_t, uint8_t, void*) {}
  static void IntCheck(void*) {}
  std::atomic<bool> callExportsFromCallback{false};
  std::atomic<int> stopFromCallback{-1}, destroyFromCallback{-1};
  static void AfterStep(uint32_t, void* u) {
    Host& h = Of(u);
    h.steps.fetch_add(1, std::memory_order_relaxed);
    if (h.callExportsFromCallback.exchange(false)) {
      h.stopFromCallback = Z80_Stop(&h.object);
      h.destroyFromCallback = Z80_Destroy(&h.object);
    }
  }
  std::atomic<bool> destroyOnBreakpoint{false};
  static void OnBreakpoint(void* u) {
    Host& h = Of(u);
    ++h.breakpointCalls;
    if (h.destroyOnBreakpoint) h.destroyFromCallback = Z80_Destroy(&h.object);
  }

  explicit Host(bool withBreakpointCallback = true) {
    EXPECT_EQ(Z80_Create(nullptr, Fetch, Fetch, Write, In, Out, IntCheck, AfterStep,
                         withBreakpointCallback ? OnBreakpoint : nullptr, this, &object),
              Z80_OK);
    // 0000: NOP; NOP; NOP; JR 0000
    memory[0] = memory[1] = memory[2] = 0x00;
    memory[3] = 0x18;
    memory[4] = 0xFB;
  }
  ~Host() {
    EXPECT_EQ(Z80_Destroy(&object), Z80_OK);
    EXPECT_TRUE(dialogs.dialogs.Messages().empty());
  }
  TZ80State& S() { return *object.StateRecord; }
  void WaitForSteps(long n) {
    const long target = steps.load() + n;
    while (steps.load() < target && object.Running.load()) std::this_thread::yield();
  }
  // The bound only keeps a thread that never stops from hanging the suite;
  // no busy machine takes that long to run a few steps.
  bool WaitForStopped() {
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (object.Running.load() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return object.Running.load() == 0;
  }
};

TEST(RunControl, StartStopTenThousandTimes) {
  Host h;
  const testing_support::StressRounds rounds(10000, 200);
  for (int i = 0; rounds.Go(i); ++i) {
    ASSERT_EQ(Z80_Start(&h.object), Z80_OK) << i;
    ASSERT_EQ(Z80_IsRunning(&h.object), 1);
    ASSERT_EQ(Z80_Stop(&h.object), Z80_OK) << i;
    ASSERT_EQ(Z80_IsRunning(&h.object), 0);
    ASSERT_LT(h.S().PC, 5);
  }
  EXPECT_FALSE(h.object.ThreadHandle.joinable());
}

TEST(RunControl, StopWaitsForARunningThreadMidFrame) {
  Host h;
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  h.WaitForSteps(100000);
  const long before = h.steps.load();
  ASSERT_EQ(Z80_Stop(&h.object), Z80_OK);
  const long after = h.steps.load();
  EXPECT_GE(after, before);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(h.steps.load(), after) << "no callback after Stop returned";
  EXPECT_EQ(Z80_Stop(&h.object), Z80_NOT_RUNNING);
  EXPECT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
}

TEST(RunControl, BreakpointAtTheStartIsSkippedOnce) {
  Host h;
  z80::BreakpointAdd(&h.object, 0x0000);
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  ASSERT_TRUE(h.WaitForStopped());
  EXPECT_EQ(h.S().PC, 0x0000);
  EXPECT_EQ(h.steps.load(), 4) << "NOP NOP NOP JR, then the breakpoint";
  EXPECT_EQ(h.object.BreakpointHit, 1);
  EXPECT_EQ(Z80_IsRunning(&h.object), 0);
  EXPECT_EQ(Z80_Stop(&h.object), Z80_NOT_RUNNING);

  // The status tick hands the stop to the host, shows the window, consumes it.
  auto& window = *static_cast<TNullCPUWindow*>(h.object.Form);
  Z80_StatusTick(&h.object);
  EXPECT_EQ(h.breakpointCalls, 1);
  EXPECT_TRUE(window.IsVisible());
  EXPECT_TRUE(window.BreakpointCommandsEnabled());
  EXPECT_EQ(h.object.BreakpointHit, 0);
  Z80_StatusTick(&h.object);
  EXPECT_EQ(h.breakpointCalls, 1);

  // Started again from the breakpoint: skips it once, stops there next time.
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  Z80_StatusTick(&h.object);
  ASSERT_TRUE(h.WaitForStopped());
  EXPECT_EQ(h.steps.load(), 8);
  EXPECT_EQ(h.S().PC, 0x0000);
}

TEST(RunControl, BreakpointWithoutHostCallbackStillShowsTheWindow) {
  Host h(false);
  z80::BreakpointAdd(&h.object, 0x0002);
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  ASSERT_TRUE(h.WaitForStopped());
  Z80_StatusTick(&h.object);
  EXPECT_EQ(h.breakpointCalls, 0);
  EXPECT_TRUE(h.object.Form->IsVisible());
  EXPECT_EQ(h.object.BreakpointHit, 0);
}

TEST(RunControl, BreakpointsChangedWhileRunning) {
  Host h;
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  for (int i = 0; i < 20000; ++i) {
    z80::BreakpointAdd(&h.object, 0x1000 + (i & 0xFF));  // never reached
    if (i & 1) z80::BreakpointRemove(&h.object, 0x1000 + ((i - 1) & 0xFF));
    if ((i & 0x3FF) == 0) z80::BreakpointClear(&h.object);
  }
  EXPECT_EQ(Z80_IsRunning(&h.object), 1);
  z80::BreakpointAdd(&h.object, 0x0003);
  ASSERT_TRUE(h.WaitForStopped());
  EXPECT_EQ(h.S().PC, 0x0003);
  EXPECT_EQ(Z80_Stop(&h.object), Z80_NOT_RUNNING);
}

TEST(RunControl, StopRacingABreakpointNeverHangs) {
  Host h;
  z80::BreakpointAdd(&h.object, 0x0002);
  int stoppedByUs = 0, stoppedByBreakpoint = 0;
  const testing_support::StressRounds rounds(2000, 100);
  int i = 0;
  for (; rounds.Go(i); ++i) {
    h.S().PC = 0;
    h.object.BreakpointHit = 0;
    ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
    const Z80Result r = Z80_Stop(&h.object);
    ASSERT_TRUE(r == Z80_OK || r == Z80_NOT_RUNNING) << r;
    ASSERT_EQ(h.object.Running, 0);
    if (h.object.BreakpointHit) ++stoppedByBreakpoint;
    else ++stoppedByUs;
  }
  EXPECT_EQ(stoppedByUs + stoppedByBreakpoint, i);
}

TEST(RunControl, ExportsFromTheRunThreadItselfAreRefusedNotHung) {
  Host h;
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  h.callExportsFromCallback = true;
  while (h.destroyFromCallback.load() < 0) std::this_thread::yield();
  EXPECT_EQ(h.stopFromCallback, Z80_BUSY);
  EXPECT_EQ(h.destroyFromCallback, Z80_BUSY);
  EXPECT_EQ(Z80_IsRunning(&h.object), 1);
  EXPECT_EQ(Z80_Stop(&h.object), Z80_OK);
}

TEST(RunControl, DestroyFromTheBreakpointHandOverIsRefusedAndTheTickEnds) {
  Host h;
  h.destroyOnBreakpoint = true;
  z80::BreakpointAdd(&h.object, 0x0002);
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  ASSERT_TRUE(h.WaitForStopped());
  Z80_StatusTick(&h.object);
  EXPECT_EQ(h.breakpointCalls, 1);
  EXPECT_EQ(h.destroyFromCallback, Z80_BUSY);
  EXPECT_TRUE(h.object.Form->IsVisible());
  EXPECT_EQ(h.object.BreakpointHit, 0);
  // ~Host destroys it once the tick is over.
}

TEST(RunControl, MemoryFullOfPrefixesStillStops) {
  Host h;
  for (auto& b : h.memory) b = 0xFD;
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  h.WaitForSteps(1000);
  ASSERT_EQ(Z80_Stop(&h.object), Z80_OK);
  EXPECT_NE(h.S().Req.PrefixRun, 0);
  ASSERT_EQ(Z80_Start(&h.object), Z80_OK);
  h.WaitForSteps(10);
  // Destroy (in ~Host) stops the thread itself.
}

TEST(RunControl, DestroyJoinsAThreadThatStoppedAtABreakpoint) {
  auto h = std::make_unique<Host>();
  z80::BreakpointAdd(&h->object, 0x0001);
  ASSERT_EQ(Z80_Start(&h->object), Z80_OK);
  ASSERT_TRUE(h->WaitForStopped());
  EXPECT_TRUE(h->object.ThreadHandle.joinable());
  h.reset();  // no abort from a joinable std::thread
}

}  // namespace
