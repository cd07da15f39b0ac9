// Flag bits of F and the six lookup tables of the most frequent flag groups.
// Everything is computed at compile time from the flag rules, so the tables
// cannot disagree with the inline computations of the other groups.
#pragma once

#include <array>
#include <cstdint>

namespace z80 {

inline constexpr uint8_t FLAG_C = 0x01;
inline constexpr uint8_t FLAG_N = 0x02;
inline constexpr uint8_t FLAG_PV = 0x04;
inline constexpr uint8_t FLAG_3 = 0x08;
inline constexpr uint8_t FLAG_H = 0x10;
inline constexpr uint8_t FLAG_5 = 0x20;
inline constexpr uint8_t FLAG_Z = 0x40;
inline constexpr uint8_t FLAG_S = 0x80;

// 1 when v has an even number of set bits.
constexpr bool EvenParity(uint8_t v) {
  v ^= v >> 4;
  v ^= v >> 2;
  v ^= v >> 1;
  return (v & 1) == 0;
}

// S, Z, F5, F3 of a byte.
constexpr uint8_t Sz53(uint8_t v) {
  return static_cast<uint8_t>((v & (FLAG_S | FLAG_5 | FLAG_3)) | (v == 0 ? FLAG_Z : 0));
}

// S, Z, F5, F3 and parity of a byte; H, N, C clear.
constexpr uint8_t Sz53p(uint8_t v) {
  return static_cast<uint8_t>(Sz53(v) | (EvenParity(v) ? FLAG_PV : 0));
}

namespace detail {

template <typename F>
constexpr std::array<uint8_t, 256> ByteTable(F rule) {
  std::array<uint8_t, 256> t{};
  for (int v = 0; v < 256; ++v) t[v] = rule(static_cast<uint8_t>(v));
  return t;
}

constexpr uint16_t DaaEntry(uint8_t a, bool h, bool n, bool c) {
  const uint8_t low = a & 0x0F;
  uint8_t correction = 0;
  if (h || low > 9) correction |= 0x06;
  if (c || a > 0x99) correction |= 0x60;
  const uint8_t result = static_cast<uint8_t>(n ? a - correction : a + correction);
  const bool newC = c || a > 0x99;
  const bool newH = n ? (h && low < 6) : (low > 9);
  const uint8_t f = static_cast<uint8_t>(Sz53p(result) | (newH ? FLAG_H : 0) |
                                         (n ? FLAG_N : 0) | (newC ? FLAG_C : 0));
  return static_cast<uint16_t>(result << 8 | f);
}

constexpr std::array<uint16_t, 2048> MakeDaaTable() {
  std::array<uint16_t, 2048> t{};
  for (int hnc = 0; hnc < 8; ++hnc)
    for (int a = 0; a < 256; ++a)
      t[hnc * 256 + a] = DaaEntry(static_cast<uint8_t>(a), hnc & 4, hnc & 2, hnc & 1);
  return t;
}

}  // namespace detail

// AND/OR/XOR result flags (AND adds H).
inline constexpr auto Z80LogicFlags = detail::ByteTable([](uint8_t v) { return Sz53p(v); });

// INC of the old value v; C left clear for the caller to keep the old one.
inline constexpr auto Z80IncFlags = detail::ByteTable([](uint8_t v) {
  const uint8_t r = static_cast<uint8_t>(v + 1);
  return static_cast<uint8_t>(Sz53(r) | ((v & 0x0F) == 0x0F ? FLAG_H : 0) |
                              (v == 0x7F ? FLAG_PV : 0));
});

// DEC of the old value v; C left clear.
inline constexpr auto Z80DecFlags = detail::ByteTable([](uint8_t v) {
  const uint8_t r = static_cast<uint8_t>(v - 1);
  return static_cast<uint8_t>(Sz53(r) | ((v & 0x0F) == 0 ? FLAG_H : 0) |
                              (v == 0x80 ? FLAG_PV : 0) | FLAG_N);
});

// RLCA/RLA by the old A: C from bit 7, F5/F3 from bits 4/2 (where they land).
inline constexpr auto Z80RlcaFlags = detail::ByteTable([](uint8_t v) {
  return static_cast<uint8_t>((v >> 7) | ((v << 1) & (FLAG_5 | FLAG_3)));
});

// RRCA/RRA by the old A: C from bit 0, F5/F3 from bits 6/4.
inline constexpr auto Z80RrcaFlags = detail::ByteTable([](uint8_t v) {
  return static_cast<uint8_t>((v & 1) | ((v >> 1) & (FLAG_5 | FLAG_3)));
});

// New AF after DAA, indexed by (H*4 + N*2 + C) * 256 + A.
inline constexpr auto Z80DaaTable = detail::MakeDaaTable();

constexpr unsigned DaaIndex(uint8_t a, uint8_t f) {
  return ((f & FLAG_H ? 4u : 0u) | (f & FLAG_N ? 2u : 0u) | (f & FLAG_C ? 1u : 0u)) * 256u + a;
}

static_assert(Z80LogicFlags[0x00] == (FLAG_Z | FLAG_PV));
static_assert(Z80IncFlags[0x7F] == (FLAG_S | FLAG_H | FLAG_PV));
static_assert(Z80DecFlags[0x80] == (FLAG_5 | FLAG_H | FLAG_3 | FLAG_PV | FLAG_N));
static_assert(Z80DaaTable[DaaIndex(0x3C, 0)] >> 8 == 0x42);

}  // namespace z80
