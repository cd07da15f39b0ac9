// Builders for snapshot files as tests need them, and an independent scanner
// of .Z80 files. None of this shares code with the readers or the writer:
// the encoder here codes every ED byte as a run, and the scanner decodes
// with its own loop, so a fault in the library cannot hide behind itself.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace snapfiles {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPage = 16384;

// A page whose bytes tell which page it is, with runs and ED bytes in it.
inline Bytes Pattern(int seed) {
  Bytes p(kPage);
  uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
  for (size_t i = 0; i < kPage; ++i) {
    if (i % 512 < 40) {
      p[i] = static_cast<uint8_t>(seed);  // runs
    } else if (i % 97 == 0) {
      p[i] = 0xED;
    } else {
      x = x * 1103515245u + 12345u;
      p[i] = static_cast<uint8_t>(x >> 16);
    }
  }
  p[0] = static_cast<uint8_t>(seed);
  return p;
}

// A page of zeros with its number in a few places: codes to a few hundred
// bytes, for tests that walk every prefix of a file.
inline Bytes Sparse(int seed) {
  Bytes p(kPage, 0);
  for (size_t i = 0; i < kPage; i += 4099) p[i] = static_cast<uint8_t>(seed + 1);
  p[100] = 0xED;
  return p;
}
using PageFn = Bytes (*)(int);

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline uint16_t Get16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// Runs of five or more and every ED byte as ED ED n b, the rest literal.
inline Bytes Encode(const Bytes& src) {
  Bytes out;
  for (size_t i = 0; i < src.size();) {
    size_t n = 1;
    while (i + n < src.size() && n < 255 && src[i + n] == src[i]) ++n;
    if (n >= 5 || src[i] == 0xED) {
      out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(n), src[i]});
      i += n;
    } else {
      out.push_back(src[i]);
      ++i;
    }
  }
  return out;
}

// The register values every built file carries.
struct Regs {
  uint16_t AF = 0x1234, BC = 0x5678, HL = 0x9ABC, DE = 0x1122, SP = 0xFEDC, PC = 0x8123;
  uint16_t AF_ = 0x99AA, BC_ = 0x3344, DE_ = 0x5566, HL_ = 0x7788, IX = 0xDDEE, IY = 0xBBCC;
  uint8_t I = 0x3F, R = 0x85, IFF1 = 1, IFF2 = 0, IM = 2, border = 5;
};

// The 30-byte .Z80 header.
inline Bytes Z80Header(const Regs& r, bool compressed, uint16_t pc) {
  Bytes h(30, 0);
  h[0] = r.AF >> 8;
  h[1] = r.AF & 0xFF;
  Put16(h, 2, r.BC);
  Put16(h, 4, r.HL);
  Put16(h, 6, pc);
  Put16(h, 8, r.SP);
  h[10] = r.I;
  h[11] = r.R & 0x7F;
  h[12] = static_cast<uint8_t>((r.R >> 7) | (r.border << 1) | (compressed ? 0x20 : 0));
  Put16(h, 13, r.DE);
  Put16(h, 15, r.BC_);
  Put16(h, 17, r.DE_);
  Put16(h, 19, r.HL_);
  h[21] = r.AF_ >> 8;
  h[22] = r.AF_ & 0xFF;
  Put16(h, 23, r.IY);
  Put16(h, 25, r.IX);
  h[27] = r.IFF1 ? 0xFF : 0;
  h[28] = r.IFF2 ? 0xFF : 0;
  h[29] = r.IM;
  return h;
}

inline Bytes Z80Version1(const Regs& r, bool compressed, PageFn page = Pattern) {
  Bytes f = Z80Header(r, compressed, r.PC);
  Bytes mem;
  for (int p : {8, 4, 5}) {
    Bytes pg = page(p);
    mem.insert(mem.end(), pg.begin(), pg.end());
  }
  if (compressed) {
    Bytes c = Encode(mem);
    f.insert(f.end(), c.begin(), c.end());
    f.insert(f.end(), {0x00, 0xED, 0xED, 0x00});
  } else {
    f.insert(f.end(), mem.begin(), mem.end());
  }
  return f;
}

struct Z80Block {
  uint8_t page;
  bool raw = false;  // version 3: length #FFFF and 16,384 plain bytes
};

inline Bytes Z80Version23(const Regs& r, int version, uint8_t mode, uint8_t port7ffd,
                          const std::vector<Z80Block>& blocks, uint8_t if1 = 0,
                          PageFn page = Pattern) {
  Bytes f = Z80Header(r, false, 0);
  const uint16_t ext = version == 2 ? 23 : 54;
  Bytes e(2 + ext, 0);
  Put16(e, 0, ext);
  Put16(e, 2, r.PC);
  e[4] = mode;
  e[5] = port7ffd;
  e[6] = if1;
  e[8] = 7;
  for (int i = 0; i < 16; ++i) e[9 + i] = static_cast<uint8_t>(0xA0 + i);
  f.insert(f.end(), e.begin(), e.end());
  for (const auto& b : blocks) {
    Bytes pg = page(b.page);
    Bytes data = b.raw ? pg : Encode(pg);
    Bytes head(3);
    Put16(head, 0, b.raw ? 0xFFFF : static_cast<uint16_t>(data.size()));
    head[2] = b.page;
    f.insert(f.end(), head.begin(), head.end());
    f.insert(f.end(), data.begin(), data.end());
  }
  return f;
}

inline std::vector<Z80Block> Blocks(std::initializer_list<int> pages) {
  std::vector<Z80Block> v;
  for (int p : pages) v.push_back({static_cast<uint8_t>(p)});
  return v;
}

// .SNA: 48K form, or the 128K form with the given latch.
inline Bytes Sna(const Regs& r, std::optional<uint8_t> latch, uint8_t trdos = 0,
                 PageFn page = Pattern) {
  Bytes f(27, 0);
  f[0] = r.I;
  Put16(f, 1, r.HL_);
  Put16(f, 3, r.DE_);
  Put16(f, 5, r.BC_);
  Put16(f, 7, r.AF_);
  Put16(f, 9, r.HL);
  Put16(f, 11, r.DE);
  Put16(f, 13, r.BC);
  Put16(f, 15, r.IY);
  Put16(f, 17, r.IX);
  f[19] = r.IFF1 ? 4 : 0;
  f[20] = r.R;
  Put16(f, 21, r.AF);
  Put16(f, 23, r.SP);
  f[25] = r.IM;
  f[26] = r.border;
  const int paged = latch ? (*latch & 7) : 0;
  for (int p : {5, 2, paged}) {
    Bytes pg = page(p);
    f.insert(f.end(), pg.begin(), pg.end());
  }
  if (latch) {
    Bytes t(4);
    Put16(t, 0, r.PC);
    t[2] = *latch;
    t[3] = trdos;
    f.insert(f.end(), t.begin(), t.end());
    for (int p = 0; p < 8; ++p) {
      if (p == 5 || p == 2 || p == paged) continue;
      Bytes pg = page(p);
      f.insert(f.end(), pg.begin(), pg.end());
    }
  }
  return f;
}

// The independent view of a .Z80 file: header fields by offset and the
// memory by page number (version 1 as pages 8, 4, 5).
struct ScannedZ80 {
  int version = 0;
  uint16_t pc = 0;
  uint8_t flags = 0, mode = 0, port7ffd = 0;
  std::array<uint8_t, 16> ay{};
  std::map<int, Bytes> pages;
  std::vector<int> page_order;
  bool end_marker = false;
};

// Decodes `src` from `pos` into exactly `want` bytes; nullopt when it cannot.
inline std::optional<Bytes> ScanDecode(const Bytes& src, size_t pos, size_t end, size_t want,
                                       size_t* used = nullptr) {
  Bytes out;
  out.reserve(want);
  size_t i = pos;
  while (out.size() < want) {
    if (i >= end) return std::nullopt;
    if (i + 1 < end && src[i] == 0xED && src[i + 1] == 0xED) {
      if (i + 3 >= end) return std::nullopt;
      out.insert(out.end(), src[i + 2], src[i + 3]);
      i += 4;
    } else {
      out.push_back(src[i++]);
    }
  }
  if (out.size() != want) return std::nullopt;
  if (used) *used = i - pos;
  return out;
}

inline std::optional<ScannedZ80> ScanZ80(const Bytes& f) {
  if (f.size() < 30) return std::nullopt;
  ScannedZ80 s;
  s.flags = f[12];
  s.pc = Get16(f, 6);
  if (s.pc != 0) {
    s.version = 1;
    std::optional<Bytes> mem;
    size_t used = 0;
    if (s.flags & 0x20) {
      mem = ScanDecode(f, 30, f.size(), 3 * kPage, &used);
      s.end_marker = f.size() == 30 + used + 4 && f[30 + used] == 0 && f[31 + used] == 0xED &&
                     f[32 + used] == 0xED && f[33 + used] == 0;
    } else if (f.size() == 30 + 3 * kPage) {
      mem = Bytes(f.begin() + 30, f.end());
    }
    if (!mem) return std::nullopt;
    int i = 0;
    for (int p : {8, 4, 5}) {
      s.pages[p] = Bytes(mem->begin() + i * kPage, mem->begin() + (i + 1) * kPage);
      s.page_order.push_back(p);
      ++i;
    }
    return s;
  }
  const uint16_t ext = Get16(f, 30);
  if (ext != 23 && ext != 54) return std::nullopt;
  s.version = ext == 23 ? 2 : 3;
  s.pc = Get16(f, 32);
  s.mode = f[34];
  s.port7ffd = f[35];
  std::memcpy(s.ay.data(), &f[39], 16);
  size_t pos = 32 + ext;
  while (pos < f.size()) {
    if (pos + 3 > f.size()) return std::nullopt;
    const size_t len = Get16(f, pos);
    const int page = f[pos + 2];
    pos += 3;
    if (pos + len > f.size()) return std::nullopt;
    auto data = ScanDecode(f, pos, pos + len, kPage);
    if (!data) return std::nullopt;
    s.pages[page] = *data;
    s.page_order.push_back(page);
    pos += len;
  }
  return s;
}

}  // namespace snapfiles
