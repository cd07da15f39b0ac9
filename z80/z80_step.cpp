// The instruction engine. Every page of the instruction set is one template
// over the opcode, decoded at compile time into x/y/z/p/q fields, so each
// table slot gets its own handler with its operands fixed and nothing is
// decoded while running. The unprefixed page and the DD/FD pages share one
// body: the template parameter X picks HL, IX or IY.
//
// T-states: a handler adds its count to Req.Ticks after its accesses, except
// the parts that the bus must see earlier (a write at T-state 6 of
// LD (BC),A, the pushes of PUSH and RST, OUT (n),A, ...). Callbacks thus see
// the prefix count plus exactly those parts.
#include <bit>
#include <cstdint>
#include <utility>

#include "z80/z80_core.h"
#include "z80/z80_flags.h"
#include "z80/z80_instance.h"

static_assert(std::endian::native == std::endian::little,
              "register pairs are reached byte-wise in little-endian order");

namespace z80 {
namespace {

enum : int { kHL = 0, kIX = 1, kIY = 2 };

// ---------------------------------------------------------------------------
// Registers and bus.
// ---------------------------------------------------------------------------
inline uint8_t& Hi(uint16_t& r) { return reinterpret_cast<uint8_t*>(&r)[1]; }
inline uint8_t& Lo(uint16_t& r) { return reinterpret_cast<uint8_t*>(&r)[0]; }
inline uint8_t& A(TZ80State& s) { return Hi(s.AF); }
inline uint8_t& F(TZ80State& s) { return Lo(s.AF); }

template <int X>
inline uint16_t& Index(TZ80State& s) {
  if constexpr (X == kHL) return s.HL;
  else if constexpr (X == kIX) return s.IX;
  else return s.IY;
}

// r by its 3-bit code: B C D E H L - A; H and L stand for the halves of the
// index register in force.
template <int X, int R>
inline uint8_t& Reg8(TZ80State& s) {
  static_assert(R != 6, "(HL) is a memory operand");
  if constexpr (R == 0) return Hi(s.BC);
  else if constexpr (R == 1) return Lo(s.BC);
  else if constexpr (R == 2) return Hi(s.DE);
  else if constexpr (R == 3) return Lo(s.DE);
  else if constexpr (R == 4) return Hi(Index<X>(s));
  else if constexpr (R == 5) return Lo(Index<X>(s));
  else return A(s);
}

// rr by its 2-bit code: BC DE HL SP (Stack = false) or BC DE HL AF.
template <int X, int P, bool Stack = false>
inline uint16_t& Reg16(TZ80State& s) {
  if constexpr (P == 0) return s.BC;
  else if constexpr (P == 1) return s.DE;
  else if constexpr (P == 2) return Index<X>(s);
  else if constexpr (Stack) return s.AF;
  else return s.SP;
}

inline uint8_t Fetch(TZ80State& s, uint16_t a) { return s.OnFetch(a, s.UserData); }
inline uint8_t Read(TZ80State& s, uint16_t a) { return s.OnRead(a, s.UserData); }
inline void Write(TZ80State& s, uint16_t a, uint8_t v) { s.OnWrite(a, v, s.UserData); }
inline uint8_t PortIn(TZ80State& s, uint16_t p) { return s.OnPortIn(p, s.UserData); }
inline void PortOut(TZ80State& s, uint16_t p, uint8_t v) { s.OnPortOut(p, v, s.UserData); }

// The operand word at next, which lies a fixed distance past the opcode
// at pc. The second byte's address is PC plus that distance again, read
// after the first fetch: PC still holds pc while a handler takes its
// operands, so nothing of the handler's own has to live through the call.
inline uint16_t Fetch16(TZ80State& s, uint16_t pc, uint16_t& next) {
  const uint8_t lo = Fetch(s, next);
  const uint8_t hi = Fetch(s, static_cast<uint16_t>(s.PC + static_cast<uint16_t>(next + 1 - pc)));
  next = static_cast<uint16_t>(next + 2);
  return static_cast<uint16_t>(hi << 8 | lo);
}
inline uint16_t Read16(TZ80State& s, uint16_t a) {
  const uint8_t lo = Read(s, a);
  const uint8_t hi = Read(s, static_cast<uint16_t>(a + 1));
  return static_cast<uint16_t>(hi << 8 | lo);
}

inline void Tick(TZ80State& s, uint32_t n) { s.Req.Ticks += n; }

inline bool IsSet(uint8_t flag) { return flag != 0; }

// Pushes the word at v (a register or PC, in the state) with its two writes
// placed at the given T-state offsets (relative to what the step has
// counted so far). The word and SP are read again for the second write,
// not kept through the first one's call: a host changes no register within
// a step, and nothing then needs a saved register of its own.
inline void PushTimed(TZ80State& s, const uint16_t& v, uint32_t before, uint32_t between) {
  Tick(s, before);
  Write(s, static_cast<uint16_t>(s.SP - 1), static_cast<uint8_t>(v >> 8));
  Tick(s, between);
  Write(s, static_cast<uint16_t>(s.SP - 2), static_cast<uint8_t>(v));
  // An add to SP in memory, as for PC: the next push or pop need not wait
  // for this one's load of SP.
  s.SP = static_cast<uint16_t>(s.SP - 2);
}

// LD (nn),rr and LD rr,(nn) in 16 T-states after the operand fetch, the
// two writes seen at 12 and 15.
inline void StoreWordTimed(TZ80State& s, uint16_t a, uint16_t r) {
  Tick(s, 12);
  Write(s, a, static_cast<uint8_t>(r));
  Tick(s, 3);
  Write(s, static_cast<uint16_t>(a + 1), static_cast<uint8_t>(r >> 8));
  Tick(s, 1);
}
inline void LoadWordTimed(TZ80State& s, uint16_t a, uint16_t& r) {
  r = Read16(s, a);
  Tick(s, 16);
}

// SP read again for the second read, as for a push.
inline uint16_t Pop(TZ80State& s) {
  const uint8_t lo = Read(s, s.SP);
  const uint8_t hi = Read(s, static_cast<uint16_t>(s.SP + 1));
  s.SP = static_cast<uint16_t>(s.SP + 2);
  return static_cast<uint16_t>(hi << 8 | lo);
}

template <int Y>
inline bool Condition(const TZ80State& s) {
  const uint8_t f = static_cast<uint8_t>(s.AF);
  if constexpr (Y == 0) return !(f & FLAG_Z);
  else if constexpr (Y == 1) return f & FLAG_Z;
  else if constexpr (Y == 2) return !(f & FLAG_C);
  else if constexpr (Y == 3) return f & FLAG_C;
  else if constexpr (Y == 4) return !(f & FLAG_PV);
  else if constexpr (Y == 5) return f & FLAG_PV;
  else if constexpr (Y == 6) return !(f & FLAG_S);
  else return f & FLAG_S;
}

// ---------------------------------------------------------------------------
// Flag groups computed inline.
// ---------------------------------------------------------------------------

// ADD ADC SUB SBC AND XOR OR CP, in the order of bits 5-3 of the opcode.
template <int Op>
inline void Alu(TZ80State& s, uint8_t v) {
  const unsigned a = A(s);
  const unsigned carry = F(s) & FLAG_C;
  if constexpr (Op == 0 || Op == 1) {
    const unsigned r = a + v + (Op == 1 ? carry : 0);
    F(s) = static_cast<uint8_t>(Sz53(static_cast<uint8_t>(r)) | ((a ^ v ^ r) & FLAG_H) |
                                (((a ^ r) & (v ^ r) & 0x80) >> 5) | (r >> 8));
    A(s) = static_cast<uint8_t>(r);
  } else if constexpr (Op == 2 || Op == 3 || Op == 7) {
    const unsigned r = a - v - (Op == 3 ? carry : 0);
    const uint8_t bits = Op == 7 ? static_cast<uint8_t>((Sz53(static_cast<uint8_t>(r)) &
                                                         ~(FLAG_5 | FLAG_3)) |
                                                        (v & (FLAG_5 | FLAG_3)))
                                 : Sz53(static_cast<uint8_t>(r));
    F(s) = static_cast<uint8_t>(bits | ((a ^ v ^ r) & FLAG_H) |
                                (((a ^ v) & (a ^ r) & 0x80) >> 5) | FLAG_N | ((r >> 8) & 1));
    if constexpr (Op != 7) A(s) = static_cast<uint8_t>(r);
  } else if constexpr (Op == 4) {
    A(s) = static_cast<uint8_t>(a & v);
    F(s) = Z80LogicFlags[A(s)] | FLAG_H;
  } else if constexpr (Op == 5) {
    A(s) = static_cast<uint8_t>(a ^ v);
    F(s) = Z80LogicFlags[A(s)];
  } else {
    A(s) = static_cast<uint8_t>(a | v);
    F(s) = Z80LogicFlags[A(s)];
  }
}

inline uint8_t Inc8(TZ80State& s, uint8_t v) {
  F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | Z80IncFlags[v]);
  return static_cast<uint8_t>(v + 1);
}
inline uint8_t Dec8(TZ80State& s, uint8_t v) {
  F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | Z80DecFlags[v]);
  return static_cast<uint8_t>(v - 1);
}

inline void Add16(TZ80State& s, uint16_t& dst, uint16_t v) {
  const uint32_t r = uint32_t{dst} + v;
  F(s) = static_cast<uint8_t>((F(s) & (FLAG_S | FLAG_Z | FLAG_PV)) | ((r >> 8) & (FLAG_5 | FLAG_3)) |
                              (((dst ^ v ^ r) >> 8) & FLAG_H) | (r >> 16));
  dst = static_cast<uint16_t>(r);
}

inline void Adc16(TZ80State& s, uint16_t v) {
  const uint32_t hl = s.HL;
  const uint32_t r = hl + v + (F(s) & FLAG_C);
  const uint16_t x = static_cast<uint16_t>(r);
  F(s) = static_cast<uint8_t>(((x >> 8) & (FLAG_S | FLAG_5 | FLAG_3)) | (x == 0 ? FLAG_Z : 0) |
                              (((hl ^ v ^ r) >> 8) & FLAG_H) |
                              (((hl ^ r) & (v ^ r) & 0x8000) >> 13) | ((r >> 16) & 1));
  s.HL = x;
}

inline void Sbc16(TZ80State& s, uint16_t v) {
  const uint32_t hl = s.HL;
  const uint32_t r = hl - v - (F(s) & FLAG_C);
  const uint16_t x = static_cast<uint16_t>(r);
  F(s) = static_cast<uint8_t>(((x >> 8) & (FLAG_S | FLAG_5 | FLAG_3)) | (x == 0 ? FLAG_Z : 0) |
                              (((hl ^ v ^ r) >> 8) & FLAG_H) |
                              (((hl ^ v) & (hl ^ r) & 0x8000) >> 13) | FLAG_N | ((r >> 16) & 1));
  s.HL = x;
}

// RLC RRC RL RR SLA SRA SLL SRL, in the order of bits 5-3 of the CB opcode.
template <int Y>
inline uint8_t Rotate(TZ80State& s, uint8_t v) {
  const uint8_t oldC = F(s) & FLAG_C;
  uint8_t r, c;
  if constexpr (Y == 0) { r = static_cast<uint8_t>(v << 1 | v >> 7); c = v >> 7; }
  else if constexpr (Y == 1) { r = static_cast<uint8_t>(v >> 1 | v << 7); c = v & 1; }
  else if constexpr (Y == 2) { r = static_cast<uint8_t>(v << 1 | oldC); c = v >> 7; }
  else if constexpr (Y == 3) { r = static_cast<uint8_t>(v >> 1 | oldC << 7); c = v & 1; }
  else if constexpr (Y == 4) { r = static_cast<uint8_t>(v << 1); c = v >> 7; }
  else if constexpr (Y == 5) { r = static_cast<uint8_t>(v >> 1 | (v & 0x80)); c = v & 1; }
  else if constexpr (Y == 6) { r = static_cast<uint8_t>(v << 1 | 1); c = v >> 7; }
  else { r = static_cast<uint8_t>(v >> 1); c = v & 1; }
  F(s) = static_cast<uint8_t>(Z80LogicFlags[r] | c);
  return r;
}

// BIT b: F5 and F3 come from `bits35` (the operand, or 0 for the index forms).
template <int B>
inline void Bit(TZ80State& s, uint8_t v, uint8_t bits35) {
  const uint8_t t = static_cast<uint8_t>(v & (1 << B));
  F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | FLAG_H | (bits35 & (FLAG_5 | FLAG_3)) |
                              (t & FLAG_S) | (t == 0 ? FLAG_Z | FLAG_PV : 0));
}

// (HL), or (IX+d) with d fetched at `next`.
template <int X>
inline uint16_t MemOperand(TZ80State& s, uint16_t& next) {
  if constexpr (X == kHL) {
    return s.HL;
  } else {
    const auto d = static_cast<int8_t>(Fetch(s, next++));
    return static_cast<uint16_t>(Index<X>(s) + d);
  }
}

// ---------------------------------------------------------------------------
// Unprefixed page; with X = IX or IY, the DD and FD pages' own slots.
// ---------------------------------------------------------------------------
// PC past the instruction: an add to PC in memory rather than a store of a
// value computed from the opcode's address. A handler is entered with PC on
// its opcode byte (pc), so both give the same; but the processor chains adds
// to memory from step to step at once, where a store of pc + n waits for
// the load of pc, and PC is what every step depends on; nor need pc live
// through a handler's operand fetches (JR, DJNZ, CALL). RET and RST, which
// set PC again afterwards, keep a plain store.
inline void AdvancePC(TZ80State& s, uint16_t pc, uint16_t next) {
  s.PC = static_cast<uint16_t>(s.PC + static_cast<uint16_t>(next - pc));
}

template <int X, int OP>
void Op(TZ80State& s, uint16_t pc) {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
  constexpr bool indexed = X != kHL;
  uint16_t next = static_cast<uint16_t>(pc + 1);

  if constexpr (x == 0) {
    if constexpr (z == 0) {
      if constexpr (y == 0) {  // NOP
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else if constexpr (y == 1) {  // EX AF,AF'
        std::swap(s.AF, s._AF);
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else {  // DJNZ e, JR e, JR cc,e
        const auto e = static_cast<int8_t>(Fetch(s, next++));
        bool jump;
        if constexpr (y == 2) { s.BC = static_cast<uint16_t>(s.BC - 0x100); jump = s.BC >= 0x100; }
        else if constexpr (y == 3) jump = true;
        else jump = Condition<y - 4>(s);
        AdvancePC(s, pc, jump ? static_cast<uint16_t>(next + e) : next);
        if constexpr (y == 2) Tick(s, jump ? 13 : 8);
        else Tick(s, jump ? 12 : 7);
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) {  // LD rr,nn
        Reg16<X, p>(s) = Fetch16(s, pc, next);
        AdvancePC(s, pc, next);
        Tick(s, 10);
      } else {  // ADD HL,rr
        Add16(s, Index<X>(s), Reg16<X, p>(s));
        AdvancePC(s, pc, next);
        Tick(s, 11);
      }
    } else if constexpr (z == 2) {
      if constexpr (p == 0 || p == 1) {  // LD (BC),A ... LD A,(DE)
        const uint16_t a = p == 0 ? s.BC : s.DE;
        AdvancePC(s, pc, next);
        if constexpr (q == 0) {
          Tick(s, 6);
          Write(s, a, A(s));
          Tick(s, 1);
        } else {
          A(s) = Read(s, a);
          Tick(s, 7);
        }
      } else if constexpr (p == 2) {  // LD (nn),HL; LD HL,(nn)
        const uint16_t a = Fetch16(s, pc, next);
        AdvancePC(s, pc, next);
        if constexpr (q == 0) StoreWordTimed(s, a, Index<X>(s));
        else LoadWordTimed(s, a, Index<X>(s));
      } else {  // LD (nn),A; LD A,(nn)
        const uint16_t a = Fetch16(s, pc, next);
        AdvancePC(s, pc, next);
        if constexpr (q == 0) Write(s, a, A(s));
        else A(s) = Read(s, a);
        Tick(s, 13);
      }
    } else if constexpr (z == 3) {  // INC rr; DEC rr
      uint16_t& r = Reg16<X, p>(s);
      r = static_cast<uint16_t>(q == 0 ? r + 1 : r - 1);
      AdvancePC(s, pc, next);
      Tick(s, 6);
    } else if constexpr (z == 4 || z == 5) {  // INC r; DEC r
      if constexpr (y == 6) {
        const uint16_t a = MemOperand<X>(s, next);
        AdvancePC(s, pc, next);
        const uint8_t v = Read(s, a);
        const uint8_t r = z == 4 ? Inc8(s, v) : Dec8(s, v);
        if constexpr (indexed) {
          Write(s, a, r);
          Tick(s, 19);
        } else {
          Tick(s, 10);
          Write(s, a, r);
          Tick(s, 1);
        }
      } else {
        uint8_t& r = Reg8<X, y>(s);
        r = z == 4 ? Inc8(s, r) : Dec8(s, r);
        AdvancePC(s, pc, next);
        Tick(s, 4);
      }
    } else if constexpr (z == 6) {  // LD r,n
      if constexpr (y == 6) {
        const uint16_t a = MemOperand<X>(s, next);
        const uint8_t n = Fetch(s, next++);
        AdvancePC(s, pc, next);
        Write(s, a, n);
        Tick(s, indexed ? 15 : 10);
      } else {
        Reg8<X, y>(s) = Fetch(s, next++);
        AdvancePC(s, pc, next);
        Tick(s, 7);
      }
    } else {  // RLCA RRCA RLA RRA DAA CPL SCF CCF
      const uint8_t a = A(s);
      const uint8_t f = F(s);
      constexpr uint8_t keep = FLAG_S | FLAG_Z | FLAG_PV;
      if constexpr (y == 0) {
        A(s) = static_cast<uint8_t>(a << 1 | a >> 7);
        F(s) = static_cast<uint8_t>((f & keep) | Z80RlcaFlags[a]);
      } else if constexpr (y == 1) {
        A(s) = static_cast<uint8_t>(a >> 1 | a << 7);
        F(s) = static_cast<uint8_t>((f & keep) | Z80RrcaFlags[a]);
      } else if constexpr (y == 2) {
        A(s) = static_cast<uint8_t>(a << 1 | (f & FLAG_C));
        F(s) = static_cast<uint8_t>((f & keep) | (Z80RlcaFlags[a] & FLAG_C) |
                                    (A(s) & (FLAG_5 | FLAG_3)));
      } else if constexpr (y == 3) {
        A(s) = static_cast<uint8_t>(a >> 1 | (f & FLAG_C) << 7);
        F(s) = static_cast<uint8_t>((f & keep) | (Z80RrcaFlags[a] & FLAG_C) |
                                    (A(s) & (FLAG_5 | FLAG_3)));
      } else if constexpr (y == 4) {
        s.AF = Z80DaaTable[DaaIndex(a, f)];
      } else if constexpr (y == 5) {
        A(s) = static_cast<uint8_t>(~a);
        F(s) = static_cast<uint8_t>((f & (keep | FLAG_C)) | FLAG_H | FLAG_N |
                                    (A(s) & (FLAG_5 | FLAG_3)));
      } else if constexpr (y == 6) {
        F(s) = static_cast<uint8_t>((f & keep) | FLAG_C | (a & (FLAG_5 | FLAG_3)));
      } else {
        // CCF keeps H as it was.
        F(s) = static_cast<uint8_t>(((f & (keep | FLAG_H | FLAG_C)) ^ FLAG_C) |
                                    (a & (FLAG_5 | FLAG_3)));
      }
      AdvancePC(s, pc, next);
      Tick(s, 4);
    }
  } else if constexpr (x == 1) {
    static_assert(OP != 0x76, "HALT has handlers of its own");
    if constexpr (z == 6) {  // LD r,(HL): H and L stay H and L under a prefix
      const uint16_t a = MemOperand<X>(s, next);
      AdvancePC(s, pc, next);
      Reg8<kHL, y>(s) = Read(s, a);
      Tick(s, indexed ? 15 : 7);
    } else if constexpr (y == 6) {  // LD (HL),r
      const uint16_t a = MemOperand<X>(s, next);
      AdvancePC(s, pc, next);
      Write(s, a, Reg8<kHL, z>(s));
      Tick(s, indexed ? 15 : 7);
    } else {
      Reg8<X, y>(s) = Reg8<X, z>(s);
      AdvancePC(s, pc, next);
      Tick(s, 4);
    }
  } else if constexpr (x == 2) {  // ALU A,r
    if constexpr (z == 6) {
      const uint16_t a = MemOperand<X>(s, next);
      AdvancePC(s, pc, next);
      Alu<y>(s, Read(s, a));
      Tick(s, indexed ? 15 : 7);
    } else {
      Alu<y>(s, Reg8<X, z>(s));
      AdvancePC(s, pc, next);
      Tick(s, 4);
    }
  } else {
    if constexpr (z == 0) {  // RET cc
      if (Condition<y>(s)) {
        s.PC = next;
        s.PC = Pop(s);
        Tick(s, 11);
      } else {
        AdvancePC(s, pc, next);
        Tick(s, 5);
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) {  // POP rr
        AdvancePC(s, pc, next);
        Reg16<X, p, true>(s) = Pop(s);
        Tick(s, 10);
      } else if constexpr (p == 0) {  // RET
        s.PC = next;
        s.PC = Pop(s);
        Tick(s, 10);
      } else if constexpr (p == 1) {  // EXX
        std::swap(s.BC, s._BC);
        std::swap(s.DE, s._DE);
        std::swap(s.HL, s._HL);
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else if constexpr (p == 2) {  // JP (HL)
        s.PC = Index<X>(s);
        Tick(s, 4);
      } else {  // LD SP,HL
        s.SP = Index<X>(s);
        AdvancePC(s, pc, next);
        Tick(s, 6);
      }
    } else if constexpr (z == 2 || (z == 3 && y == 0)) {  // JP cc,nn; JP nn
      bool jump;
      if constexpr (z == 3) jump = true;
      else jump = Condition<y>(s);
      // A false condition takes the operand bytes without reading them.
      s.PC = jump ? Fetch16(s, pc, next) : static_cast<uint16_t>(pc + 3);
      Tick(s, 10);
    } else if constexpr (z == 3) {
      if constexpr (y == 2 || y == 3) {  // OUT (n),A; IN A,(n)
        const uint8_t n = Fetch(s, next++);
        AdvancePC(s, pc, next);
        const uint16_t port = static_cast<uint16_t>(A(s) << 8 | n);
        if constexpr (y == 2) {
          Tick(s, 10);
          PortOut(s, port, A(s));
          Tick(s, 1);
        } else {
          A(s) = PortIn(s, port);
          Tick(s, 11);
        }
      } else if constexpr (y == 4) {  // EX (SP),HL
        AdvancePC(s, pc, next);
        uint16_t& r = Index<X>(s);
        const uint16_t sp = s.SP;
        const uint8_t lo = Read(s, sp);
        Write(s, sp, Lo(r));
        const uint8_t hi = Read(s, static_cast<uint16_t>(sp + 1));
        Write(s, static_cast<uint16_t>(sp + 1), Hi(r));
        r = static_cast<uint16_t>(hi << 8 | lo);
        Tick(s, 19);
      } else if constexpr (y == 5) {  // EX DE,HL: never the index register
        std::swap(s.DE, s.HL);
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else if constexpr (y == 6) {  // DI
        s.Req.IFF1 = s.Req.IFF2 = 0;
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else if constexpr (y == 7) {  // EI: the next step ignores the line
        s.Req.IFF1 = s.Req.IFF2 = s.Req.AfterEI = Z80_FLAG_SET;
        AdvancePC(s, pc, next);
        Tick(s, 4);
      } else {
        static_assert(y != 1, "CB is a prefix");
      }
    } else if constexpr (z == 4 || (z == 5 && q == 1 && p == 0)) {  // CALL cc,nn; CALL nn
      bool call;
      if constexpr (z == 5) call = true;
      else call = Condition<y>(s);
      if (call) {
        const uint16_t target = Fetch16(s, pc, next);
        AdvancePC(s, pc, next);
        PushTimed(s, s.PC, 0, 0);
        s.PC = target;
        Tick(s, 17);
      } else {
        s.PC = static_cast<uint16_t>(pc + 3);
        Tick(s, 10);
      }
    } else if constexpr (z == 5) {  // PUSH rr
      static_assert(q == 0, "DD, ED, FD are prefixes");
      AdvancePC(s, pc, next);
      PushTimed(s, Reg16<X, p, true>(s), 7, 3);
      Tick(s, 1);
    } else if constexpr (z == 6) {  // ALU A,n
      Alu<y>(s, Fetch(s, next++));
      AdvancePC(s, pc, next);
      Tick(s, 7);
    } else {  // RST p
      s.PC = next;
      PushTimed(s, s.PC, 7, 3);
      s.PC = static_cast<uint16_t>(OP & 0x38);
      Tick(s, 1);
    }
  }
}

// HALT: PC stays on the HALT byte; the following steps idle.
void OpHalt(TZ80State& s, uint16_t pc) {
  s.PC = pc;
  s.Req.Halted = Z80_FLAG_SET;
  Tick(s, 4);
}

// ---------------------------------------------------------------------------
// CB page.
// ---------------------------------------------------------------------------
template <int OP>
void OpCB(TZ80State& s, uint16_t pc) {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
  s.PC = static_cast<uint16_t>(pc + 1);
  if constexpr (z == 6) {
    const uint16_t a = s.HL;
    const uint8_t v = Read(s, a);
    if constexpr (x == 1) {
      Bit<y>(s, v, v);
      Tick(s, 8);
      return;
    } else if constexpr (x == 0) {
      Write(s, a, Rotate<y>(s, v));
    } else if constexpr (x == 2) {
      Write(s, a, static_cast<uint8_t>(v & ~(1 << y)));
    } else {
      Write(s, a, static_cast<uint8_t>(v | (1 << y)));
    }
    Tick(s, 11);
  } else {
    uint8_t& r = Reg8<kHL, z>(s);
    if constexpr (x == 0) r = Rotate<y>(s, r);
    else if constexpr (x == 1) Bit<y>(s, r, r);
    else if constexpr (x == 2) r = static_cast<uint8_t>(r & ~(1 << y));
    else r = static_cast<uint8_t>(r | (1 << y));
    Tick(s, 4);
  }
}

// ---------------------------------------------------------------------------
// DD CB / FD CB page: the operand is always (IX+d); z only names a register
// that also receives the result.
// ---------------------------------------------------------------------------
template <int OP>
void OpIndexCB(TZ80State& s, uint16_t a) {
  constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
  const uint8_t v = Read(s, a);
  if constexpr (x == 1) {
    Bit<y>(s, v, 0);
    Tick(s, 12);
  } else {
    uint8_t r;
    if constexpr (x == 0) r = Rotate<y>(s, v);
    else if constexpr (x == 2) r = static_cast<uint8_t>(v & ~(1 << y));
    else r = static_cast<uint8_t>(v | (1 << y));
    if constexpr (z != 6) Reg8<kHL, z>(s) = r;
    Write(s, a, r);
    Tick(s, 15);
  }
}

// ---------------------------------------------------------------------------
// ED page.
// ---------------------------------------------------------------------------
template <int Y, int Z>
void OpBlock(TZ80State& s, uint16_t pc) {
  constexpr bool down = Y & 1;
  constexpr bool repeat = Y >= 6;
  constexpr int step = down ? -1 : 1;
  s.PC = static_cast<uint16_t>(pc + 1);
  bool again;
  if constexpr (Z == 0) {  // LDI LDD LDIR LDDR
    const uint8_t v = Read(s, s.HL);
    Write(s, s.DE, v);
    s.HL = static_cast<uint16_t>(s.HL + step);
    s.DE = static_cast<uint16_t>(s.DE + step);
    s.BC = static_cast<uint16_t>(s.BC - 1);
    const uint8_t n = static_cast<uint8_t>(v + A(s));
    F(s) = static_cast<uint8_t>((F(s) & (FLAG_S | FLAG_Z | FLAG_C)) | (n & FLAG_3) |
                                ((n & 0x02) << 4) | (s.BC ? FLAG_PV : 0));
    again = s.BC != 0;
  } else if constexpr (Z == 1) {  // CPI CPD CPIR CPDR
    const uint8_t v = Read(s, s.HL);
    const uint8_t r = static_cast<uint8_t>(A(s) - v);
    const bool h = (A(s) & 0x0F) < (v & 0x0F);
    s.HL = static_cast<uint16_t>(s.HL + step);
    s.BC = static_cast<uint16_t>(s.BC - 1);
    const uint8_t n = static_cast<uint8_t>(r - (h ? 1 : 0));
    F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | FLAG_N | (r & FLAG_S) | (r == 0 ? FLAG_Z : 0) |
                                (h ? FLAG_H : 0) | (s.BC ? FLAG_PV : 0) | (n & FLAG_3) |
                                ((n & 0x02) << 4));
    again = s.BC != 0 && r != 0;
  } else {
    uint8_t v;
    unsigned k;
    if constexpr (Z == 2) {  // INI IND INIR INDR: the port sees B before the decrement
      v = PortIn(s, s.BC);
      Write(s, s.HL, v);
      --Hi(s.BC);
      k = v + static_cast<uint8_t>(Lo(s.BC) + step);
    } else {  // OUTI OUTD OTIR OTDR: B is decremented before it reaches the port
      v = Read(s, s.HL);
      --Hi(s.BC);
      PortOut(s, s.BC, v);
      k = v + static_cast<uint8_t>(Lo(s.BC) + 1);
    }
    s.HL = static_cast<uint16_t>(s.HL + step);
    const uint8_t b = Hi(s.BC);
    F(s) = static_cast<uint8_t>(Sz53p(b) | (k > 255 ? FLAG_H | FLAG_C : 0) | ((v >> 6) & FLAG_N));
    again = b != 0;
  }
  if (repeat && again) {
    s.PC = static_cast<uint16_t>(pc - 1);
    Tick(s, 17);
  } else {
    Tick(s, 12);
  }
}

template <int OP>
void OpED(TZ80State& s, uint16_t pc) {
  constexpr int y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
  static_assert(OP >= 0x40 && OP < 0x80);
  uint16_t next = static_cast<uint16_t>(pc + 1);
  if constexpr (z == 0) {  // IN r,(C); IN F,(C)
    s.PC = next;
    const uint8_t v = PortIn(s, s.BC);
    F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | Sz53p(v));
    if constexpr (y != 6) Reg8<kHL, y>(s) = v;
    Tick(s, 8);
  } else if constexpr (z == 1) {  // OUT (C),r; OUT (C),0
    s.PC = next;
    uint8_t v = 0;
    if constexpr (y != 6) v = Reg8<kHL, y>(s);
    Tick(s, 7);
    PortOut(s, s.BC, v);
    Tick(s, 1);
  } else if constexpr (z == 2) {  // SBC HL,rr; ADC HL,rr
    if constexpr (q == 0) Sbc16(s, Reg16<kHL, p>(s));
    else Adc16(s, Reg16<kHL, p>(s));
    s.PC = next;
    Tick(s, 11);
  } else if constexpr (z == 3) {  // LD (nn),rr; LD rr,(nn)
    const uint16_t a = Fetch16(s, pc, next);
    s.PC = next;
    if constexpr (q == 0) StoreWordTimed(s, a, Reg16<kHL, p>(s));
    else LoadWordTimed(s, a, Reg16<kHL, p>(s));
  } else if constexpr (z == 4) {  // NEG
    const uint8_t a = A(s);
    A(s) = 0;
    Alu<2>(s, a);
    s.PC = next;
    Tick(s, 4);
  } else if constexpr (z == 5) {  // RETN; RETI
    s.Req.IFF1 = s.Req.IFF2;
    s.PC = next;
    s.PC = Pop(s);
    Tick(s, 10);
  } else if constexpr (z == 6) {  // IM 0/1/2
    constexpr uint32_t modes[4] = {0, 0, 1, 2};
    s.Req.IM = modes[y & 3];
    s.PC = next;
    Tick(s, 4);
  } else if constexpr (y <= 3) {  // LD I,A; LD R,A; LD A,I; LD A,R
    s.PC = next;
    if constexpr (y == 0) {
      Hi(s.IR) = A(s);
    } else if constexpr (y == 1) {
      Lo(s.IR) = A(s);
    } else {
      const uint8_t v = y == 2 ? Hi(s.IR) : Lo(s.IR);
      uint8_t f = static_cast<uint8_t>((F(s) & FLAG_C) | Sz53(v));
      s.OnIntCheck(s.UserData);
      // P/V is IFF2, read as 0 when an enabled interrupt is pending now.
      const uint8_t line = s.Req.IntLine.load(std::memory_order_relaxed);
      if ((s.Req.IFF2 & ~(line & s.Req.IFF1)) & 1) f |= FLAG_PV;
      A(s) = v;
      F(s) = f;
    }
    Tick(s, 5);
  } else {  // RRD; RLD
    s.PC = next;
    const uint8_t m = Read(s, s.HL);
    const uint8_t a = A(s);
    uint8_t newA, newM;
    if constexpr (y == 4) {
      newA = static_cast<uint8_t>((a & 0xF0) | (m & 0x0F));
      newM = static_cast<uint8_t>((a & 0x0F) << 4 | m >> 4);
    } else {
      newA = static_cast<uint8_t>((a & 0xF0) | m >> 4);
      newM = static_cast<uint8_t>((m & 0x0F) << 4 | (a & 0x0F));
    }
    A(s) = newA;
    F(s) = static_cast<uint8_t>((F(s) & FLAG_C) | Sz53p(newA));
    Write(s, s.HL, newM);
    Tick(s, 14);
  }
}

// ---------------------------------------------------------------------------
// Prefixes.
// ---------------------------------------------------------------------------
void PrefixCB(TZ80State& s, uint16_t pc);
void PrefixED(TZ80State& s, uint16_t pc);
void PrefixDD(TZ80State& s, uint16_t pc);
void PrefixFD(TZ80State& s, uint16_t pc);
template <int X>
void PrefixIndexCB(TZ80State& s, uint16_t pc);
void OpIndexHalt(TZ80State& s, uint16_t pc);

// ---------------------------------------------------------------------------
// Tables.
// ---------------------------------------------------------------------------
constexpr bool EdAssigned(int op) {
  if (op >= 0x40 && op < 0x80) return op != 0x77 && op != 0x7F;
  return op >= 0xA0 && op < 0xC0 && (op & 7) <= 3;
}

template <int OP>
constexpr Handler MainEntry() {
  if constexpr (OP == 0xCB) return &PrefixCB;
  else if constexpr (OP == 0xDD) return &PrefixDD;
  else if constexpr (OP == 0xED) return &PrefixED;
  else if constexpr (OP == 0xFD) return &PrefixFD;
  else if constexpr (OP == 0x76) return &OpHalt;
  else return &Op<kHL, OP>;
}

template <int X, int OP>
constexpr Handler IndexEntry() {
  if constexpr (OP == 0xCB) return &PrefixIndexCB<X>;
  else if constexpr (OP == 0x76) return &OpIndexHalt;
  else if constexpr (IndexOwnsOpcode(OP)) return &Op<X, OP>;
  else return MainEntry<OP>();
}

template <int OP>
constexpr Handler EdEntry() {
  if constexpr (!EdAssigned(OP)) return &Op<kHL, 0x00>;  // a two-byte NOP
  else if constexpr (OP < 0x80) return &OpED<OP>;
  else return &OpBlock<(OP >> 3) & 7, OP & 7>;
}

template <int X, int OP>
constexpr IndexBitHandler IndexCBEntry() {
  // BIT ignores z: the eight slots of one bit share a handler.
  if constexpr ((OP >> 6) == 1) return &OpIndexCB<(OP & ~7) | 6>;
  else return &OpIndexCB<OP>;
}

template <size_t... I>
constexpr std::array<Handler, 256> MakeMain(std::index_sequence<I...>) {
  return {{MainEntry<I>()...}};
}
template <int X, size_t... I>
constexpr std::array<Handler, 256> MakeIndex(std::index_sequence<I...>) {
  return {{IndexEntry<X, I>()...}};
}
template <size_t... I>
constexpr std::array<Handler, 256> MakeCB(std::index_sequence<I...>) {
  return {{&OpCB<I>...}};
}
template <size_t... I>
constexpr std::array<Handler, 256> MakeED(std::index_sequence<I...>) {
  return {{EdEntry<I>()...}};
}
template <int X, size_t... I>
constexpr std::array<IndexBitHandler, 256> MakeIndexCB(std::index_sequence<I...>) {
  return {{IndexCBEntry<X, I>()...}};
}

constexpr int CountIndexOwn() {
  int n = 0;
  for (int op = 0; op < 256; ++op) n += IndexOwnsOpcode(op);
  return n;
}
constexpr int CountEdAssigned() {
  int n = 0;
  for (int op = 0; op < 256; ++op) n += EdAssigned(op);
  return n;
}
static_assert(CountIndexOwn() == 87, "85 index instructions, HALT and CB");
static_assert(CountEdAssigned() == 78);

constexpr auto kSeq = std::make_index_sequence<256>{};

// Hot, like Z80_ExecCycle: the linker keeps them with it, on its page.
template <int OP>
[[gnu::flatten, gnu::hot]] Z80Result SingleStepEntry(TZ80State& s, TZ80Object* object) {
  IncR(s);
  MainEntry<OP>()(s, s.PC);
  ReleaseSingleStep(s, *object);
  return Z80_OK;
}
template <size_t... I>
constexpr std::array<SingleStepHandler, 256> MakeSingleStep(std::index_sequence<I...>) {
  return {{&SingleStepEntry<I>...}};
}

}  // namespace

const std::array<SingleStepHandler, 256> Z80SingleStepTable = MakeSingleStep(kSeq);

const std::array<Handler, 256> Z80OpTableMain = MakeMain(kSeq);
const std::array<Handler, 256> Z80OpTableCB = MakeCB(kSeq);
const std::array<Handler, 256> Z80OpTableED = MakeED(kSeq);
const std::array<Handler, 256> Z80OpTableDD = MakeIndex<kIX>(kSeq);
const std::array<Handler, 256> Z80OpTableFD = MakeIndex<kIY>(kSeq);
const std::array<IndexBitHandler, 256> Z80OpTableDDCB = MakeIndexCB<kIX>(kSeq);
const std::array<IndexBitHandler, 256> Z80OpTableFDCB = MakeIndexCB<kIY>(kSeq);

namespace {

// Every opcode byte fetched as an opcode (an M1 cycle) counts once in R; the
// handler it leads to is entered with that byte's address, in pc and in PC.
inline void Dispatch(TZ80State& s, const std::array<Handler, 256>& table, uint16_t pc) {
  const uint8_t op = Fetch(s, pc);
  IncR(s);
  s.PC = pc;
  table[op](s, pc);
}

void PrefixCB(TZ80State& s, uint16_t pc) {
  Tick(s, 4);
  Dispatch(s, Z80OpTableCB, static_cast<uint16_t>(pc + 1));
}

void PrefixED(TZ80State& s, uint16_t pc) {
  Tick(s, 4);
  Dispatch(s, Z80OpTableED, static_cast<uint16_t>(pc + 1));
}

// A chain of DD/FD bytes: the last one decides the index register. The chain
// is walked here rather than by recursion so that its length is bounded.
void PrefixChain(TZ80State& s, uint16_t pc, uint8_t prefix) {
  for (int run = 1;; ++run) {
    Tick(s, 4);
    pc = static_cast<uint16_t>(pc + 1);
    if (run == kMaxPrefixRun) {
      s.PC = pc;
      s.Req.PrefixRun = prefix;
      return;
    }
    const uint8_t op = Fetch(s, pc);
    IncR(s);
    if (op == 0xDD || op == 0xFD) {
      prefix = op;
      continue;
    }
    s.PC = pc;
    (prefix == 0xDD ? Z80OpTableDD : Z80OpTableFD)[op](s, pc);
    return;
  }
}

void PrefixDD(TZ80State& s, uint16_t pc) { PrefixChain(s, pc, 0xDD); }
void PrefixFD(TZ80State& s, uint16_t pc) { PrefixChain(s, pc, 0xFD); }

template <int X>
void PrefixIndexCB(TZ80State& s, uint16_t pc) {
  Tick(s, 4);
  const auto d = static_cast<int8_t>(Fetch(s, static_cast<uint16_t>(pc + 1)));
  const uint8_t op = Fetch(s, static_cast<uint16_t>(pc + 2));
  s.PC = static_cast<uint16_t>(pc + 3);
  const uint16_t a = static_cast<uint16_t>(Index<X>(s) + d);
  (X == kIX ? Z80OpTableDDCB : Z80OpTableFDCB)[op](s, a);
}

// DD 76 / FD 76: PC must rest on the 76 byte, not on the prefix.
void OpIndexHalt(TZ80State& s, uint16_t pc) { OpHalt(s, pc); }

}  // namespace

// ---------------------------------------------------------------------------
// The step.
// ---------------------------------------------------------------------------
void Z80StepRequests(TZ80State& s) {
  TZ80Requests& q = s.Req;

  // The rest of an over-long prefix run: finish the instruction first.
  if (q.PrefixRun) [[unlikely]] {
    const uint8_t prefix = q.PrefixRun;
    q.PrefixRun = 0;
    Dispatch(s, prefix == 0xDD ? Z80OpTableDD : Z80OpTableFD, s.PC);
    return;
  }

  if (q.ResetPending.load(std::memory_order_relaxed)) [[unlikely]] {
    q.ResetPending.store(0, std::memory_order_relaxed);
    q.Halted = q.AfterEI = q.IFF1 = q.IFF2 = 0;
    q.PrefixRun = 0;
    q.IM = 0;
    s.PC = 0;
    s.IR = 0;
    q.Ticks = 6;
    return;
  }

  if (q.NmiPending.load(std::memory_order_relaxed)) [[unlikely]] {
    q.NmiPending.store(0, std::memory_order_relaxed);
    if (q.Halted) {
      s.PC = static_cast<uint16_t>(s.PC + 1);
      q.Halted = 0;
    }
    q.IFF1 = 0;
    PushTimed(s, s.PC, 0, 0);
    s.PC = 0x0066;
    q.Ticks = 11;
    IncR(s);
    return;
  }

  if (q.IntLine.load(std::memory_order_relaxed) && !q.AfterEI && q.IFF1) [[unlikely]] {
    if (q.Halted) {
      s.PC = static_cast<uint16_t>(s.PC + 1);
      q.Halted = 0;
    }
    q.IFF1 = q.IFF2 = 0;
    PushTimed(s, s.PC, 0, 0);
    if (q.IM < 2) {
      // Mode 0 acts as mode 1: the byte on the bus is not executed.
      s.PC = 0x0038;
      q.Ticks = 13;
    } else {
      const uint16_t table =
          static_cast<uint16_t>(s.IR & 0xFF00) | q.IntVector.load(std::memory_order_relaxed);
      s.PC = Read16(s, table);
      q.Ticks = 19;
    }
    IncR(s);
    return;
  }

  // Stored only when set: the next step reads it with PrefixRun as one word,
  // which a byte store just before would hold up.
  if (q.AfterEI) q.AfterEI = 0;
  if (q.Halted) {
    q.Ticks = 4;
    IncR(s);
    return;
  }
  Dispatch(s, Z80OpTableMain, s.PC);
}

}  // namespace z80
