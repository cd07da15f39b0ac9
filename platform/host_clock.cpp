#include "platform/host_clock.h"

#include <cpuid.h>
#include <time.h>
#include <x86intrin.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

uint64_t ReadTimeStamp() { return __rdtsc(); }

uint64_t ReadMonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t TimeStampFrequency(uint64_t stamp0, uint64_t counter0, uint64_t stamp1, uint64_t counter1,
                            uint64_t counter_frequency) {
  const uint64_t counted = counter1 - counter0;
  if (counted == 0) return 0;
  const unsigned __int128 product =
      static_cast<unsigned __int128>(stamp1 - stamp0) * counter_frequency;
  const unsigned __int128 hz = product / counted;
  return hz > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(hz);
}

CpuidLeaves ReadCpuid() {
  CpuidLeaves l{};
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid(0, a, b, c, d);
  l.leaf0[0] = a;
  l.leaf0[1] = b;
  l.leaf0[2] = c;
  l.leaf0[3] = d;
  __cpuid(1, a, b, c, d);
  l.leaf1_eax = a;
  if (__get_cpuid(0x80000001, &a, &b, &c, &d)) l.ext1_eax = a;
  for (unsigned i = 0; i < 3; ++i) {
    if (!__get_cpuid(0x80000002 + i, &a, &b, &c, &d)) break;
    l.brand[i * 4 + 0] = a;
    l.brand[i * 4 + 1] = b;
    l.brand[i * 4 + 2] = c;
    l.brand[i * 4 + 3] = d;
  }
  return l;
}

std::string CpuName(const CpuidLeaves& l) {
  // Vendor text: ebx, edx, ecx of leaf 0.
  char vendor[13] = {};
  std::memcpy(vendor + 0, &l.leaf0[1], 4);
  std::memcpy(vendor + 4, &l.leaf0[3], 4);
  std::memcpy(vendor + 8, &l.leaf0[2], 4);
  uint32_t signature = l.leaf1_eax;
  std::string name = vendor;
  // The wrapping sum of the vendor words identifies "AuthenticAMD", whose
  // processors name themselves in the brand text.
  if (static_cast<uint32_t>(l.leaf0[1] + l.leaf0[3] + l.leaf0[2]) == 0x16362509u) {
    signature = l.ext1_eax;
    char brand[49] = {};
    std::memcpy(brand, l.brand, 48);
    name = brand;
  }
  char out[128];
  std::snprintf(out, sizeof out, "%s %d.%d.%d", name.c_str(), (signature >> 8) & 15,
                (signature >> 4) & 15, signature & 15);
  return out;
}

void TimeStampClock::SleepFor(std::chrono::nanoseconds duration) {
  // An absolute deadline: a signal that cuts the sleep short resumes it
  // without stretching it.
  const uint64_t target = ReadMonotonicNs() + static_cast<uint64_t>(std::max<int64_t>(duration.count(), 0));
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(target / 1'000'000'000u);
  ts.tv_nsec = static_cast<long>(target % 1'000'000'000u);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace platform
