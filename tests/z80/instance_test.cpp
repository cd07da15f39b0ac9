// The exports' contracts: result codes, refusal boxes, the instance list and
// what Z80_Create leaves in the records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/recording_dialogs.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_core.h"
#include "z80/z80_host.h"
#include "z80/z80_instance.h"
#include "z80_test_bus.h"

namespace {

using testing_support::ScopedDialogs;
using z80test::TestBus;

const std::string kBusy = "Невозможно выполнить операцию -\nмодуль занят выполнением другой операции!";
const std::string kInvalid = "Невозможно выполнить операцию -\nуказан некорректный объект Z80!";

struct Host {
  TestBus bus;
  TZ80Object object;
  ScopedDialogs<decltype(&Z80_SetDialogs)> dialogs{&Z80_SetDialogs};

  Z80Result Create(const char* name = nullptr, TZ80AfterStepProc afterStep = TestBus::AfterStep) {
    return Z80_Create(name, TestBus::Fetch, TestBus::Read, TestBus::Write, TestBus::In,
                      TestBus::Out, TestBus::IntCheck, afterStep, nullptr, &bus, &object);
  }
  ~Host() {
    if (object.StateRecord) Z80_Destroy(&object);
  }
  auto Messages() { return dialogs.dialogs.Messages(); }
};

TNullCPUWindow& Window(TZ80Object& o) { return *static_cast<TNullCPUWindow*>(o.Form); }

TEST(Create, FillsTheRecordsAndRegisters) {
  Host h;
  std::memset(h.object.Reserved, 0x5A, sizeof h.object.Reserved);
  ASSERT_EQ(h.Create("Main CPU"), Z80_OK);
  TZ80Object& o = h.object;
  EXPECT_STREQ(o.Name, "Main CPU");
  ASSERT_NE(o.StateRecord, nullptr);
  EXPECT_EQ(o.State, o.StateRecord);
  EXPECT_EQ(o.RequestLines, &o.StateRecord->Req);
  EXPECT_NE(o.Form, nullptr);
  EXPECT_EQ(o.Form->Z80Object, &o);
  EXPECT_NE(o.Breakpoints, nullptr);
  EXPECT_EQ(o.SkipBreakAddress, -1);
  EXPECT_EQ(o.Running, 0);
  EXPECT_EQ(o.Busy, 0);
  EXPECT_EQ(o.OnAfterStep, TestBus::AfterStep);
  EXPECT_EQ(o.Reserved[10], 0x5A) << "reserved bytes are nobody's";
  const TZ80State& s = *o.StateRecord;
  EXPECT_EQ(s.Req.IntVector, 0xFF);
  EXPECT_EQ(s.Req.IM, 0u);
  EXPECT_EQ(s.Req.PrefixRun, 0);
  EXPECT_EQ(s.PC, 0);
  EXPECT_EQ(s.AF, 0) << "the state record starts zero-filled";
  EXPECT_EQ(s.Req.Halted, 0);
  EXPECT_EQ(s.UserData, &h.bus);
  EXPECT_EQ(Z80_Create(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, &o),
            Z80_ALREADY_REGISTERED);
  EXPECT_EQ(o.StateRecord->UserData, &h.bus) << "a refused create changes nothing";
  EXPECT_TRUE(h.Messages().empty());
}

TEST(Create, NameKeepsAtMost63Characters) {
  Host h;
  const std::string longName(80, 'x');
  ASSERT_EQ(h.Create(longName.c_str()), Z80_OK);
  EXPECT_EQ(std::string(h.object.Name), std::string(63, 'x'));
  Host unnamed;
  std::memset(unnamed.object.Name, 'q', sizeof unnamed.object.Name);
  ASSERT_EQ(unnamed.Create(nullptr), Z80_OK);
  EXPECT_STREQ(unnamed.object.Name, "");
}

TEST(Destroy, ClearsTheRecordAndRefusesASecondTime) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  ASSERT_EQ(Z80_Destroy(&h.object), Z80_OK);
  EXPECT_EQ(h.object.StateRecord, nullptr);
  EXPECT_EQ(h.object.Form, nullptr);
  EXPECT_EQ(h.object.Breakpoints, nullptr);
  EXPECT_EQ(h.object.OnAfterStep, nullptr);
  EXPECT_TRUE(h.Messages().empty());
  EXPECT_EQ(Z80_Destroy(&h.object), Z80_INVALID_OBJECT);
  TZ80Object never;
  EXPECT_EQ(Z80_Destroy(&never), Z80_INVALID_OBJECT);
  const auto m = h.Messages();
  ASSERT_EQ(m.size(), 2u);
  for (const auto& msg : m) {
    EXPECT_EQ(msg.caption, "Модуль Z80");
    EXPECT_EQ(msg.text, kInvalid);
    EXPECT_EQ(msg.buttons, platform::MsgButtons::Ok);
  }
  // The record can hold a new instance afterwards.
  EXPECT_EQ(h.Create(), Z80_OK);
}

// Every export that tests the record refuses a dead one with the box.
TEST(Refusals, DeadRecordGetsTheInvalidObjectBox) {
  Host h;
  TZ80Object& o = h.object;
  const struct {
    const char* name;
    Z80Result (*call)(TZ80Object*);
  } exports[] = {{"ExecCycle", Z80_ExecCycle}, {"Start", Z80_Start}, {"Stop", Z80_Stop},
                 {"ShowCPU", Z80_ShowCPU},     {"Destroy", Z80_Destroy}};
  for (const auto& e : exports) {
    h.dialogs.dialogs.Clear();
    EXPECT_EQ(e.call(&o), Z80_INVALID_OBJECT) << e.name;
    const auto m = h.Messages();
    ASSERT_EQ(m.size(), 1u) << e.name;
    EXPECT_EQ(m[0].text, kInvalid) << e.name;
  }
  EXPECT_EQ(Z80_IsRunning(&o), 0);
  o.Busy = 1;
  EXPECT_EQ(Z80_IsRunning(&o), 2) << "answers from the bytes alone";
  o.Busy = 0;
  o.Running = 1;
  EXPECT_EQ(Z80_IsRunning(&o), 1);
  o.Running = 0;
}

TEST(Refusals, BusyAndRunningCodes) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  TZ80Object& o = h.object;
  o.Busy = 1;
  EXPECT_EQ(Z80_ExecCycle(&o), Z80_BUSY);
  EXPECT_EQ(Z80_Start(&o), Z80_BUSY);
  EXPECT_EQ(Z80_IsRunning(&o), 2);
  auto m = h.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].caption, "Модуль Z80");
  EXPECT_EQ(m[0].text, kBusy);
  o.Busy = 0;
  h.dialogs.dialogs.Clear();
  // Running is tested before Busy, and refuses silently.
  o.Running = 1;
  o.Busy = 1;
  EXPECT_EQ(Z80_ExecCycle(&o), Z80_RUNNING);
  EXPECT_EQ(Z80_Start(&o), Z80_RUNNING);
  o.Running = 0;
  o.Busy = 0;
  EXPECT_EQ(Z80_Stop(&o), Z80_NOT_RUNNING);
  EXPECT_TRUE(h.Messages().empty());
}

TEST(ExecCycle, StepsOnceCallsAfterStepAndRefreshes) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  h.bus.Load(0, {0x3E, 0x42});  // LD A,#42
  ASSERT_EQ(Z80_ShowCPU(&h.object), Z80_OK);
  const int before = Window(h.object).Refreshes();
  ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
  EXPECT_EQ(h.object.StateRecord->AF >> 8, 0x42);
  EXPECT_EQ(h.object.StateRecord->Req.Ticks, 7u);
  EXPECT_EQ(h.bus.afterSteps, 1);
  EXPECT_EQ(Window(h.object).Refreshes(), before + 1);
  EXPECT_TRUE(Window(h.object).LastNewStep());
  EXPECT_EQ(h.object.Busy, 0);
}

TEST(Window, HiddenWindowIgnoresRefreshAndShowReloads) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
  EXPECT_FALSE(Window(h.object).IsVisible());
  EXPECT_EQ(Window(h.object).Refreshes(), 0);
  ASSERT_EQ(Z80_ShowCPU(&h.object), Z80_OK);
  EXPECT_TRUE(Window(h.object).IsVisible());
  EXPECT_EQ(Window(h.object).Refreshes(), 1);
}

TEST(ExecCycle, RefreshesOnlyWhileShownAndWithoutAnAfterStep) {
  Host h;
  ASSERT_EQ(Z80_Create(nullptr, TestBus::Fetch, TestBus::Read, TestBus::Write, TestBus::In,
                       TestBus::Out, TestBus::IntCheck, nullptr, nullptr, &h.bus, &h.object),
            Z80_OK);
  TNullCPUWindow& window = Window(h.object);
  ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
  EXPECT_EQ(window.Refreshes(), 0);
  window.Show();
  ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
  EXPECT_EQ(window.Refreshes(), 1);
  window.SetShown(false);
  ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
  EXPECT_EQ(window.Refreshes(), 1);
  EXPECT_EQ(h.object.StateRecord->PC, 3);
  EXPECT_EQ(h.bus.afterSteps, 0);
  EXPECT_EQ(h.object.Busy, 0);
}

// The export runs the main page from a table of its own when nobody watches
// the step, and through the engine's own step when an after-step callback
// does; either way every first byte, with random registers and operands,
// must step exactly as the engine does: registers, memory, T-states and
// every bus access with its timing.
void ExpectEveryOpcodeStepsAsTheEngineDoes(bool watched) {
  SCOPED_TRACE(watched ? "with an after-step callback" : "unwatched");
  uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint16_t>(seed >> 8);
  };
  for (int op = 0; op < 256; ++op) {
    for (int round = 0; round < 4; ++round) {
      z80test::TestCpu engine;
      Host h;
      ASSERT_EQ(h.Create(nullptr, watched ? TestBus::AfterStep : nullptr), Z80_OK);
      TZ80State& s = *h.object.StateRecord;
      h.bus.state = &s;
      uint16_t* const words[] = {&s.AF, &s.BC, &s.DE, &s.HL, &s.IX, &s.IY, &s.SP, &s.PC,
                                 &s._AF, &s._BC, &s._DE, &s._HL, &s.IR};
      for (uint16_t* w : words) *w = next();
      // Two rounds start R at the edge of its count, so that the opcode's
      // count (and a prefix's second one) carries out of bit 6.
      if (round < 2) s.IR = static_cast<uint16_t>((s.IR & 0xFF00) | (round ? 0xFF : 0x7F));
      for (auto& b : h.bus.memory) b = static_cast<uint8_t>(next());
      h.bus.memory[s.PC] = static_cast<uint8_t>(op);
      s.Req.IM = 2;
      s.Req.IFF1 = s.Req.IFF2 = static_cast<uint8_t>(round & 1);
      engine.bus.memory = h.bus.memory;
      const size_t regs = offsetof(TZ80State, Req);
      std::memcpy(static_cast<void*>(&engine.s), &s, regs);
      engine.s.Req.IM = s.Req.IM;
      engine.s.Req.IFF1 = s.Req.IFF1;
      engine.s.Req.IFF2 = s.Req.IFF2;

      z80::Z80Step(engine.s);
      ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
      SCOPED_TRACE(::testing::Message() << "opcode " << op << " round " << round);
      EXPECT_EQ(std::memcmp(&engine.s, &s, regs), 0);
      EXPECT_EQ(engine.s.Req.Ticks, s.Req.Ticks);
      EXPECT_EQ(engine.s.Req.Halted, s.Req.Halted);
      EXPECT_EQ(engine.s.Req.IFF1, s.Req.IFF1);
      EXPECT_EQ(engine.s.Req.AfterEI, s.Req.AfterEI);
      EXPECT_EQ(engine.s.Req.IM, s.Req.IM);
      EXPECT_TRUE(engine.bus.events == h.bus.events);
      EXPECT_TRUE(engine.bus.memory == h.bus.memory);
      EXPECT_EQ(h.bus.afterSteps, watched ? 1 : 0);
      EXPECT_EQ(h.object.Busy, 0);
    }
  }
}

TEST(ExecCycle, StepsEveryOpcodeAsTheEngineDoes) {
  ExpectEveryOpcodeStepsAsTheEngineDoes(false);
  ExpectEveryOpcodeStepsAsTheEngineDoes(true);
}

// Each byte the single step tests before its fetch must send it the slow
// way, where the request or the carried-over state is acted on; IntVector
// alone must not. Nobody watches these steps, so the test alone decides.
TEST(ExecCycle, TakesEveryRequestAndCarriedOverState) {
  struct Case {
    const char* name;
    void (*raise)(TZ80State&);
    uint16_t pc;     // after the step; the program is LD HL,#1234 at #0100
    uint32_t ticks;
    uint16_t hl, ix;
  };
  const Case cases[] = {
      {"nothing", [](TZ80State&) {}, 0x0103, 10, 0x1234, 0},
      {"IntVector alone", [](TZ80State& s) { s.Req.IntVector = 0x7E; }, 0x0103, 10, 0x1234, 0},
      {"ResetPending", [](TZ80State& s) { s.Req.ResetPending = 1; }, 0x0000, 6, 0, 0},
      {"IntLine", [](TZ80State& s) { s.Req.IntLine = 1; }, 0x0038, 13, 0, 0},
      {"NmiPending", [](TZ80State& s) { s.Req.NmiPending = 1; }, 0x0066, 11, 0, 0},
      {"Halted", [](TZ80State& s) { s.Req.Halted = 1; }, 0x0100, 4, 0, 0},
      {"AfterEI holds off the line",
       [](TZ80State& s) { s.Req.AfterEI = 1, s.Req.IntLine = 1; }, 0x0103, 10, 0x1234, 0},
      {"PrefixRun", [](TZ80State& s) { s.Req.PrefixRun = 0xDD; }, 0x0103, 10, 0, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Host h;
    ASSERT_EQ(h.Create(nullptr, nullptr), Z80_OK);
    TZ80State& s = *h.object.StateRecord;
    h.bus.Load(0x0100, {0x21, 0x34, 0x12});
    s.PC = 0x0100, s.SP = 0x8000, s.HL = 0, s.IX = 0;
    s.Req.IM = 1, s.Req.IFF1 = s.Req.IFF2 = 1;
    c.raise(s);
    ASSERT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
    EXPECT_EQ(s.PC, c.pc);
    EXPECT_EQ(s.Req.Ticks, c.ticks);
    EXPECT_EQ(s.HL, c.hl);
    EXPECT_EQ(s.IX, c.ix);
    EXPECT_EQ(s.Req.AfterEI, 0);
    EXPECT_EQ(h.object.Busy, 0);
  }
}

// A host callback that calls the exports in the middle of a single step
// finds the instance busy; the step still ends with the guard released, so
// the next step goes ahead. Both ends of the step (nobody watching, and an
// after-step callback) release it.
TEST(ExecCycle, IsBusyToItsOwnCallbacksAndReleasedAfter) {
  for (const bool watched : {false, true}) {
    SCOPED_TRACE(watched ? "with an after-step callback" : "unwatched");
    struct Reentry {
      TestBus bus;
      TZ80Object* object = nullptr;
      std::vector<int> codes;
      static void Write(uint32_t a, uint8_t v, void* u) {
        auto& r = *static_cast<Reentry*>(u);
        TestBus::Write(a, v, &r.bus);
        r.codes.push_back(Z80_IsRunning(r.object));
        r.codes.push_back(Z80_ExecCycle(r.object));
      }
      static uint8_t Fetch(uint32_t a, void* u) {
        return TestBus::Fetch(a, &static_cast<Reentry*>(u)->bus);
      }
      static void AfterStep(uint32_t ticks, void* u) {
        TestBus::AfterStep(ticks, &static_cast<Reentry*>(u)->bus);
      }
    } host;
    ScopedDialogs<decltype(&Z80_SetDialogs)> dialogs{&Z80_SetDialogs};
    TZ80Object object;
    host.object = &object;
    ASSERT_EQ(Z80_Create(nullptr, Reentry::Fetch, Reentry::Fetch, Reentry::Write, TestBus::In,
                         TestBus::Out, TestBus::IntCheck, watched ? Reentry::AfterStep : nullptr,
                         nullptr, &host, &object),
              Z80_OK);
    host.bus.Load(0, {0x31, 0x00, 0x80, 0xC5, 0x00});  // LD SP,#8000; PUSH BC; NOP
    ASSERT_EQ(Z80_ExecCycle(&object), Z80_OK);
    ASSERT_EQ(Z80_ExecCycle(&object), Z80_OK);  // the two writes of PUSH call back in
    EXPECT_EQ(host.codes, (std::vector<int>{2, Z80_BUSY, 2, Z80_BUSY}));
    EXPECT_EQ(dialogs.dialogs.Messages().size(), 2u);
    EXPECT_EQ(Z80_IsRunning(&object), 0);
    EXPECT_EQ(object.Running, 0);
    ASSERT_EQ(Z80_ExecCycle(&object), Z80_OK);
    EXPECT_EQ(object.StateRecord->PC, 5);
    EXPECT_EQ(host.bus.afterSteps, watched ? 3 : 0);
    Z80_Destroy(&object);
  }
}

TEST(Window, FactoryHookSuppliesTheWindow) {
  static int made = 0;
  const auto previous = z80::SetCPUWindowFactory([]() -> TCPUWindow* {
    ++made;
    return new TNullCPUWindow;
  });
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  z80::SetCPUWindowFactory(previous);
  EXPECT_EQ(made, 1);
}

TEST(Start, ThreadCreationFailureGivesCode6) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  z80::FailNextThreadCreationForTesting();
  EXPECT_EQ(Z80_Start(&h.object), Z80_THREAD_NOT_CREATED);
  const auto m = h.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "Error create thread!");
  EXPECT_EQ(h.object.Running, 0);
  EXPECT_EQ(h.object.Busy, 0);
  EXPECT_EQ(h.object.SkipBreakAddress, -1);
  EXPECT_FALSE(h.object.ThreadHandle.joinable());
}

TEST(Breakpoints, ListKeepsHasBreakpointsInStep) {
  Host h;
  TZ80Object& o = h.object;
  EXPECT_FALSE(z80::BreakpointAdd(&o, 0x10)) << "no instance yet";
  ASSERT_EQ(h.Create(), Z80_OK);
  EXPECT_TRUE(z80::BreakpointAdd(&o, 0x10));
  EXPECT_FALSE(z80::BreakpointAdd(&o, 0x10));
  EXPECT_TRUE(z80::BreakpointAdd(&o, 0x20));
  EXPECT_EQ(o.HasBreakpoints, 1);
  EXPECT_TRUE(z80::BreakpointContains(&o, 0x20));
  EXPECT_EQ(z80::BreakpointAddresses(&o), (std::vector<uint16_t>{0x10, 0x20}));
  EXPECT_TRUE(z80::BreakpointRemove(&o, 0x10));
  EXPECT_FALSE(z80::BreakpointRemove(&o, 0x10));
  EXPECT_EQ(o.HasBreakpoints, 1);
  EXPECT_TRUE(z80::BreakpointRemove(&o, 0x20));
  EXPECT_EQ(o.HasBreakpoints, 0);
  z80::BreakpointAdd(&o, 0x30);
  EXPECT_TRUE(z80::BreakpointClear(&o));
  EXPECT_EQ(o.HasBreakpoints, 0);
  EXPECT_TRUE(z80::BreakpointAddresses(&o).empty());
}

TEST(Breakpoints, SkipAddressIsConsumedByTheFirstTestWithBreakpoints) {
  Host h;
  ASSERT_EQ(h.Create(), Z80_OK);
  TZ80Object& o = h.object;
  o.SkipBreakAddress = 0x10;
  EXPECT_FALSE(z80::BreakpointTest(&o, 0x10));
  EXPECT_EQ(o.SkipBreakAddress, 0x10) << "kept while the list is empty";
  z80::BreakpointAdd(&o, 0x10);
  EXPECT_FALSE(z80::BreakpointTest(&o, 0x10));
  EXPECT_EQ(o.SkipBreakAddress, -1);
  EXPECT_TRUE(z80::BreakpointTest(&o, 0x10));
  o.SkipBreakAddress = 0x99;
  EXPECT_TRUE(z80::BreakpointTest(&o, 0x10));
  EXPECT_EQ(o.SkipBreakAddress, -1) << "consumed whatever PC was";
}

TEST(Shutdown, StopsAndDestroysEveryInstance) {
  Host a, b;
  ASSERT_EQ(a.Create(), Z80_OK);
  ASSERT_EQ(b.Create(), Z80_OK);
  a.bus.Load(0, {0x18, 0xFE});  // JR $
  ASSERT_EQ(Z80_Start(&a.object), Z80_OK);
  Z80_Shutdown();
  EXPECT_EQ(a.object.StateRecord, nullptr);
  EXPECT_EQ(b.object.StateRecord, nullptr);
  EXPECT_EQ(a.object.Running, 0);
  EXPECT_FALSE(a.object.ThreadHandle.joinable());
  // The list is gone; a new create makes it again.
  ASSERT_EQ(a.Create(), Z80_OK);
  EXPECT_EQ(Z80_Destroy(&a.object), Z80_OK);
  EXPECT_TRUE(a.Messages().empty());
}

}  // namespace
