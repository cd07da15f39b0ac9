#include "platform/host_clock.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(HostClock, FrequencyProductDoesNotOverflow) {
  // 20 s of a 3.6 GHz counter times a 1 GHz reference: 7.2e28, far past 64 bits.
  const uint64_t hz = 3'600'000'000;
  const uint64_t ns = 20'000'000'000;
  EXPECT_EQ(platform::TimeStampFrequency(1000, 5, 1000 + hz * 20, 5 + ns), hz);
  // Counters that wrapped between the readings still subtract correctly.
  EXPECT_EQ(platform::TimeStampFrequency(UINT64_MAX - 99, 0, 2'000'000'000 - 100, 1'000'000'000),
            2'000'000'000u);
  EXPECT_EQ(platform::TimeStampFrequency(1, 7, 2, 7), 0u);
}

platform::CpuidLeaves Vendor(const char* text, uint32_t signature) {
  platform::CpuidLeaves l{};
  std::memcpy(&l.leaf0[1], text + 0, 4);  // ebx
  std::memcpy(&l.leaf0[3], text + 4, 4);  // edx
  std::memcpy(&l.leaf0[2], text + 8, 4);  // ecx
  l.leaf1_eax = signature;
  return l;
}

TEST(HostClock, ProcessorName) {
  EXPECT_EQ(platform::CpuName(Vendor("GenuineIntel", 0x6A8)), "GenuineIntel 6.10.8");
  auto amd = Vendor("AuthenticAMD", 0x111);
  amd.ext1_eax = 0xF4A;
  const char brand[48] = "AMD Example Processor";
  std::memcpy(amd.brand, brand, 48);
  EXPECT_EQ(platform::CpuName(amd), "AMD Example Processor 15.4.10");
  EXPECT_FALSE(platform::CpuName(platform::ReadCpuid()).empty());
}

}  // namespace
