// Z80_Destroy called back from the library's own work on the same thread:
// from a host callback of a single step or a step-over, from the step-over's
// question, from the status tick's OnBreakpoint and from a shown window's
// refresh. Each is refused with code 2 and no box; the work it came from
// ends normally and the instance destroys afterwards.
#include <gtest/gtest.h>

#include <string>

#include "support/recording_dialogs.h"
#include "reading_window.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_host.h"
#include "z80_test_bus.h"

namespace {

using z80test::TestBus;

enum class Callback { Fetch, Read, Write, In, Out, IntCheck, AfterStep, Breakpoint, Question };
enum class Via { ExecCycle, ExecOver, StatusTick, Refresh };

using z80test::ReadingWindow;

// Destroys its own instance from the one callback it is told to, once.
struct Host : testing_support::RecordingDialogs {
  TestBus bus;
  TZ80Object object;
  Callback destroyFrom = Callback::Fetch;
  bool armed = false;
  int destroyCode = -1;

  void Destroy(Callback from) {
    if (!armed || from != destroyFrom) return;
    armed = false;
    destroyCode = Z80_Destroy(&object);
  }
  static Host& Of(void* u) { return *static_cast<Host*>(u); }
  static uint8_t Fetch(uint32_t a, void* u) {
    Of(u).Destroy(Callback::Fetch);
    return TestBus::Fetch(a, &Of(u).bus);
  }
  static uint8_t Read(uint32_t a, void* u) {
    Of(u).Destroy(Callback::Read);
    return TestBus::Read(a, &Of(u).bus);
  }
  static void Write(uint32_t a, uint8_t v, void* u) {
    Of(u).Destroy(Callback::Write);
    TestBus::Write(a, v, &Of(u).bus);
  }
  static uint8_t In(uint32_t p, void* u) {
    Of(u).Destroy(Callback::In);
    return TestBus::In(p, &Of(u).bus);
  }
  static void Out(uint32_t p, uint8_t v, void* u) {
    Of(u).Destroy(Callback::Out);
    TestBus::Out(p, v, &Of(u).bus);
  }
  static void IntCheck(void* u) {
    Of(u).Destroy(Callback::IntCheck);
    TestBus::IntCheck(&Of(u).bus);
  }
  static void AfterStep(uint32_t ticks, void* u) {
    Of(u).Destroy(Callback::AfterStep);
    TestBus::AfterStep(ticks, &Of(u).bus);
  }
  static void OnBreakpoint(void* u) { Of(u).Destroy(Callback::Breakpoint); }
  // The step-over's question is this dialogs backend's message.
  platform::MsgResult Message(std::string_view caption, std::string_view text,
                              platform::MsgButtons buttons, platform::MsgIcon icon,
                              platform::MsgResult defaultButton) override {
    const auto answer = RecordingDialogs::Message(caption, text, buttons, icon, defaultButton);
    Destroy(Callback::Question);
    return answer;
  }
};

struct Case {
  const char* name;
  Callback from;
  Via via;
  std::initializer_list<uint8_t> code;  // at 0
};

const Case kCases[] = {
    {"fetch in a single step", Callback::Fetch, Via::ExecCycle, {0x00}},
    {"read in a single step", Callback::Read, Via::ExecCycle, {0x3A, 0x00, 0x80}},
    {"write in a single step", Callback::Write, Via::ExecCycle, {0x32, 0x00, 0x80}},
    {"port in in a single step", Callback::In, Via::ExecCycle, {0xDB, 0xFE}},
    {"port out in a single step", Callback::Out, Via::ExecCycle, {0xD3, 0xFE}},
    {"interrupt check in a single step", Callback::IntCheck, Via::ExecCycle, {0xED, 0x57}},
    {"after a single step", Callback::AfterStep, Via::ExecCycle, {0x00}},
    {"fetch in a step-over", Callback::Fetch, Via::ExecOver, {0xCD, 0x00, 0x80}},
    {"read in a step-over", Callback::Read, Via::ExecOver, {0x3A, 0x00, 0x80}},
    {"write in a step-over", Callback::Write, Via::ExecOver, {0xCD, 0x00, 0x80}},
    {"port in in a step-over", Callback::In, Via::ExecOver, {0xDB, 0xFE}},
    {"port out in a step-over", Callback::Out, Via::ExecOver, {0xD3, 0xFE}},
    {"interrupt check in a step-over", Callback::IntCheck, Via::ExecOver, {0xED, 0x5F}},
    {"after a step of a step-over", Callback::AfterStep, Via::ExecOver, {0xCD, 0x00, 0x80}},
    {"the step-over's question", Callback::Question, Via::ExecOver, {0xCD, 0x00, 0x90}},
    {"the status tick's breakpoint call", Callback::Breakpoint, Via::StatusTick, {0x00}},
    {"a shown window's refresh after a step", Callback::Read, Via::Refresh, {0x00}},
};

TEST(ReentrantDestroy, IsRefusedAndTheInstanceLivesOn) {
  const auto previousFactory =
      z80::SetCPUWindowFactory([]() -> TCPUWindow* { return new ReadingWindow; });
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Host h;
    const auto previousDialogs = Z80_SetDialogs(&h);
    ASSERT_EQ(Z80_Create(nullptr, Host::Fetch, Host::Read, Host::Write, Host::In, Host::Out,
                         Host::IntCheck, Host::AfterStep, Host::OnBreakpoint, &h, &h.object),
              Z80_OK);
    h.bus.Load(0, c.code);
    h.bus.Load(0x8000, {0x00, 0xC9});  // NOP; RET
    h.bus.Load(0x9000, {0x18, 0xFE});  // JR $: never returns
    h.bus.record = false;
    h.object.StateRecord->SP = 0xF000;
    if (c.via == Via::Refresh) {
      ASSERT_EQ(Z80_ShowCPU(&h.object), Z80_OK);
    }
    h.destroyFrom = c.from;
    h.armed = true;
    switch (c.via) {
      case Via::ExecCycle:
        EXPECT_EQ(Z80_ExecCycle(&h.object), Z80_OK);
        break;
      case Via::ExecOver:
        h.SetDefaultAnswer(platform::MsgResult::Ok);
        EXPECT_EQ(Z80_ExecOver(&h.object), Z80_OK);
        break;
      case Via::StatusTick:
        h.object.BreakpointHit = 1;
        Z80_StatusTick(&h.object);
        EXPECT_TRUE(h.object.Form->IsVisible()) << "the tick went on to show the window";
        EXPECT_EQ(h.object.BreakpointHit, 0);
        break;
      case Via::Refresh:
        EXPECT_EQ(Z80_ExecCycle(&h.object), Z80_OK);  // NOP reads nothing itself
        break;
    }
    EXPECT_EQ(h.destroyCode, Z80_BUSY);
    EXPECT_NE(h.object.StateRecord, nullptr);
    EXPECT_EQ(h.object.Busy, 0);
    const size_t questions = c.from == Callback::Question ? 1 : 0;
    EXPECT_EQ(h.Count(), questions) << "refused without a box";
    h.armed = false;
    EXPECT_EQ(Z80_Destroy(&h.object), Z80_OK);
    EXPECT_EQ(h.object.StateRecord, nullptr);
    Z80_SetDialogs(previousDialogs);
  }
  z80::SetCPUWindowFactory(previousFactory);
}

}  // namespace
