// A flat 64 KB test machine for the processor: records every bus access with
// the T-state count the core reported at that moment.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "z80/z80.h"

namespace z80test {

enum class Access { Fetch, Read, Write, In, Out, IntCheck };

struct BusEvent {
  Access kind;
  uint16_t address;
  uint8_t value;
  uint32_t ticks;
  bool operator==(const BusEvent&) const = default;
};

struct TestBus {
  std::array<uint8_t, 65536> memory{};
  std::vector<BusEvent> events;
  bool record = true;
  TZ80State* state = nullptr;  // for the Ticks seen by each callback
  uint8_t (*portIn)(uint16_t port) = [](uint16_t port) { return static_cast<uint8_t>(port >> 8); };
  int afterSteps = 0;

  void Load(uint16_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) memory[at++] = b;
  }
  void Load(uint16_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) memory[at++] = b;
  }
  void Note(Access k, uint32_t a, uint8_t v) {
    if (record) events.push_back({k, static_cast<uint16_t>(a), v, state ? state->Req.Ticks : 0});
  }

  static TestBus& Of(void* user) { return *static_cast<TestBus*>(user); }
  static uint8_t Fetch(uint32_t a, void* u) {
    auto& b = Of(u);
    const uint8_t v = b.memory[a & 0xFFFF];
    b.Note(Access::Fetch, a, v);
    return v;
  }
  static uint8_t Read(uint32_t a, void* u) {
    auto& b = Of(u);
    const uint8_t v = b.memory[a & 0xFFFF];
    b.Note(Access::Read, a, v);
    return v;
  }
  static void Write(uint32_t a, uint8_t v, void* u) {
    auto& b = Of(u);
    b.memory[a & 0xFFFF] = v;
    b.Note(Access::Write, a, v);
  }
  static uint8_t In(uint32_t p, void* u) {
    auto& b = Of(u);
    const uint8_t v = b.portIn(static_cast<uint16_t>(p));
    b.Note(Access::In, p, v);
    return v;
  }
  static void Out(uint32_t p, uint8_t v, void* u) { Of(u).Note(Access::Out, p, v); }
  static void IntCheck(void* u) { Of(u).Note(Access::IntCheck, 0, 0); }
  static void AfterStep(uint32_t, void* u) { ++Of(u).afterSteps; }

  // A state record wired to this bus, zero-filled as Z80_Create leaves it.
  void Wire(TZ80State& s) {
    s.UserData = this;
    s.OnFetch = Fetch;
    s.OnRead = Read;
    s.OnWrite = Write;
    s.OnPortIn = In;
    s.OnPortOut = Out;
    s.OnIntCheck = IntCheck;
    state = &s;
  }
};

// A zero-filled processor on its own bus, stepped directly.
struct TestCpu {
  TestBus bus;
  TZ80State s{};
  TestCpu() {
    bus.Wire(s);
    s.Req.IntVector = 0xFF;
  }
  uint8_t R() const { return static_cast<uint8_t>(s.IR); }
  uint8_t I() const { return static_cast<uint8_t>(s.IR >> 8); }
  uint8_t A() const { return static_cast<uint8_t>(s.AF >> 8); }
  uint8_t F() const { return static_cast<uint8_t>(s.AF); }
};

}  // namespace z80test
