#include "shell/program_entry.h"

#include <thread>

#include "platform/host_clock.h"

TProgramEntry& ProgramEntry() {
  static TProgramEntry entry;
  return entry;
}

void TakeProgramEntry(TProgramEntry& entry, int argc, char** argv) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  entry.StartCounter = platform::ReadMonotonicNs();
  entry.StartTimeStamp = platform::ReadTimeStamp();
  entry.CPUName = platform::CpuName(platform::ReadCpuid());
  entry.CommandLine.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) entry.CommandLine += ' ';
    entry.CommandLine += argv[i];
  }
}

uint64_t MeasureCpuClock(const TProgramEntry& entry, std::chrono::milliseconds sleep) {
  std::this_thread::sleep_for(sleep);
  const uint64_t counter = platform::ReadMonotonicNs();
  const uint64_t stamp = platform::ReadTimeStamp();
  return platform::TimeStampFrequency(entry.StartTimeStamp, entry.StartCounter, stamp, counter);
}
