// CPU time of the whole program (processor, picture, hand-over to the GUI,
// painting, and with sound:1 the sound plug-in synthesising into SDL's
// audio driver) while it runs the 48K model at the real speed of 50 frames a
// second with the free ROM at its BASIC prompt. Reported as a share of one
// core, with the run thread's share apart; sound:0 runs with the beeper and
// the sound chip switched off.
//
// It runs on an X display when there is one: the one in DISPLAY, or else a
// private Xvfb when that is installed (as in CI); only without either on the
// offscreen platform. When fuse-sdl is installed (Debian: fuse-emulator-sdl),
// the same measurement of it (48K machine, the same free ROM, with sound or
// with --no-sound to match) follows each of ours on the same display, and
// both shares are printed side by side. Repetitions alternate the two:
//
//   SDL_AUDIODRIVER=dummy build/bin/bench_shell --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "machine/ay_hardware.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "shell/qt/main_form.h"
#include "shell/program_entry.h"
#include "z80/z80_host.h"

extern char** environ;

namespace {

constexpr auto kBoot = std::chrono::seconds(5);     // to the BASIC prompt, and settling
constexpr auto kWindow = std::chrono::seconds(30);  // measured
constexpr const char* kRom48 = "/usr/share/spectrum-roms/opense.rom";
constexpr const char* kRom128 = "/usr/share/spectrum-roms/opense-stub.rom";

double Seconds(const timespec& ts) { return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9; }

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds(std::thread& thread) {
  clockid_t clock;
  timespec ts{};
  if (!thread.joinable() || pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return 0;
  clock_gettime(clock, &ts);
  return Seconds(ts);
}

// The program's own event loop, for a while.
void RunFor(std::chrono::milliseconds span) {
  QEventLoop loop;
  QTimer::singleShot(span, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// CPU seconds of every thread of another process, from the scheduler's
// nanosecond counts.
double OtherProcessCpuSeconds(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(dir + "/" + e->d_name + "/schedstat");
      unsigned long long ns = 0;
      if (in >> ns) total += double(ns) * 1e-9;
    }
    closedir(d);
  }
  return total;
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

void Kill(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);  // fuse-sdl ignores SIGTERM
  waitpid(pid, nullptr, 0);
}

// A private X server for the run, when none is given and Xvfb exists.
struct PrivateXServer {
  pid_t pid = 0;
  std::string display;

  void StartIfNeeded() {
    const char* given = getenv("DISPLAY");
    if ((given && *given) || getenv("QT_QPA_PLATFORM")) return;
    const std::string xvfb = FindProgram("Xvfb");
    if (xvfb.empty()) return;
    for (int n = 90; n < 110 && !pid; ++n) {
      if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0) continue;
      display = ":" + std::to_string(n);
      // No reset when the last client leaves, so the next one finds the
      // server ready.
      pid = Spawn({xvfb, display, "-noreset", "-screen", "0", "1024x768x24"});
      if (!pid) break;
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (access(socket.c_str(), F_OK) != 0 || waitpid(pid, nullptr, WNOHANG) != 0) {
        Kill(pid);
        pid = 0;
      }
    }
    if (pid) setenv("DISPLAY", display.c_str(), 1);
  }
  ~PrivateXServer() {
    if (pid) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
  }
};

// Fuse's share of a core over the same window, on the same display.
double FuseCpuPercent(const std::string& fuse, bool sound) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::vector<std::string> args = {fuse, "--machine", "48", "--rom-48", kRom48};
  if (!sound) args.push_back("--no-sound");
  const pid_t pid = Spawn(args);
  if (!pid) return -1;
  std::this_thread::sleep_for(kBoot);
  const double cpu0 = OtherProcessCpuSeconds(pid);
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(kWindow);
  const double cpu = OtherProcessCpuSeconds(pid) - cpu0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  // Gone before the end (no display it could open): no figure.
  const bool alive = waitpid(pid, nullptr, WNOHANG) == 0;
  Kill(pid);
  return alive ? 100.0 * cpu / wall : -1;
}

// Said once per run, not once per repetition.
void SayOnce(const std::string& line) {
  static std::string said;
  if (said.find(line) != std::string::npos) return;
  said += line + "\n";
  std::fprintf(stderr, "%s\n", line.c_str());
}

void BM_ProgramAtRealSpeed(benchmark::State& state) {
  const bool sound = state.range(0) != 0;
  // The sound plug-in lies beside this benchmark; the program directory is
  // moved away below, so it is named outright.
  const std::string plugin =
      std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/libkelvora.so";
  if (sound && access(plugin.c_str(), R_OK) != 0) {
    state.SkipWithError(("no sound plug-in at " + plugin).c_str());
    return;
  }
  char tmpl[] = "/tmp/ovrin-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  platform::SetProgramDirectoryForTesting(dir);
  TAYHardware::SetPluginPathForTesting(sound ? plugin : dir + "/libkelvora.so");
  // The plug-in's own settings, kept out of the user's.
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::filesystem::create_directories(dir + "/OVRIN");
  std::ofstream(dir + "/OVRIN/OVRIN.ini")
      << "[General]\nInstalled=Yes\nMemoryModel=7\nBeeperEmulation=" << int(sound)
      << "\nAYHardwareEnable=" << int(sound) << "\nROMFILE0=" << kRom128 << "\nROMFILE1=" << kRom48
      << "\nROMFILE2=\nROMFILE3=\n";

  TakeProgramEntry(ProgramEntry(), 0, nullptr);
  TMainFormOptions options;
  options.SettingsPath = dir + "/OVRIN/OVRIN.ini";
  options.ClockMeasureSleep = std::chrono::milliseconds(200);
  {
    TMainForm form(options);
    TZXHardware machine(&form);
    form.AttachMachine(&machine);
    form.FormShow();
    RunFor(kBoot);
    // With sound, both outputs must really be on, or the figure is not one with sound.
    state.counters["sound_on"] = machine.SoundChip.AYEnabled && machine.SoundChip.BeeperEnabled;

    for (auto _ : state) {
      const double cpu0 = ProcessCpuSeconds();
      const double run0 = ThreadCpuSeconds(machine.CpuHandle.ThreadHandle);
      const uint64_t frames0 = form.Display().presents();
      const auto t0 = std::chrono::steady_clock::now();
      RunFor(kWindow);
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const double cpu = ProcessCpuSeconds() - cpu0;
      const double run = ThreadCpuSeconds(machine.CpuHandle.ThreadHandle) - run0;
      state.SetIterationTime(wall);
      state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
      state.counters["run_thread_percent"] = 100.0 * run / wall;
      state.counters["frames_per_second"] = static_cast<double>(form.Display().presents() - frames0) / wall;
    }
    form.FormClose();
    form.AttachMachine(nullptr);
  }
  platform::SetProgramDirectoryForTesting("");
  TAYHardware::SetPluginPathForTesting("");
  std::filesystem::remove_all(dir);

  // Fuse runs after ours, so the two never compete for the processor.
  const std::string fuse = FindProgram("fuse-sdl");
  const char* display = getenv("DISPLAY");
  const bool onX = QGuiApplication::platformName() == "xcb";
  if (fuse.empty()) {
    SayOnce("fuse-sdl is not installed (Debian: fuse-emulator-sdl): no comparison with it.");
  } else if (!onX) {
    SayOnce("No X display: no comparison with fuse-sdl.");
  } else if (access(kRom48, R_OK) != 0) {
    SayOnce(std::string("No ") + kRom48 + ": no comparison with fuse-sdl.");
  } else {
    const double percent = FuseCpuPercent(fuse, sound);
    if (percent >= 0)
      state.counters["fuse_cpu_percent_of_core"] = percent;
    else
      SayOnce("fuse-sdl did not keep running: no comparison with it.");
  }
  state.SetLabel(onX ? std::string("X display ") + (display ? display : "") : "offscreen");
}
BENCHMARK(BM_ProgramAtRealSpeed)
    ->ArgName("sound")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  PrivateXServer xserver;
  xserver.StartIfNeeded();
  // Ours and then Fuse on the processor the benchmark starts on (Fuse
  // inherits it): the processors of a shared host do not all run at one
  // speed at a time, and a share measured on a slower one reads higher.
  // The X server, started before, stays free to run elsewhere. Where the
  // processor cannot be told, both run unpinned.
  if (const int cpu = sched_getcpu(); cpu >= 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    sched_setaffinity(0, sizeof one, &one);
  }
  if (!getenv("DISPLAY") || !*getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Z80_Shutdown();
  }
  return 0;
}
