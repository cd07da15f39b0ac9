// Lockstep against an independent Z80 core (z80ex, Debian libz80ex-dev): both
// run the same code instruction by instruction, with the same maskable
// interrupt every 69888 T-states, and must agree on every register, the
// T-states of every step and all of memory. Where this core departs from the
// chip on purpose (flags 3/5 of SCF, CCF and the memory BIT forms, H of CCF,
// the block I/O flags) the other core is handed our F after that instruction
// so that the departure does not spread.
#include <gtest/gtest.h>
#include <z80ex/z80ex.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "z80/z80_core.h"

namespace {

constexpr uint32_t kFrame = 69888;

struct Memory {
  uint8_t bytes[65536] = {};
  std::vector<uint16_t> written;  // during the current step
};

uint8_t Fetch(uint32_t a, void* u) { return static_cast<Memory*>(u)->bytes[a & 0xFFFF]; }
void Write(uint32_t a, uint8_t v, void* u) {
  auto& m = *static_cast<Memory*>(u);
  m.written.push_back(static_cast<uint16_t>(a));
  if ((a & 0xFFFF) >= 0x4000) m.bytes[a & 0xFFFF] = v;  // ROM below
}
uint8_t In(uint32_t, void*) { return 0xBF; }
void Out(uint32_t, uint8_t, void*) {}
void IntCheck(void*) {}

Z80EX_BYTE ExRead(Z80EX_CONTEXT*, Z80EX_WORD a, int, void* u) { return Fetch(a, u); }
void ExWrite(Z80EX_CONTEXT*, Z80EX_WORD a, Z80EX_BYTE v, void* u) { Write(a, v, u); }
Z80EX_BYTE ExIn(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xBF; }
void ExOut(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
Z80EX_BYTE ExBus(Z80EX_CONTEXT*, void*) { return 0xFF; }

// The instruction at `at` (prefixes included) is one whose F differs on purpose.
bool DepartsOnFlags(const Memory& m, uint16_t at) {
  auto byte = [&](int i) { return m.bytes[static_cast<uint16_t>(at + i)]; };
  int i = 0;
  bool indexed = false;
  while (byte(i) == 0xDD || byte(i) == 0xFD) {
    indexed = true;
    ++i;
  }
  const uint8_t op = byte(i);
  if (op == 0x37 || op == 0x3F) return true;
  if (op == 0xCB) {
    const uint8_t cb = indexed ? byte(i + 2) : byte(i + 1);
    return cb >= 0x40 && cb < 0x80 && (indexed || (cb & 7) == 6);
  }
  if (op == 0xED) {
    const uint8_t ed = byte(i + 1);
    return ed >= 0xA2 && ed < 0xC0 && ((ed & 7) == 2 || (ed & 7) == 3);
  }
  return false;
}

class Lockstep {
 public:
  Lockstep() {
    s_.UserData = &ours_;
    s_.OnFetch = Fetch;
    s_.OnRead = Fetch;
    s_.OnWrite = Write;
    s_.OnPortIn = In;
    s_.OnPortOut = Out;
    s_.OnIntCheck = IntCheck;
    s_.Req.IntVector = 0xFF;
    cpu_ = z80ex_create(ExRead, &theirs_, ExWrite, &theirs_, ExIn, &theirs_, ExOut, &theirs_,
                        ExBus, &theirs_);
    for (Z80_REG_T r : {regAF, regBC, regDE, regHL, regAF_, regBC_, regDE_, regHL_, regIX, regIY,
                        regPC, regSP, regI, regR, regR7})
      z80ex_set_reg(cpu_, r, 0);
  }
  ~Lockstep() { z80ex_destroy(cpu_); }

  void Load(uint16_t at, const uint8_t* data, size_t size) {
    std::memcpy(ours_.bytes + at, data, size);
    std::memcpy(theirs_.bytes + at, data, size);
  }

  // Empty while both agree; else where and how they parted.
  std::string Run(long steps) {
    for (long n = 0; n < steps; ++n) {
      const uint16_t pc = s_.PC;
      ours_.written.clear();
      theirs_.written.clear();
      const bool line = time_ % kFrame < 32;
      s_.Req.IntLine = line ? Z80_FLAG_SET : 0;
      z80::Z80Step(s_);
      int theirTicks = line ? z80ex_int(cpu_) : 0;
      const bool tookInterrupt = theirTicks != 0;
      if (!tookInterrupt) {
        do theirTicks += z80ex_step(cpu_);
        while (z80ex_last_op_type(cpu_) != 0);
      }
      if (!tookInterrupt && DepartsOnFlags(ours_, pc)) z80ex_set_reg(cpu_, regAF, s_.AF);
      const std::string diff = Compare(theirTicks);
      if (!diff.empty()) {
        char where[64];
        std::snprintf(where, sizeof where, "step %ld at #%04X (opcode #%02X):", n, pc,
                      ours_.bytes[pc]);
        return where + diff;
      }
      time_ += s_.Req.Ticks;
    }
    return {};
  }

  const TZ80State& State() const { return s_; }
  bool SameMemory() const { return std::memcmp(ours_.bytes, theirs_.bytes, 65536) == 0; }

 private:
  std::string Compare(int theirTicks) {
    std::string d;
    auto check = [&](const char* name, unsigned a, unsigned b) {
      if (a != b) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " %s #%04X/#%04X", name, a, b);
        d += buf;
      }
    };
    check("T", s_.Req.Ticks, static_cast<unsigned>(theirTicks));
    const struct {
      const char* name;
      uint16_t ours;
      Z80_REG_T reg;
    } regs[] = {{"PC", s_.PC, regPC},   {"SP", s_.SP, regSP},   {"AF", s_.AF, regAF},
                {"BC", s_.BC, regBC},   {"DE", s_.DE, regDE},   {"HL", s_.HL, regHL},
                {"IX", s_.IX, regIX},   {"IY", s_.IY, regIY},   {"AF'", s_._AF, regAF_},
                {"BC'", s_._BC, regBC_}, {"DE'", s_._DE, regDE_}, {"HL'", s_._HL, regHL_},
                {"I", static_cast<uint16_t>(s_.IR >> 8), regI}};
    for (const auto& r : regs) check(r.name, r.ours, z80ex_get_reg(cpu_, r.reg));
    check("R", s_.IR & 0x7F, z80ex_get_reg(cpu_, regR) & 0x7F);
    check("IM", s_.Req.IM, z80ex_get_reg(cpu_, regIM));
    check("IFF1", s_.Req.IFF1 != 0, z80ex_get_reg(cpu_, regIFF1) != 0);
    check("IFF2", s_.Req.IFF2 != 0, z80ex_get_reg(cpu_, regIFF2) != 0);
    check("halted", s_.Req.Halted != 0, z80ex_doing_halt(cpu_) != 0);
    check("writes", static_cast<unsigned>(ours_.written.size()),
          static_cast<unsigned>(theirs_.written.size()));
    for (const auto* list : {&ours_.written, &theirs_.written})
      for (uint16_t a : *list)
        if (ours_.bytes[a] != theirs_.bytes[a]) {
          check("memory at", a, a);
          d += " differs";
          return d;
        }
    return d;
  }

  Memory ours_, theirs_;
  TZ80State s_{};
  Z80EX_CONTEXT* cpu_ = nullptr;
  uint64_t time_ = 0;
};

TEST(Oracle, BasicRomBootsInLockstep) {
  std::ifstream in("/usr/share/spectrum-roms/opense.rom", std::ios::binary);
  if (!in) GTEST_SKIP() << "opense-basic is not installed";
  uint8_t rom[16384];
  in.read(reinterpret_cast<char*>(rom), sizeof rom);
  ASSERT_EQ(in.gcount(), 16384);
  Lockstep both;
  both.Load(0, rom, sizeof rom);
  // Memory test, system variables, the copyright message and a while of the
  // keyboard-scanning main loop under interrupts.
  EXPECT_EQ(both.Run(3000000), "");
  EXPECT_EQ(both.State().Req.IM, 1u);
  EXPECT_TRUE(both.SameMemory());
}

// Every instruction of the unprefixed, CB, ED, DD, FD, DD CB and FD CB pages,
// each from four register states whose flags take both values of every
// condition.
TEST(Oracle, EveryOpcodeFromFourStates) {
  static const uint8_t prefixes[7][2] = {{0, 0},    {0xCB, 0}, {0xED, 0},   {0xDD, 0},
                                         {0xFD, 0}, {0xDD, 0xCB}, {0xFD, 0xCB}};
  static const uint16_t afs[4] = {0x5A00, 0x01FF, 0x8055, 0xFFAA};
  for (int page = 0; page < 7; ++page) {
    for (int op = 0; op < 256; ++op) {
      for (uint16_t af : afs) {
        uint8_t code[8] = {};
        int n = 0;
        for (uint8_t p : prefixes[page])
          if (p) code[n++] = p;
        if (page >= 5) code[n++] = 0x05;  // displacement
        code[n++] = static_cast<uint8_t>(op);
        code[n++] = 0x34;  // operands for whatever takes them
        code[n++] = 0x12;
        const uint8_t setup[] = {
            0x31, 0x00, 0xF0,        // LD SP,#F000
            0x21, 0x00, 0x90,        // LD HL,#9000
            0x11, 0x10, 0x90,        // LD DE,#9010
            0x01, 0x03, 0x02,        // LD BC,#0203
            0xDD, 0x21, 0x20, 0x90,  // LD IX,#9020
            0xFD, 0x21, 0x40, 0x90,  // LD IY,#9040
            0x3E, 0x5A,              // LD A,#5A
            0xED, 0x47,              // LD I,A
            0xF1,                    // POP AF
            0x31, 0x00, 0xF0,        // LD SP,#F000
        };
        Lockstep both;
        // PC starts at 0: JP #8000, the set-up, then the instruction.
        const uint8_t jump[] = {0xC3, 0x00, 0x80};
        both.Load(0x0000, jump, sizeof jump);
        both.Load(0x8000, setup, sizeof setup);
        both.Load(0x8000 + sizeof setup, code, sizeof code);
        uint8_t data[256];
        for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
        both.Load(0x9000, data, sizeof data);
        data[0] = static_cast<uint8_t>(af);
        data[1] = static_cast<uint8_t>(af >> 8);
        both.Load(0xF000, data, 16);
        const std::string diff = both.Run(1 + 10 + 1);
        ASSERT_EQ(diff, "") << "page " << page << " op " << op << " AF " << af;
        ASSERT_TRUE(both.SameMemory()) << "page " << page << " op " << op << " AF " << af;
      }
    }
  }
}

}  // namespace
