// The machine while its run thread runs: changes from the GUI thread are
// made with the processor stopped, and destruction stops it before freeing.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "machine_test_util.h"

using namespace machine_test;

namespace {

// In every ROM slot: DI, then forever write screen memory and the border.
std::unique_ptr<TZXHardware> BusyMachine() {
  auto m = MakeMachine();
  const uint8_t program[] = {0xF3, 0x21, 0x00, 0x40, 0x77, 0x3C, 0xD3, 0xFE, 0x18, 0xFA};
  for (auto& slot : m->RomSlots) std::copy(std::begin(program), std::end(program), slot);
  m->Cpu().PC = 0;
  return m;
}

TEST(RunningMachine, GuiChangesStopActAndRestart) {
  // Counts the frames the run thread ends: the one thing the GUI thread may
  // read of it while it runs.
  struct Input : RecordingInput {
    std::atomic<int> frames{0};
    void PollKeyboard(TZXHardware&) override { ++frames; }
  } input;
  auto m = BusyMachine();
  m->SetInputDevices(&input);
  ASSERT_EQ(m->StartCpu(), Z80_OK);
  uint64_t lastTact = 0;
  for (int i = 0; i < 60; ++i) {
    m->ChangeMemoryModel(i % 8);
    m->ChangePort7FFD(uint8_t(i * 37));
    m->ChangePortDFFD(uint8_t(i * 11) & 0x2F);
    m->ChangePort1FFD(uint8_t(i * 5) & 0xF2);
    m->ChangePortFDFD(uint8_t(i));
    m->ReloadRoms();
    EXPECT_FALSE(m->ApplyTiming(TimingFromPreset(size_t(i % 3))));
    m->ChangeFrameTact(uint32_t(i * 100));
    ASSERT_TRUE(m->IsCpuRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A starved run thread may not have stepped yet: it only has to run on
  // after all these restarts, however late.
  const int frames = input.frames.load();
  while (input.frames.load() == frames) std::this_thread::yield();
  ASSERT_EQ(m->StopCpu(), Z80_OK);
  EXPECT_GT(m->GlobalTact, lastTact);
  const int pages = RamPagesOfModel(m->MemoryModel);
  for (int w = 1; w < 4; ++w) {
    EXPECT_GE(PageOf(*m, m->Windows[w]), 0);
    EXPECT_LT(PageOf(*m, m->Windows[w]), pages);
  }
  // Stopped, the same operations act at once and leave it stopped.
  m->ChangeMemoryModel(kSpectrum48);
  EXPECT_EQ(m->MemoryModel, kSpectrum48);
  EXPECT_FALSE(m->IsCpuRunning());
}

TEST(RunningMachine, DestroyedWhileRunning) {
  for (int i = 0; i < 5; ++i) {
    auto m = BusyMachine();
    RecordingDisplay display;
    m->SetDisplayOutput(&display);
    ASSERT_EQ(m->StartCpu(), Z80_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m.reset();  // stops the run thread before the picture and tables go
  }
}

// Whether a thread of this process sleeps in the kernel (here: waits for a
// lock), however long the scheduler took to get it there.
bool Blocked(pid_t thread) {
  std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto end = line.rfind(')');
  return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'S';
}

// While another display routine holds the display (here: another thread),
// the frame end skips the mouse poll and waits to present.
TEST(RunningMachine, MousePollSkippedWhileTheDisplayIsBusy) {
  struct Input : RecordingInput {
    std::atomic<bool> joystickPolled{false};
    void PollKeypadJoystick(TZXHardware& m) override {
      RecordingInput::PollKeypadJoystick(m);
      joystickPolled = true;
    }
  } input;
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetInputDevices(&input);
  m->SetDisplayOutput(&display);
  std::atomic<bool> held{false};
  const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
  std::thread other([&] {
    std::lock_guard<std::mutex> busy(m->DisplayBusy);
    held = true;
    // Hold on past the mouse poll's try, which follows the joystick poll,
    // until the present waits for the display: then this thread blocks.
    while (!input.joystickPolled || !Blocked(self)) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  m->FrameTact = m->Timing.timeLoopTime - 1;
  m->OnStep(4);
  other.join();
  EXPECT_EQ(input.calls, "KJ");
  EXPECT_EQ(display.presents, 1);
  m->FrameTact = m->Timing.timeLoopTime - 1;
  m->OnStep(4);
  EXPECT_EQ(input.calls, "KJKJM");
}

}  // namespace
