// The host's clocks: the processor's time-stamp counter that paces frames and
// the monotonic counter it is measured against.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// Time-stamp counter (rdtsc).
uint64_t ReadTimeStamp();
// CLOCK_MONOTONIC in nanoseconds: the high-resolution counter, 1e9 per second.
uint64_t ReadMonotonicNs();
inline constexpr uint64_t kMonotonicFrequency = 1'000'000'000;

// Time-stamp ticks per second from two readings of both counters. The
// product is formed in 128 bits: a few seconds of a GHz counter times the
// counter frequency does not fit in 64. 0 when no time passed.
uint64_t TimeStampFrequency(uint64_t stamp0, uint64_t counter0, uint64_t stamp1, uint64_t counter1,
                            uint64_t counter_frequency = kMonotonicFrequency);

// "%s %d.%d.%d" of the processor's name, family, model and stepping, built
// from cpuid. The name is the vendor text, or the brand text on AMD.
struct CpuidLeaves {
  uint32_t leaf0[4];            // eax, ebx, ecx, edx of leaf 0
  uint32_t leaf1_eax;           // signature
  uint32_t ext1_eax;            // leaf 0x80000001 eax
  uint32_t brand[12];           // leaves 0x80000002..4: eax, ebx, ecx, edx each
};
CpuidLeaves ReadCpuid();
std::string CpuName(const CpuidLeaves& leaves);

// A clock for frame pacing, in time-stamp ticks. Tests inject their own.
class PaceClock {
 public:
  virtual ~PaceClock() = default;
  virtual uint64_t Now() = 0;
  virtual void SleepFor(std::chrono::nanoseconds duration) = 0;
};

class TimeStampClock final : public PaceClock {
 public:
  uint64_t Now() override { return ReadTimeStamp(); }
  void SleepFor(std::chrono::nanoseconds duration) override;
};

}  // namespace platform
