// Runs every case of the shared per-instruction reference vectors through
// the core and names each case that differs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "z80/z80_core.h"
#include "z80_test_bus.h"

namespace {

struct Registers {
  uint16_t words[13] = {};  // AF BC DE HL AF' BC' DE' HL' IX IY SP PC MEMPTR
  unsigned i = 0, r = 0, iff1 = 0, iff2 = 0, im = 0, halted = 0, tstates = 0;
};

struct MemoryBlock {
  uint16_t address;
  std::vector<uint8_t> bytes;
};

struct Case {
  std::string name;
  Registers regs;
  std::vector<MemoryBlock> memory;
};

bool ReadRegisters(std::istream& in, Registers& r) {
  for (auto& w : r.words) {
    unsigned v;
    if (!(in >> std::hex >> v)) return false;
    w = static_cast<uint16_t>(v);
  }
  in >> std::hex >> r.i >> r.r >> std::dec >> r.iff1 >> r.iff2 >> r.im >> r.halted >> r.tstates;
  return static_cast<bool>(in);
}

// Memory lines "<address> <byte>... -1", ended by a lone "-1" (tests.in) or
// by a blank line (tests.expected).
std::vector<MemoryBlock> ReadMemory(std::istream& in, bool endsWithMinusOne) {
  std::vector<MemoryBlock> blocks;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) {
      if (endsWithMinusOne) continue;
      break;
    }
    std::istringstream ls(line);
    std::string first;
    ls >> first;
    if (first == "-1") break;
    MemoryBlock b{static_cast<uint16_t>(std::stoul(first, nullptr, 16)), {}};
    std::string byte;
    while (ls >> byte && byte != "-1") b.bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    blocks.push_back(std::move(b));
  }
  return blocks;
}

std::vector<Case> ReadInput(const std::string& path) {
  std::ifstream in(path);
  std::vector<Case> cases;
  std::string name;
  while (in >> name) {
    Case c;
    c.name = name;
    ReadRegisters(in, c.regs);
    std::string rest;
    std::getline(in, rest);
    c.memory = ReadMemory(in, true);
    cases.push_back(std::move(c));
  }
  return cases;
}

std::map<std::string, Case> ReadExpected(const std::string& path) {
  std::ifstream in(path);
  std::map<std::string, Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    Case c;
    c.name = line;
    // Bus events are indented; the register lines are not.
    while (std::getline(in, line) && !line.empty() && line[0] == ' ') {
    }
    std::istringstream regs(line);
    std::string second;
    std::getline(in, second);
    std::istringstream both(line + " " + second);
    ReadRegisters(both, c.regs);
    c.memory = ReadMemory(in, false);
    cases.emplace(c.name, std::move(c));
  }
  return cases;
}

// Flag bits where this core departs from the chip on purpose.
uint8_t IgnoredFlags(const std::string& name) {
  const std::string base = name.substr(0, name.find('_'));
  const auto op = [&](size_t at) { return std::stoi(base.substr(at, 2), nullptr, 16); };
  const auto isBitMemory = [](int o) { return o >= 0x40 && o < 0x80 && (o & 7) == 6; };
  if (base == "37" || base == "3f") return 0x28;
  if (base.size() == 4 && base.starts_with("cb") && isBitMemory(op(2))) return 0x28;
  if (base.size() == 6 && (base.starts_with("ddcb") || base.starts_with("fdcb"))) {
    const int o = op(4);
    if (o >= 0x40 && o < 0x80) return 0x28;
  }
  if (base == "eda2" || base == "edaa" || base == "edb2" || base == "edba") return 0x04;
  if (base == "eda3" || base == "edab" || base == "edb3" || base == "edbb") return 0x15;
  return 0;
}

void Load(z80test::TestCpu& cpu, const Case& c) {
  TZ80State& s = cpu.s;
  const auto& w = c.regs.words;
  s.AF = w[0]; s.BC = w[1]; s.DE = w[2]; s.HL = w[3];
  s._AF = w[4]; s._BC = w[5]; s._DE = w[6]; s._HL = w[7];
  s.IX = w[8]; s.IY = w[9]; s.SP = w[10]; s.PC = w[11];
  s.IR = static_cast<uint16_t>(c.regs.i << 8 | c.regs.r);
  s.Req.IFF1 = c.regs.iff1 ? Z80_FLAG_SET : 0;
  s.Req.IFF2 = c.regs.iff2 ? Z80_FLAG_SET : 0;
  s.Req.IM = c.regs.im;
  s.Req.Halted = c.regs.halted ? Z80_FLAG_SET : 0;
  for (const auto& b : c.memory)
    for (size_t i = 0; i < b.bytes.size(); ++i) cpu.bus.memory[(b.address + i) & 0xFFFF] = b.bytes[i];
}

std::string Hex(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

// Empty when the case passes, else what differs.
std::string RunCase(const Case& in, const Case& want) {
  z80test::TestCpu cpu;
  cpu.bus.record = false;
  Load(cpu, in);
  auto expectedMemory = cpu.bus.memory;
  for (const auto& b : want.memory)
    for (size_t i = 0; i < b.bytes.size(); ++i) expectedMemory[(b.address + i) & 0xFFFF] = b.bytes[i];

  unsigned elapsed = 0;
  while (elapsed < in.regs.tstates) {
    z80::Z80Step(cpu.s);
    elapsed += cpu.s.Req.Ticks;
  }

  std::string diff;
  const TZ80State& s = cpu.s;
  const uint8_t ignore = IgnoredFlags(in.name);
  const uint16_t got[12] = {s.AF, s.BC, s.DE, s.HL, s._AF, s._BC, s._DE, s._HL, s.IX, s.IY, s.SP, s.PC};
  static const char* names[12] = {"AF", "BC", "DE", "HL", "AF'", "BC'", "DE'", "HL'", "IX", "IY", "SP", "PC"};
  for (int i = 0; i < 12; ++i) {
    const uint16_t mask = i == 0 ? static_cast<uint16_t>(0xFFFF & ~ignore) : 0xFFFF;
    if ((got[i] & mask) != (want.regs.words[i] & mask))
      diff += std::string(" ") + names[i] + "=" + Hex(got[i]) + " want " + Hex(want.regs.words[i]);
  }
  const auto check = [&](const char* what, unsigned a, unsigned b) {
    if (a != b) diff += std::string(" ") + what + "=" + std::to_string(a) + " want " + std::to_string(b);
  };
  check("I", s.IR >> 8, want.regs.i);
  check("R", s.IR & 0xFF, want.regs.r);
  check("IFF1", s.Req.IFF1 != 0, want.regs.iff1 != 0);
  check("IFF2", s.Req.IFF2 != 0, want.regs.iff2 != 0);
  check("IM", s.Req.IM, want.regs.im);
  check("halted", s.Req.Halted != 0, want.regs.halted != 0);
  check("T", elapsed, want.regs.tstates);
  for (unsigned a = 0; a < 65536; ++a)
    if (cpu.bus.memory[a] != expectedMemory[a]) {
      diff += " mem[" + Hex(a) + "]";
      break;
    }
  return diff;
}

TEST(Z80Vectors, EveryCaseMatches) {
  const std::string dir = std::string(OVRIN_SHARED_DIR) + "/testdata/z80-vectors/";
  // The vectors are kept outside the repository (their licence), so a plain
  // clone has none; CI sets OVRIN_REQUIRE_VECTORS so they cannot go missing
  // there unnoticed.
  if (!std::filesystem::is_regular_file(dir + "tests.in")) {
    if (std::getenv("OVRIN_REQUIRE_VECTORS")) FAIL() << "no reference vectors in " << dir;
    GTEST_SKIP() << "no reference vectors in " << dir << " (they are kept outside the repository)";
  }
  const auto inputs = ReadInput(dir + "tests.in");
  const auto expected = ReadExpected(dir + "tests.expected");
  ASSERT_EQ(inputs.size(), 1356u);
  ASSERT_EQ(expected.size(), inputs.size());
  int failures = 0;
  for (const auto& c : inputs) {
    const auto it = expected.find(c.name);
    ASSERT_NE(it, expected.end()) << c.name;
    const std::string diff = RunCase(c, it->second);
    if (!diff.empty()) {
      ++failures;
      ADD_FAILURE() << c.name << ":" << diff;
    }
  }
  EXPECT_EQ(failures, 0);
}

}  // namespace
