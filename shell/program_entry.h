// What the program entry takes before any window exists, and the host clock
// measured against it at the main window's first showing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct TProgramEntry {
  uint64_t StartCounter = 0;    // monotonic counter (ns) at start
  uint64_t StartTimeStamp = 0;  // time-stamp counter right after it
  std::string CPUName;          // "%s %d.%d.%d" of the host processor
  std::string CommandLine;      // the arguments after the program name, as given
};

// The process's entry record (filled once by main, read by the about box).
TProgramEntry& ProgramEntry();

// Takes the start stamps and the processor name; keeps the command line.
void TakeProgramEntry(TProgramEntry& entry, int argc, char** argv);

// Time-stamp ticks per second, measured from the entry stamps to now after
// sleeping `sleep` (one second and 20 ms at start-up), so the interval is at
// least that long.
uint64_t MeasureCpuClock(const TProgramEntry& entry, std::chrono::milliseconds sleep);
