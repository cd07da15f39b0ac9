// The library's life in a host: loaded and unloaded at run time with its
// processors running (this executable does not link libZ80.so, so that
// dlclose can unload it), a Qt host destroying its processors on a thread
// of its own, and a host that ends with its processor running.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "z80/z80.h"

#if OVRIN_UNLOAD_WITH_QT
#include <QApplication>
#include <QWidget>
#endif

extern char** environ;

namespace {

// What a host takes from the library once it has loaded it.
struct Library {
  void* handle = nullptr;
  decltype(&Z80_Create) Create = nullptr;
  decltype(&Z80_Start) Start = nullptr;
  decltype(&Z80_Stop) Stop = nullptr;
  decltype(&Z80_Destroy) Destroy = nullptr;
  decltype(&Z80_ShowCPU) ShowCPU = nullptr;

  bool Open() {
    handle = dlopen(Z80_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      ADD_FAILURE() << dlerror();
      return false;
    }
    Create = reinterpret_cast<decltype(Create)>(dlsym(handle, "Z80_Create"));
    Start = reinterpret_cast<decltype(Start)>(dlsym(handle, "Z80_Start"));
    Stop = reinterpret_cast<decltype(Stop)>(dlsym(handle, "Z80_Stop"));
    Destroy = reinterpret_cast<decltype(Destroy)>(dlsym(handle, "Z80_Destroy"));
    ShowCPU = reinterpret_cast<decltype(ShowCPU)>(dlsym(handle, "Z80_ShowCPU"));
    return Create && Start && Stop && Destroy && ShowCPU;
  }
  static bool Loaded() {
    void* again = dlopen(Z80_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (again) dlclose(again);
    return again != nullptr;
  }
};

// The host's machine: written before its processors start, only read while
// they run.
uint8_t g_memory[65536];
std::atomic<long> g_steps{0};

uint8_t Read(uint32_t a, void*) { return g_memory[a & 0xFFFF]; }
void Write(uint32_t, uint8_t, void*) {}
uint8_t In(uint32_t, void*) { return 0xFF; }
void Out(uint32_t, uint8_t, void*) {}
void IntCheck(void*) {}
void AfterStep(uint32_t, void*) { g_steps.fetch_add(1, std::memory_order_relaxed); }

void WaitForSteps(long n) {
  const long target = g_steps.load() + n;
  while (g_steps.load() < target) std::this_thread::yield();
}

// Two instances, one running and one stopped, left to the unload routine;
// then the library loads and runs again. With a QApplication, `windows`
// counts the debugger windows: each instance makes one.
void UnloadWithInstancesLeft(const char* host, size_t windowsPerInstance = 0,
                             size_t (*windows)() = [] { return size_t{0}; }) {
  SCOPED_TRACE(host);
  const size_t windowsBefore = windows();
  g_memory[0] = 0x18;  // JR $
  g_memory[1] = 0xFE;
  ASSERT_FALSE(Library::Loaded());
  Library z80;
  ASSERT_TRUE(z80.Open());
  TZ80Object running, stopped;
  ASSERT_EQ(z80.Create("running", Read, Read, Write, In, Out, IntCheck, AfterStep, nullptr,
                       nullptr, &running),
            Z80_OK);
  ASSERT_EQ(z80.Create("stopped", Read, Read, Write, In, Out, IntCheck, nullptr, nullptr, nullptr,
                       &stopped),
            Z80_OK);
  EXPECT_EQ(windows() - windowsBefore, 2 * windowsPerInstance);
  ASSERT_EQ(z80.Start(&running), Z80_OK);
  WaitForSteps(1000);

  EXPECT_EQ(dlclose(z80.handle), 0);
  const long afterUnload = g_steps.load();
  EXPECT_FALSE(Library::Loaded()) << "dlclose left the library loaded";
  EXPECT_EQ(running.StateRecord, nullptr);
  EXPECT_EQ(stopped.StateRecord, nullptr);
  EXPECT_EQ(running.Running, 0);
  EXPECT_FALSE(running.ThreadHandle.joinable()) << "the run thread was joined";
  EXPECT_EQ(windows(), windowsBefore) << "the windows were deleted";
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(g_steps.load(), afterUnload) << "no callback after dlclose returned";

  Library again;
  ASSERT_TRUE(again.Open());
  TZ80Object next;
  ASSERT_EQ(again.Create(nullptr, Read, Read, Write, In, Out, IntCheck, AfterStep, nullptr,
                         nullptr, &next),
            Z80_OK);
  ASSERT_EQ(again.Start(&next), Z80_OK);
  WaitForSteps(1000);
  EXPECT_EQ(again.Stop(&next), Z80_OK);
  EXPECT_EQ(again.Destroy(&next), Z80_OK);
  EXPECT_EQ(dlclose(again.handle), 0);
  EXPECT_FALSE(Library::Loaded());
}

#if OVRIN_UNLOAD_WITH_QT
size_t DebuggerWindows() {
  size_t count = 0;
  for (const QWidget* w : QApplication::topLevelWidgets())
    count += w->objectName() == QStringLiteral("CPUForm");
  return count;
}

std::unique_ptr<QApplication> MakeApplication() {
  static int argc = 1;
  static char name[] = "unload_test";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}
#endif

TEST(Unload, StopsAndDestroysEveryInstanceAndLoadsAgain) {
  UnloadWithInstancesLeft("no GUI");
#if OVRIN_UNLOAD_WITH_QT
  const auto app = MakeApplication();
  UnloadWithInstancesLeft("Qt debugger windows", 1, &DebuggerWindows);
#endif
}

#if OVRIN_UNLOAD_WITH_QT
std::atomic<int> g_threadWarnings{0};

// Bounded: what runs meanwhile is the GUI thread's own (ticks, paints, deletions).
void PumpEvents(int passes) {
  for (int i = 0; i < passes; ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The GUI thread pumps meanwhile, or waits in join: the destroy must not need it.
int DestroyOnAnotherThread(const Library& z80, TZ80Object* object, bool pump) {
  std::atomic<int> code{-1};
  std::thread destroyer([&] { code = z80.Destroy(object); });
  while (pump && code == -1) PumpEvents(1);
  destroyer.join();
  return code;
}

TEST(Destroy, OnAnotherThreadLeavesTheQtHostRunning) {
  g_memory[0] = 0x18;  // JR $
  g_memory[1] = 0xFE;
  const auto app = MakeApplication();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg && text.contains("thread", Qt::CaseInsensitive))
          ++g_threadWarnings;
      });
  Library z80;
  ASSERT_TRUE(z80.Open());
  const auto create = [&](TZ80Object* o) {
    return z80.Create(nullptr, Read, Read, Write, In, Out, IntCheck, AfterStep, nullptr, nullptr, o);
  };
  for (const auto& [show, run] : {std::pair{true, true}, {true, false}, {false, false}})
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(testing::Message() << "shown " << show << ", running " << run << ", " << round);
      auto object = std::make_unique<TZ80Object>();  // a look after the destroy is a use after free
      ASSERT_EQ(create(object.get()), Z80_OK);
      EXPECT_EQ(show ? z80.ShowCPU(object.get()) : Z80_OK, Z80_OK);
      EXPECT_EQ(run ? z80.Start(object.get()) : Z80_OK, Z80_OK);
      PumpEvents(2);
      EXPECT_EQ(DestroyOnAnotherThread(z80, object.get(), round % 2), Z80_OK);
      object.reset();
      PumpEvents(15);  // past the window's next status ticks
      EXPECT_EQ(DebuggerWindows(), 0u) << "the window was deleted on the GUI thread";
    }
  // A window still waiting for its deletion when the library goes.
  auto last = std::make_unique<TZ80Object>();
  ASSERT_EQ(create(last.get()), Z80_OK);
  EXPECT_EQ(DestroyOnAnotherThread(z80, last.get(), false), Z80_OK);
  EXPECT_EQ(dlclose(z80.handle), 0);
  PumpEvents(15);
  EXPECT_EQ(DebuggerWindows(), 0u);
  qInstallMessageHandler(previous);
  EXPECT_EQ(g_threadWarnings.load(), 0);
}
#endif

// Runs the helper host and returns its exit status (-1 when it did not exit
// by itself).
int RunHost(const char* mode) {
  char program[] = RUNNING_AT_EXIT_HOST;
  std::string modeArg = mode;
  char* argv[] = {program, modeArg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Exit, AHostEndingWithItsProcessorRunningExitsCleanly) {
  // The last three end the process with exit(7) from inside the run
  // thread's OnPortOut, as a test runner does on the program's last OUT.
  const struct {
    const char* mode;
    int status;
  } cases[] = {{"static", 0},
               {"stack", 0},
               {"static-exit-in-callback", 7},
               {"stack-exit-in-callback", 7},
               {"heap-exit-in-callback", 7}};
  for (const auto& c : cases) EXPECT_EQ(RunHost(c.mode), c.status) << c.mode;
}

}  // namespace
