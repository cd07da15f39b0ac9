// CPU time of the whole program (processor, picture, hand-over to the GUI,
// painting) while it runs at the real speed of 50 frames a second with the
// free ROM at its BASIC prompt, sound off. Reported as a share of one core.
//
//   QT_QPA_PLATFORM=offscreen build/bin/bench_shell
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "shell/qt/main_form.h"
#include "shell/program_entry.h"
#include "z80/z80_host.h"

namespace {

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The program's own event loop, for a while.
void RunFor(std::chrono::milliseconds span) {
  QEventLoop loop;
  QTimer::singleShot(span, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

void BM_ProgramAtRealSpeed(benchmark::State& state) {
  char tmpl[] = "/tmp/ovrin-bench-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  platform::SetProgramDirectoryForTesting(dir);
  std::filesystem::create_directories(dir + "/OVRIN");
  std::ofstream(dir + "/OVRIN/OVRIN.ini")
      << "[General]\nInstalled=Yes\nBeeperEmulation=0\nAYHardwareEnable=0\n"
      << "ROMFILE0=/usr/share/spectrum-roms/opense-stub.rom\n"
      << "ROMFILE1=/usr/share/spectrum-roms/opense.rom\nROMFILE2=\nROMFILE3=\n";

  TakeProgramEntry(ProgramEntry(), 0, nullptr);
  TMainFormOptions options;
  options.SettingsPath = dir + "/OVRIN/OVRIN.ini";
  options.ClockMeasureSleep = std::chrono::milliseconds(200);
  {
    TMainForm form(options);
    TZXHardware machine(&form);
    form.AttachMachine(&machine);
    form.FormShow();
    RunFor(std::chrono::seconds(2));  // boot to the prompt

    for (auto _ : state) {
      const double cpu0 = ProcessCpuSeconds();
      const uint64_t frames0 = form.Display().presents();
      const auto t0 = std::chrono::steady_clock::now();
      RunFor(std::chrono::seconds(10));
      const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const double cpu = ProcessCpuSeconds() - cpu0;
      state.SetIterationTime(wall);
      state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
      state.counters["frames_per_second"] = static_cast<double>(form.Display().presents() - frames0) / wall;
    }
    form.FormClose();
    form.AttachMachine(nullptr);
  }
  platform::SetProgramDirectoryForTesting("");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ProgramAtRealSpeed)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Z80_Shutdown();
  return 0;
}
