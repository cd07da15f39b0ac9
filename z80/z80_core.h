// The instruction engine inside the library: the step and its seven
// dispatch tables. Hosts use the exports of z80.h; tests and the benchmark
// reach these directly.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "z80/z80.h"

namespace z80 {

// A handler of the main, CB, ED, DD and FD pages: the state and the address
// of its own opcode byte (the byte the handler was dispatched on).
using Handler = void (*)(TZ80State& s, uint16_t pc);
// A handler of the DD CB / FD CB pages: the state and the operand address
// IX+d or IY+d, already formed by the prefix.
using IndexBitHandler = void (*)(TZ80State& s, uint16_t address);

extern const std::array<Handler, 256> Z80OpTableMain;
extern const std::array<Handler, 256> Z80OpTableCB;
extern const std::array<Handler, 256> Z80OpTableED;
extern const std::array<Handler, 256> Z80OpTableDD;
extern const std::array<Handler, 256> Z80OpTableFD;
extern const std::array<IndexBitHandler, 256> Z80OpTableDDCB;
extern const std::array<IndexBitHandler, 256> Z80OpTableFDCB;

// A run of DD/FD prefixes longer than this ends the step; Req.PrefixRun
// carries the prefix in force into the next step. Without the bound memory
// full of DD or FD would make one step that never ends.
inline constexpr int kMaxPrefixRun = 256;

// True for the opcodes whose meaning an index prefix changes (HL, H, L or
// (HL) become IX, IXH, IXL or (IX+d)), plus HALT and CB.
constexpr bool IndexOwnsOpcode(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  switch (x) {
    case 0:
      if (op == 0x21 || (z == 1 && (y & 1))) return true;  // LD HL,nn; ADD HL,rr
      if (op == 0x22 || op == 0x2A) return true;        // LD (nn),HL; LD HL,(nn)
      if (op == 0x23 || op == 0x2B) return true;        // INC HL; DEC HL
      if (z >= 4 && z <= 6) return y >= 4 && y <= 6;    // INC/DEC/LD n of H, L, (HL)
      return false;
    case 1:
      return y == 4 || y == 5 || y == 6 || z == 4 || z == 5 || z == 6;
    case 2:
      return z == 4 || z == 5 || z == 6;
    default:
      return op == 0xE1 || op == 0xE3 || op == 0xE5 || op == 0xE9 || op == 0xF9 || op == 0xCB;
  }
}

// The step when a request byte is up, the processor is halted or an
// over-long prefix run is to be finished (Req.Ticks already cleared).
void Z80StepRequests(TZ80State& s);

// ResetPending, IntLine, NmiPending and IntVector are the first four bytes
// of the request record: one relaxed load of that word reads the three
// request bytes the host may raise from another thread, where three loads
// would do. Each byte stays an atomic of its own for the host.
using HostRequestWordType __attribute__((may_alias)) = uint32_t;
static_assert(sizeof(std::atomic<uint8_t>) == 1);
static_assert(offsetof(TZ80Requests, ResetPending) == 0 && offsetof(TZ80Requests, NmiPending) == 2);
static_assert(alignof(TZ80Requests) >= alignof(uint32_t));
static_assert(std::endian::native == std::endian::little);
inline constexpr uint32_t kHostRequestMask = 0x00FFFFFF;  // all but IntVector
inline uint32_t HostRequestWord(const TZ80Requests& q) {
  return __atomic_load_n(reinterpret_cast<const HostRequestWordType*>(&q.ResetPending),
                         __ATOMIC_RELAXED);
}

// AfterEI, PrefixRun and StepObservers side by side: a step that follows
// EI or finishes an over-long prefix run takes the slow path, and so does a
// single step someone watches; the usual step tests all three with one load
// and stores none of them. The run thread leaves StepObservers out.
static_assert(offsetof(TZ80Requests, PrefixRun) == offsetof(TZ80Requests, AfterEI) + 1);
static_assert(offsetof(TZ80Requests, StepObservers) == offsetof(TZ80Requests, AfterEI) + 2);
static_assert(offsetof(TZ80Requests, AfterEI) % alignof(uint32_t) == 0);
inline constexpr uint32_t kCarriedOverMask = 0x0000FFFF;      // AfterEI, PrefixRun
inline constexpr uint32_t kSingleStepSlowMask = 0x00FFFFFF;   // and StepObservers
inline uint32_t CarriedOverWord(const TZ80Requests& q) {
  return __atomic_load_n(reinterpret_cast<const HostRequestWordType*>(&q.AfterEI),
                         __ATOMIC_RELAXED);
}

// The single step's one test before its fetch: a request byte, Halted,
// AfterEI, PrefixRun or StepObservers. Both words share the mask there, so
// Halted and the two words are ORed first and masked once. On x86-64 each
// load is an operand of its OR: the compiler does not fold atomic loads
// into arithmetic, and the two instructions it spent on that were a few per
// cent of a NOP step. An aligned 32-bit load is single-copy atomic there,
// as the atomic load is, and the asm's loads cannot be merged or reused.
inline bool SingleStepGoesSlow(const TZ80Requests& q) {
  static_assert(offsetof(TZ80Requests, Halted) == 4);  // byte 0 of the OR, beside ResetPending
#if defined(__x86_64__)
  uint32_t any;
  asm("movzbl %1, %0\n\tor %2, %0\n\tor %3, %0"
      : "=&r"(any)
      : "m"(q.Halted), "m"(*reinterpret_cast<const HostRequestWordType*>(&q.ResetPending)),
        "m"(*reinterpret_cast<const HostRequestWordType*>(&q.AfterEI)));
  return (any & kSingleStepSlowMask) != 0;
#else
  return (((HostRequestWord(q) | CarriedOverWord(q)) & kSingleStepSlowMask) | q.Halted) != 0;
#endif
}

// R counts in bits 0-6 and keeps bit 7. The next value comes from a table:
// a load in place of an add, a test and a branch, in every handler of the
// single step. R alone, as a byte, everywhere: a 16-bit load of IR right
// after a byte store of R cannot take its value from the store and waits
// until the store is written (a prefixed instruction's second count
// followed the first by a few instructions).
// An incb in memory, with the wrap as a rare branch, would keep R's chain
// from step to step to one cycle. That spares a few loops of one repeated
// instruction (RLA, CPL, OUT (n),A) steps three times as long as they
// should be, where this chain meets the chain of A and F; but it cost 3-6%
// on the benchmark's mix and on beeper and fill loops, which are where the
// time goes in practice.
inline constexpr auto kNextR = [] {
  std::array<uint8_t, 256> next{};
  for (int r = 0; r < 256; ++r) next[r] = static_cast<uint8_t>((r & 0x80) | ((r + 1) & 0x7F));
  return next;
}();
static_assert(kNextR[0x7F] == 0x00 && kNextR[0xFF] == 0x80 && kNextR[0x12] == 0x13);
inline void IncR(TZ80State& s) {
  uint8_t& r = reinterpret_cast<uint8_t*>(&s.IR)[0];
  r = kNextR[r];
}

// One step: a reset, an NMI, an interrupt, an idle cycle of a halted
// processor, or one instruction with its prefixes. Inline, so that the run
// loop and the single step pay no call for the usual step: nothing pending,
// one opcode fetch (which counts in R) and its handler.
// Its start: false when the step was a request's and is already done;
// otherwise the opcode is fetched, for the caller to dispatch, and counted
// in R. The single step (SingleStep true) also takes the slow way for
// StepObservers, and leaves the count to its handlers.
template <bool SingleStep = false>
inline bool Z80BeginStep(TZ80State& s, uint8_t& op) {
  TZ80Requests& q = s.Req;
  q.Ticks = 0;
  // One test of all three, not three tests: fewer branches on the path
  // taken almost every time.
  bool slow;
  if constexpr (SingleStep)
    slow = SingleStepGoesSlow(q);
  else
    slow = ((HostRequestWord(q) & kHostRequestMask) | (CarriedOverWord(q) & kCarriedOverMask) |
            q.Halted) != 0;
  if (slow) [[unlikely]] {
    Z80StepRequests(s);
    return false;
  }
  op = s.OnFetch(s.PC, s.UserData);
  if constexpr (!SingleStep) IncR(s);
  return true;
}

inline void Z80Step(TZ80State& s) {
  uint8_t op;
  // PC is read again rather than kept across the fetch: nothing then lives
  // through the call, and the step needs no saved registers.
  if (Z80BeginStep(s, op)) Z80OpTableMain[op](s, s.PC);
}

// The main page once more for Z80_ExecCycle: each of these runs the
// instruction and then ends the export's step itself, so the export jumps
// to it and it returns straight to the host, one call and return fewer for
// every single step. They read PC themselves, and only those whose
// instruction has operands read it at all. They count the opcode in R
// themselves, which leaves the export less to do before its jump.
// The export hands them its object: the store that releases the guard then
// has an address known from the start. Taken from the state's Owner, loaded
// just before that store, it came so late that the host's next step tested
// the guard before the store's address was known, and that test was often
// run again (a step of NOPs took up to three times as long).
using SingleStepHandler = Z80Result (*)(TZ80State& s, TZ80Object* object);
extern const std::array<SingleStepHandler, 256> Z80SingleStepTable;

}  // namespace z80
