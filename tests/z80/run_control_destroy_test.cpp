// Z80_Destroy on one thread while another works on the instance: it waits
// for that work (an export, the status tick, a window refresh) to end, then
// destroys, and the other thread's next call finds the instance gone. Run
// under AddressSanitizer and ThreadSanitizer as well (label "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/recording_dialogs.h"
#include "support/stress_rounds.h"
#include "reading_window.h"
#include "z80/debugger/cpu_window.h"
#include "z80/z80_host.h"

namespace {

using namespace std::chrono_literals;

using z80test::ReadingWindow;

struct WindowFactory {
  z80::CPUWindowFactory previous =
      z80::SetCPUWindowFactory([]() -> TCPUWindow* { return new ReadingWindow; });
  ~WindowFactory() { z80::SetCPUWindowFactory(previous); }
};

enum class Block { Nowhere, Read, AfterStep, Breakpoint };

// Memory is written before any thread starts; what the threads share are
// atomics. A callback of the kind `block` names, made on the worker thread,
// holds the worker there until released.
struct Host {
  uint8_t memory[65536] = {};
  TZ80Object object;
  testing_support::ScopedDialogs<decltype(&Z80_SetDialogs)> dialogs{&Z80_SetDialogs};
  std::atomic<Block> block{Block::Nowhere};
  std::atomic<std::thread::id> worker{};
  std::atomic<bool> entered{false}, release{false}, left{false};

  Host() {
    memory[0] = 0x18;  // JR $
    memory[1] = 0xFE;
    EXPECT_EQ(Z80_Create(nullptr, Fetch, Read, Write, In, Out, IntCheck, AfterStep, Breakpoint,
                         this, &object),
              Z80_OK);
  }
  static Host& Of(void* u) { return *static_cast<Host*>(u); }
  void Hold(Block where) {
    if (block.load() != where || std::this_thread::get_id() != worker.load()) return;
    block = Block::Nowhere;
    entered = true;
    while (!release.load()) std::this_thread::yield();
    left = true;
  }
  static uint8_t Fetch(uint32_t a, void* u) { return Of(u).memory[a & 0xFFFF]; }
  static uint8_t Read(uint32_t a, void* u) {
    Of(u).Hold(Block::Read);
    return Of(u).memory[a & 0xFFFF];
  }
  static void Write(uint32_t, uint8_t, void*) {}
  static uint8_t In(uint32_t, void*) { return 0xFF; }
  static void Out(uint32_t, uint8_t, void*) {}
  static void IntCheck(void*) {}
  static void AfterStep(uint32_t, void* u) { Of(u).Hold(Block::AfterStep); }
  static void Breakpoint(void* u) { Of(u).Hold(Block::Breakpoint); }
};

TEST(DestroyFromAnotherThread, WaitsForTheWorkInProgress) {
  const WindowFactory factory;
  const struct {
    const char* name;
    Block where;
    std::function<void(TZ80Object*)> prepare;  // on this thread, before the worker
    std::function<void(TZ80Object*)> work;     // on the worker
  } cases[] = {
      {"a single step's after-step call", Block::AfterStep, nullptr,
       [](TZ80Object* o) { EXPECT_EQ(Z80_ExecCycle(o), Z80_OK); }},
      {"a shown window's refresh after a single step", Block::Read,
       [](TZ80Object* o) { Z80_ShowCPU(o); },
       [](TZ80Object* o) { EXPECT_EQ(Z80_ExecCycle(o), Z80_OK); }},
      {"a step-over's after-step call", Block::AfterStep, nullptr,
       [](TZ80Object* o) { EXPECT_EQ(Z80_ExecOver(o), Z80_OK); }},
      {"the refresh after a step-over", Block::Read, [](TZ80Object* o) { Z80_ShowCPU(o); },
       [](TZ80Object* o) { EXPECT_EQ(Z80_ExecOver(o), Z80_OK); }},
      {"the refresh after a start", Block::Read, [](TZ80Object* o) { Z80_ShowCPU(o); },
       [](TZ80Object* o) { EXPECT_EQ(Z80_Start(o), Z80_OK); }},
      {"the refresh after a stop", Block::Read,
       [](TZ80Object* o) {
         Z80_ShowCPU(o);
         Z80_Start(o);
       },
       [](TZ80Object* o) { EXPECT_EQ(Z80_Stop(o), Z80_OK); }},
      {"showing the window", Block::Read, nullptr,
       [](TZ80Object* o) { EXPECT_EQ(Z80_ShowCPU(o), Z80_OK); }},
      {"the status tick's breakpoint call", Block::Breakpoint,
       [](TZ80Object* o) { o->BreakpointHit = 1; }, [](TZ80Object* o) { Z80_StatusTick(o); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Host h;
    if (c.prepare) c.prepare(&h.object);
    h.block = c.where;
    std::thread worker([&] {
      h.worker = std::this_thread::get_id();
      c.work(&h.object);
    });
    while (!h.entered.load()) std::this_thread::yield();
    std::atomic<int> destroyCode{-1};
    std::atomic<bool> returnedBeforeTheWorkLeft{false};
    std::thread destroyer([&] {
      destroyCode = Z80_Destroy(&h.object);
      returnedBeforeTheWorkLeft = !h.left.load();
    });
    // Time enough for a destroy that does not wait to return.
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(destroyCode.load(), -1) << "returned while the other thread was at work";
    h.release = true;
    worker.join();
    destroyer.join();
    EXPECT_EQ(destroyCode.load(), Z80_OK);
    EXPECT_FALSE(returnedBeforeTheWorkLeft.load());
    EXPECT_EQ(h.object.StateRecord, nullptr);
    EXPECT_FALSE(h.object.ThreadHandle.joinable());
    EXPECT_TRUE(h.dialogs.dialogs.Messages().empty());
  }
}

// The other thread keeps calling the exports, in turn, until one finds the
// instance gone; this one destroys it at whatever point that thread is.
TEST(DestroyFromAnotherThread, RacesAThreadCallingEveryExport) {
  const WindowFactory factory;
  const testing_support::StressRounds rounds(3000, 104);  // each mix of round % 13 and % 4 twice
  for (int round = 0; rounds.Go(round); ++round) {
    Host h;
    h.memory[0] = 0xCD;  // CALL #0010 (a step-over runs the routine)
    h.memory[1] = 0x10;
    h.memory[0x10] = 0xC9;  // RET
    h.object.StateRecord->SP = 0xF000;
    if (round & 1) Z80_ShowCPU(&h.object);
    std::atomic<int> calls{0};
    std::thread worker([&] {
      // A run thread in one round of four: starting one takes far longer
      // than the other calls.
      const int kinds = round % 4 == 0 ? 6 : 4;
      for (int i = 0;; ++i) {
        Z80Result r = Z80_OK;
        switch (i % kinds) {
          case 0: r = Z80_ExecCycle(&h.object); break;
          case 1: r = Z80_ExecOver(&h.object); break;
          case 2: r = Z80_ShowCPU(&h.object); break;
          case 3: Z80_StatusTick(&h.object); break;
          case 4: r = Z80_Start(&h.object); break;
          case 5: r = Z80_Stop(&h.object); break;
        }
        ++calls;
        if (r == Z80_INVALID_OBJECT) return;
        if (r != Z80_OK) std::this_thread::yield();
      }
    });
    while (calls.load() < round % 13) std::this_thread::yield();
    ASSERT_EQ(Z80_Destroy(&h.object), Z80_OK) << round;
    worker.join();
    EXPECT_EQ(h.object.StateRecord, nullptr);
    EXPECT_FALSE(h.object.ThreadHandle.joinable());
  }
}

}  // namespace
