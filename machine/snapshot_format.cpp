#include "machine/snapshot_format.h"

#include <cstring>

#include "platform/byte_reader.h"

namespace snapshot {

namespace {

using platform::MsgIcon;

constexpr size_t k48KSize = 3 * kPageSize;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint16_t Pair(uint8_t high, uint8_t low) { return static_cast<uint16_t>((high << 8) | low); }

ReadResult Refuse(const char* caption, std::string text, MsgIcon icon) {
  ReadResult r;
  r.error = Message{caption, std::move(text), icon};
  return r;
}

ReadResult Accept(Snapshot&& s) {
  ReadResult r;
  r.snapshot = std::move(s);
  return r;
}

Page MakePage(PageTarget target, uint8_t ram_page, const uint8_t* src) {
  Page p;
  p.target = target;
  p.ram_page = ram_page;
  p.bytes.assign(src, src + kPageSize);
  return p;
}

// The 48 KB of #4000-#FFFF of a 48K machine: pages 5, 2 and the #C000 page.
void Add48KMemory(Snapshot& s, const uint8_t* mem) {
  s.pages.push_back(MakePage(PageTarget::Ram, 5, mem));
  s.pages.push_back(MakePage(PageTarget::Ram, 2, mem + kPageSize));
  s.pages.push_back(MakePage(PageTarget::RamAtC000, 0, mem + 2 * kPageSize));
}

// ---------------------------------------------------------------------------
// .Z80
// ---------------------------------------------------------------------------

ReadResult Z80Corrupt() { return Refuse(kPlainCaption, "File corrupt!", MsgIcon::None); }
ReadResult Z80DecodeFailed() {
  return Refuse(kPlainCaption, "Decompression failed: File corrupt!", MsgIcon::None);
}
void Z80Notice(Snapshot& s, std::string text) {
  s.notices.push_back(Message{kPlainCaption, std::move(text), MsgIcon::None});
}

}  // namespace

bool UnpackZ80Block(uint8_t* dest, size_t size, std::span<const uint8_t> source) {
  size_t out = 0, in = 0;
  const size_t n = source.size();
  while (out < size) {
    if (in >= n) return false;
    uint8_t b = source[in++];
    if (b != 0xED || in >= n || source[in] != 0xED) {
      // A single ED is literal; the byte after it is looked at afresh.
      dest[out++] = b;
      continue;
    }
    // ED ED count value
    if (n - in < 3) return false;
    size_t count = source[in + 1];
    uint8_t value = source[in + 2];
    in += 3;
    if (count > size - out) return false;
    std::memset(dest + out, value, count);
    out += count;
  }
  return true;
}

std::vector<uint8_t> PackZ80Block(std::span<const uint8_t> source, size_t capacity,
                                  bool* overflow) {
  if (overflow) *overflow = false;
  std::vector<uint8_t> out;
  out.reserve(source.size() + source.size() / 4 + 8);
  bool after_single_ed = false;
  size_t i = 0;
  const size_t n = source.size();
  while (i < n) {
    uint8_t b = source[i];
    bool next_same = i + 1 < n && source[i + 1] == b;
    if (!next_same) {
      out.push_back(b);
      after_single_ed = (b == 0xED);
      ++i;
    } else if (b == 0xED) {
      // Two EDs in a row would read as a run code: always code them.
      out.insert(out.end(), {0xED, 0xED, 0x02, 0xED});
      i += 2;
      after_single_ed = false;
    } else if (after_single_ed) {
      // ED b ... would read as ED ED when b starts a code; keep b literal.
      out.push_back(b);
      ++i;
      after_single_ed = false;
    } else {
      size_t run = 1;
      while (i + run < n && run < 255 && source[i + run] == b) ++run;
      if (run > 4) {
        out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(run), b});
      } else {
        out.insert(out.end(), run, b);
      }
      i += run;
    }
    if (out.size() >= capacity) {
      if (overflow) *overflow = true;
      return std::vector<uint8_t>(source.begin(), source.end());
    }
  }
  return out;
}

ReadResult ReadZ80(std::span<const uint8_t> file) {
  platform::ByteReader r(file);
  uint8_t h[30];
  if (file.size() > kLargestZ80 || !r.Bytes(h, sizeof h)) return Z80Corrupt();

  Snapshot s;
  uint8_t flags = h[12] == 255 ? 1 : h[12];
  Registers& g = s.regs;
  g.AF = Pair(h[0], h[1]);
  g.BC = Le16(h + 2);
  g.HL = Le16(h + 4);
  g.PC = Le16(h + 6);
  g.SP = Le16(h + 8);
  g.IR = Pair(h[10], static_cast<uint8_t>((h[11] & 0x7F) | ((flags & 1) << 7)));
  g.DE = Le16(h + 13);
  g._BC = Le16(h + 15);
  g._DE = Le16(h + 17);
  g._HL = Le16(h + 19);
  g._AF = Pair(h[21], h[22]);
  g.IY = Le16(h + 23);
  g.IX = Le16(h + 25);
  g.IFF1 = h[27] ? 1 : 0;
  g.IFF2 = h[28] ? 1 : 0;
  g.IM = h[29] & 3;
  g.Halted = 0;
  s.border = (flags >> 1) & 7;

  if (g.PC != 0) {
    // Version 1: the 48 KB follow the header, coded when flag bit 5 is set.
    std::span<const uint8_t> rest = file.subspan(r.Position());
    s.port7ffd = 0x30;
    if (flags & 0x20) {
      std::vector<uint8_t> mem(k48KSize);
      if (!UnpackZ80Block(mem.data(), mem.size(), rest)) return Z80DecodeFailed();
      Add48KMemory(s, mem.data());
    } else {
      if (rest.size() < k48KSize) return Z80Corrupt();
      Add48KMemory(s, rest.data());
    }
    return Accept(std::move(s));
  }

  uint16_t ext_len;
  if (!r.U16(ext_len)) return Z80Corrupt();
  if (ext_len != 23 && ext_len != 54) {
    return Refuse(kPlainCaption,
                  "Unsupported Z80 file format \n(ExtensionSize = " + std::to_string(ext_len) +
                      ",\nsupported ExtensionSize: 0(old format), 23, 54)",
                  MsgIcon::None);
  }
  const int version = ext_len == 23 ? 2 : 3;
  uint8_t e[54];
  if (!r.Bytes(e, ext_len)) return Z80Corrupt();
  g.PC = Le16(e);
  const uint8_t mode = e[2];
  if (e[4] == 255) {
    Z80Notice(s, "Предупреждение: Interface I не поддерживается, но требуется его ПЗУ!");
  }
  std::array<uint8_t, 16> ay;
  std::memcpy(ay.data(), e + 7, 16);
  s.ay_registers = ay;

  bool is128 = false;
  const uint8_t last_mode = version == 2 ? 4 : 6;
  if (version == 2 ? (mode == 3 || mode == 4) : (mode >= 4 && mode <= 6)) {
    is128 = true;
  } else if (mode == 2) {
    Z80Notice(s, "Warning: SamRam not supported!");
  } else if (mode > last_mode) {
    Z80Notice(s, "Warning: Unknown config of ZX Spectrum (" + std::to_string(mode) + ")!");
  }
  s.port7ffd = is128 ? e[3] : 0x30;

  // Memory blocks: length, page number, data. Pages a machine of this kind
  // has no place for are skipped without decoding.
  bool have[256] = {};
  while (!r.AtEnd()) {
    uint16_t len;
    uint8_t page;
    if (!r.U16(len) || !r.U8(page)) return Z80Corrupt();
    const bool raw = version == 3 && len == 0xFFFF;
    std::span<const uint8_t> data;
    if (!r.View(raw ? kPageSize : len, data)) return Z80Corrupt();

    Page p;
    if (page == 0) {
      p.target = PageTarget::Rom48;
    } else if (page == 2) {
      p.target = PageTarget::Rom128;
    } else if (is128 && page >= 3 && page <= 10) {
      p.target = PageTarget::Ram;
      p.ram_page = static_cast<uint8_t>((page - 3) & 7);
    } else if (!is128 && page == 4) {
      p.target = PageTarget::Ram;
      p.ram_page = 2;
    } else if (!is128 && page == 5) {
      p.target = PageTarget::RamAtC000;
    } else if (!is128 && page == 8) {
      p.target = PageTarget::Ram;
      p.ram_page = 5;
    } else {
      continue;
    }
    p.bytes.resize(kPageSize);
    if (raw) {
      std::memcpy(p.bytes.data(), data.data(), kPageSize);
    } else if (!UnpackZ80Block(p.bytes.data(), kPageSize, data)) {
      return Z80DecodeFailed();
    }
    if (page == 0) Z80Notice(s, "ROM 48K loaded from snapshot!");
    if (page == 2) Z80Notice(s, "ROM 128K loaded from snapshot!");
    have[page] = true;
    s.pages.push_back(std::move(p));
  }
  // Every RAM page of the machine must be in the file.
  if (is128) {
    for (int page = 3; page <= 10; ++page)
      if (!have[page]) return Z80Corrupt();
  } else if (!have[4] || !have[5] || !have[8]) {
    return Z80Corrupt();
  }
  return Accept(std::move(s));
}

// ---------------------------------------------------------------------------
// .SNA
// ---------------------------------------------------------------------------

ReadResult ReadSNA(std::span<const uint8_t> file) {
  constexpr size_t kHeader = 27;
  constexpr size_t k48Size = kHeader + k48KSize;  // 49,179
  if (file.size() < k48Size || file.size() > kLargestSna) return Z80Corrupt();
  const uint8_t* h = file.data();
  const uint8_t* mem = h + kHeader;

  Snapshot s;
  Registers& g = s.regs;
  g.IR = Pair(h[0], h[20]);
  g._HL = Le16(h + 1);
  g._DE = Le16(h + 3);
  g._BC = Le16(h + 5);
  g._AF = Le16(h + 7);
  g.HL = Le16(h + 9);
  g.DE = Le16(h + 11);
  g.BC = Le16(h + 13);
  g.IY = Le16(h + 15);
  g.IX = Le16(h + 17);
  g.IFF1 = g.IFF2 = (h[19] >> 2) & 1;
  g.AF = Le16(h + 21);
  g.SP = Le16(h + 23);
  g.IM = h[25] & 3;
  g.Halted = 0;
  s.border = h[26];

  if (file.size() == k48Size) {
    Add48KMemory(s, mem);
    s.port7ffd = 0x30;
    s.pc_from_stack = true;
    return Accept(std::move(s));
  }

  // 128K form: PC, the latch, the TR-DOS byte, then the pages not yet given.
  platform::ByteReader r(file);
  r.Seek(k48Size);
  uint16_t pc;
  uint8_t latch, trdos;
  if (!r.U16(pc) || !r.U8(latch) || !r.U8(trdos)) return Z80Corrupt();
  const uint8_t paged = latch & 7;
  size_t needed = 0;
  for (uint8_t q = 0; q < 8; ++q)
    if (q != 5 && q != 2 && q != paged) ++needed;
  if (r.Remaining() < needed * kPageSize) return Z80Corrupt();

  g.PC = pc;
  s.port7ffd = latch;
  s.trdos_active = trdos != 0;
  s.pages.push_back(MakePage(PageTarget::Ram, 5, mem));
  s.pages.push_back(MakePage(PageTarget::Ram, 2, mem + kPageSize));
  s.pages.push_back(MakePage(PageTarget::Ram, paged, mem + 2 * kPageSize));
  for (uint8_t q = 0; q < 8; ++q) {
    if (q == 5 || q == 2 || q == paged) continue;
    s.pages.push_back(MakePage(PageTarget::Ram, q, r.Here()));
    r.Skip(kPageSize);
  }
  return Accept(std::move(s));
}

// ---------------------------------------------------------------------------
// .SIT
// ---------------------------------------------------------------------------

ReadResult ReadSIT(std::span<const uint8_t> file) {
  constexpr size_t kHeader = 28;
  if (file.size() != kHeader + kPageSize + k48KSize) {
    return Refuse(kSitCaption, "Incorrect format of SIT file!", MsgIcon::Warning);
  }
  const uint8_t* h = file.data();
  Snapshot s;
  Registers& g = s.regs;
  g.BC = Le16(h + 0);
  g.DE = Le16(h + 2);
  g.HL = Le16(h + 4);
  g.AF = Le16(h + 6);
  g.IX = Le16(h + 8);
  g.IY = Le16(h + 10);
  g.SP = Le16(h + 12);
  g.PC = Le16(h + 14);
  g.IR = Le16(h + 16);
  g._BC = Le16(h + 18);
  g._DE = Le16(h + 20);
  g._HL = Le16(h + 22);
  g._AF = Le16(h + 24);
  g.IFF1 = g.IFF2 = h[26] & 1;
  g.IM = (h[26] & 2) ? 2 : 1;
  g.Halted = 0;
  s.border = h[27];
  s.pages.push_back(MakePage(PageTarget::Rom48, 0, h + kHeader));
  Add48KMemory(s, h + kHeader + kPageSize);
  return Accept(std::move(s));
}

// ---------------------------------------------------------------------------
// .SP
// ---------------------------------------------------------------------------

ReadResult ReadSP(std::span<const uint8_t> file) {
  constexpr size_t kHeader = 38;
  constexpr size_t kOldSize = 32 + k48KSize;  // 49,184
  auto corrupt = [] { return Refuse(kSpCaption, "File corrupt!", MsgIcon::Warning); };
  if (file.size() < kHeader || file.size() > kLargestSp) return corrupt();

  // Field offsets are those of the full header; the older form has no
  // signature, length or start, and its 32 header bytes are the full
  // header's offsets 6 to 37.
  size_t shift;
  uint32_t length, start;
  if (file[0] == 'S' && file[1] == 'P') {
    shift = 0;
    length = Le16(file.data() + 2);
    start = Le16(file.data() + 4);
  } else if (file.size() == kOldSize) {
    shift = 6;
    length = k48KSize;
    start = 0x4000;
  } else {
    return Refuse(kSpCaption, "Incorrect format of SP file!", MsgIcon::Warning);
  }
  const size_t data_offset = kHeader - shift;
  if (start + length > 65536) {
    return Refuse(kSpCaption, "Error in file SP:\n snapshot out of space Z80!", MsgIcon::Warning);
  }
  if (file.size() - data_offset < length) return corrupt();

  auto at = [&](size_t offset) { return file.data() + (offset - shift); };
  Snapshot s;
  Registers& g = s.regs;
  g.BC = Le16(at(6));
  g.DE = Le16(at(8));
  g.HL = Le16(at(10));
  g.AF = Le16(at(12));
  g.IX = Le16(at(14));
  g.IY = Le16(at(16));
  g._BC = Le16(at(18));
  g._DE = Le16(at(20));
  g._HL = Le16(at(22));
  g._AF = Le16(at(24));
  g.IR = Le16(at(26));
  g.SP = Le16(at(28));
  g.PC = Le16(at(30));
  s.border = *at(34);
  const uint16_t status = Le16(at(36));
  g.IFF1 = status & 1;
  g.IFF2 = (status >> 2) & 1;
  g.IM = (status & 8) ? 0 : (status & 2) ? 2 : 1;
  g.Halted = 0;

  if (start < 0x4000 && length != 0) {
    s.notices.push_back(Message{kSpCaption, "ROM 48K loaded from snapshot!", MsgIcon::Information});
  }
  MemoryPatch patch;
  patch.start = start;
  patch.bytes.assign(file.begin() + static_cast<ptrdiff_t>(data_offset),
                     file.begin() + static_cast<ptrdiff_t>(data_offset + length));
  s.patch = std::move(patch);
  return Accept(std::move(s));
}

// ---------------------------------------------------------------------------
// .ZX
// ---------------------------------------------------------------------------

ReadResult ReadZX(std::span<const uint8_t> file) {
  constexpr size_t kHeader = 132, kBlock = 202;
  if (file.size() != kHeader + k48KSize + kBlock) {
    return Refuse(kZxCaption, "File corrupt!", MsgIcon::Warning);
  }
  const uint8_t* b = file.data() + kHeader + k48KSize;
  Snapshot s;
  Registers& g = s.regs;
  g.IFF1 = g.IFF2 = b[142] & 1;
  g.BC = Be16(b + 150);
  g._BC = Be16(b + 152);
  g.DE = Be16(b + 154);
  g._DE = Be16(b + 156);
  g.HL = Be16(b + 158);
  g._HL = Be16(b + 160);
  g.IX = Be16(b + 162);
  g.IY = Be16(b + 164);
  g.IR = Pair(b[166], b[167]);
  g._AF = Pair(b[171], b[175]);
  g.AF = Pair(b[173], b[177]);
  g.PC = Be16(b + 180);
  g.SP = Be16(b + 184);
  g.Halted = b[189] & 1;
  const uint16_t im = Le16(b + 190);
  g.IM = im == 0 ? 1 : im == 1 ? 2 : 0;
  Add48KMemory(s, file.data() + kHeader);
  return Accept(std::move(s));
}

// ---------------------------------------------------------------------------
// .Z80 writer
// ---------------------------------------------------------------------------

namespace {

constexpr size_t kPackCapacity = 200000;

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> Pack(std::span<const uint8_t> source, std::vector<Message>* notices) {
  bool overflow = false;
  auto packed = PackZ80Block(source, kPackCapacity, &overflow);
  if (overflow && notices) {
    notices->push_back(Message{kPlainCaption, "Compression failed - buffer overflow,\nfile disabled!",
                               MsgIcon::None});
  }
  return packed;
}

void AppendBlock(std::vector<uint8_t>& out, uint8_t page, const uint8_t* bytes,
                 std::vector<Message>* notices) {
  auto packed = Pack(std::span<const uint8_t>(bytes, kPageSize), notices);
  out.push_back(static_cast<uint8_t>(packed.size()));
  out.push_back(static_cast<uint8_t>(packed.size() >> 8));
  out.push_back(page);
  out.insert(out.end(), packed.begin(), packed.end());
}

}  // namespace

std::vector<uint8_t> BuildZ80File(const Z80SaveState& st, std::vector<Message>* notices) {
  const Registers& g = st.regs;
  const bool is48 = IsZ80State48K(st.port7ffd);
  const bool version1 = is48 && g.PC != 0;

  // The version 1 header, or version 2's with its extension.
  std::vector<uint8_t> out(version1 ? 30 : 30 + 2 + 23, 0);
  out[0] = static_cast<uint8_t>(g.AF >> 8);
  out[1] = static_cast<uint8_t>(g.AF);
  Put16(out, 2, g.BC);
  Put16(out, 4, g.HL);
  Put16(out, 6, version1 ? g.PC : 0);
  Put16(out, 8, g.SP);
  out[10] = static_cast<uint8_t>(g.IR >> 8);
  out[11] = static_cast<uint8_t>(g.IR & 0x7F);
  uint8_t flags = static_cast<uint8_t>((st.border & 7) * 2 + 0x20 + ((g.IR >> 7) & 1));
  out[12] = flags;
  Put16(out, 13, g.DE);
  Put16(out, 15, g._BC);
  Put16(out, 17, g._DE);
  Put16(out, 19, g._HL);
  out[21] = static_cast<uint8_t>(g._AF >> 8);
  out[22] = static_cast<uint8_t>(g._AF);
  Put16(out, 23, g.IY);
  Put16(out, 25, g.IX);
  out[27] = g.IFF1 ? 0xFF : 0;
  out[28] = g.IFF2 ? 0xFF : 0;
  out[29] = g.IM == 3 ? 0 : static_cast<uint8_t>(g.IM & 3);

  if (version1) {
    std::vector<uint8_t> mem(k48KSize);
    for (int i = 0; i < 3; ++i) std::memcpy(mem.data() + i * kPageSize, st.ram[i], kPageSize);
    auto packed = Pack(mem, notices);
    if (packed.size() + 4 >= k48KSize) {
      out[12] = flags & ~0x20;
      out.insert(out.end(), mem.begin(), mem.end());
    } else {
      out.insert(out.end(), packed.begin(), packed.end());
      out.insert(out.end(), {0x00, 0xED, 0xED, 0x00});
    }
    return out;
  }

  // Version 2: the extension, then one block per RAM page.
  Put16(out, 30, 23);
  Put16(out, 32, g.PC);
  out[34] = is48 ? 0 : 3;
  out[35] = st.port7ffd;
  out[36] = 0;
  out[37] = 3;
  out[38] = 14;
  std::memcpy(out.data() + 39, st.ay_registers.data(), 16);
  if (is48) {
    AppendBlock(out, 8, st.ram[0], notices);
    AppendBlock(out, 4, st.ram[1], notices);
    AppendBlock(out, 5, st.ram[2], notices);
  } else {
    for (uint8_t p = 0; p < 8; ++p) AppendBlock(out, static_cast<uint8_t>(p + 3), st.ram[p], notices);
  }
  return out;
}

}  // namespace snapshot
