// The snapshot readers, the block code and the .Z80 writer, as values.
#include <gtest/gtest.h>

#include "machine/snapshot_format.h"
#include "snapshot/snapshot_files.h"

namespace {

using snapfiles::Bytes;
using snapfiles::Pattern;
using snapshot::PageTarget;
using snapshot::ReadResult;

// The page a snapshot puts at a target, or null.
const Bytes* Find(const snapshot::Snapshot& s, PageTarget t, int ram = 0) {
  const Bytes* found = nullptr;
  for (const auto& p : s.pages)
    if (p.target == t && (t != PageTarget::Ram || p.ram_page == ram)) found = &p.bytes;
  return found;
}

std::vector<std::string> NoticeTexts(const snapshot::Snapshot& s) {
  std::vector<std::string> v;
  for (const auto& n : s.notices) v.push_back(n.text);
  return v;
}

void ExpectRegs(const snapshot::Registers& g, const snapfiles::Regs& r) {
  EXPECT_EQ(g.AF, r.AF);
  EXPECT_EQ(g.BC, r.BC);
  EXPECT_EQ(g.DE, r.DE);
  EXPECT_EQ(g.HL, r.HL);
  EXPECT_EQ(g._AF, r.AF_);
  EXPECT_EQ(g._BC, r.BC_);
  EXPECT_EQ(g._DE, r.DE_);
  EXPECT_EQ(g._HL, r.HL_);
  EXPECT_EQ(g.IX, r.IX);
  EXPECT_EQ(g.IY, r.IY);
  EXPECT_EQ(g.SP, r.SP);
  EXPECT_EQ(g.IR, (r.I << 8) | r.R);
}

// ---------------------------------------------------------------------------
// Block code
// ---------------------------------------------------------------------------

TEST(Z80BlockCode, PacksRunsAndEdBytes) {
  struct Case {
    Bytes in, out;
  } cases[] = {
      {{7, 7, 7, 7, 7}, {0xED, 0xED, 5, 7}},
      {{7, 7, 7, 7}, {7, 7, 7, 7}},
      {{0xED, 0xED}, {0xED, 0xED, 2, 0xED}},
      {{0xED, 0, 0, 0, 0, 0}, {0xED, 0, 0, 0, 0, 0}},
      {{0xED, 0, 0, 0, 0, 0, 0}, {0xED, 0, 0xED, 0xED, 5, 0}},
      {{0xED, 0xED, 0xED}, {0xED, 0xED, 2, 0xED, 0xED}},
      {{1, 0xED}, {1, 0xED}},
  };
  for (const auto& c : cases) EXPECT_EQ(snapshot::PackZ80Block(c.in, 1000), c.out);

  Bytes run(300, 9);
  EXPECT_EQ(snapshot::PackZ80Block(run, 1000), (Bytes{0xED, 0xED, 255, 9, 0xED, 0xED, 45, 9}));
}

TEST(Z80BlockCode, OverflowGivesTheSourceUnchanged) {
  Bytes src = Pattern(3);
  bool overflow = false;
  EXPECT_EQ(snapshot::PackZ80Block(src, 100, &overflow), src);
  EXPECT_TRUE(overflow);
}

TEST(Z80BlockCode, UnpackStopsAtTheSourceEndAndAtTheSize) {
  struct Case {
    Bytes src;
    size_t size;
    bool ok;
    Bytes out;
  } cases[] = {
      {{1, 2, 3}, 3, true, {1, 2, 3}},
      {{0xED, 0xED, 4, 9}, 4, true, {9, 9, 9, 9}},
      {{0xED, 5, 0xED}, 3, true, {0xED, 5, 0xED}},       // single EDs are literal
      {{1, 2, 3, 4, 0, 0xED, 0xED, 0}, 4, true, {1, 2, 3, 4}},  // end marker unread
      {{1, 2}, 3, false, {}},                            // source ends early
      {{0xED, 0xED, 4}, 4, false, {}},                   // code cut short
      {{0xED, 0xED, 5, 9}, 4, false, {}},                // run passes the size
      {{}, 1, false, {}},
  };
  for (const auto& c : cases) {
    Bytes out(c.size, 0xAA);
    EXPECT_EQ(snapshot::UnpackZ80Block(out.data(), c.size, c.src), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, c.out);
    }
  }
}

TEST(Z80BlockCode, PackThenUnpackGivesTheSource) {
  for (int seed = 0; seed < 6; ++seed) {
    Bytes src = Pattern(seed);
    for (size_t i = 1000; i < 1100; ++i) src[i] = 0xED;  // a long run of EDs
    src.back() = 0xED;
    auto packed = snapshot::PackZ80Block(src, 200000);
    Bytes out(src.size());
    ASSERT_TRUE(snapshot::UnpackZ80Block(out.data(), out.size(), packed));
    EXPECT_EQ(out, src);
  }
}

// ---------------------------------------------------------------------------
// .Z80 reader
// ---------------------------------------------------------------------------

struct Z80Case {
  const char* name;
  Bytes file;
  bool is128;
  uint8_t port7ffd;
  std::vector<std::string> notices;
};

TEST(Z80Reader, VersionsAndHardwareModes) {
  snapfiles::Regs r;
  auto all128 = snapfiles::Blocks({3, 4, 5, 6, 7, 8, 9, 10});
  auto all48 = snapfiles::Blocks({8, 4, 5});
  std::vector<snapfiles::Z80Block> raw48 = {{8, true}, {4, false}, {5, true}};
  const std::string unknown5 = "Warning: Unknown config of ZX Spectrum (5)!";
  Z80Case cases[] = {
      {"v1 raw", snapfiles::Z80Version1(r, false), false, 0x30, {}},
      {"v1 coded", snapfiles::Z80Version1(r, true), false, 0x30, {}},
      {"v2 mode 0", snapfiles::Z80Version23(r, 2, 0, 0x17, all48), false, 0x30, {}},
      {"v2 mode 1", snapfiles::Z80Version23(r, 2, 1, 0x17, all48), false, 0x30, {}},
      {"v2 mode 2", snapfiles::Z80Version23(r, 2, 2, 0x17, all48), false, 0x30,
       {"Warning: SamRam not supported!"}},
      {"v2 mode 3", snapfiles::Z80Version23(r, 2, 3, 0x17, all128), true, 0x17, {}},
      {"v2 mode 4", snapfiles::Z80Version23(r, 2, 4, 0x13, all128), true, 0x13, {}},
      {"v2 mode 5", snapfiles::Z80Version23(r, 2, 5, 0x17, all48), false, 0x30, {unknown5}},
      {"v3 mode 3", snapfiles::Z80Version23(r, 3, 3, 0x17, all48), false, 0x30, {}},
      {"v3 mode 4", snapfiles::Z80Version23(r, 3, 4, 0x11, all128), true, 0x11, {}},
      {"v3 mode 6", snapfiles::Z80Version23(r, 3, 6, 0x16, all128), true, 0x16, {}},
      {"v3 mode 7", snapfiles::Z80Version23(r, 3, 7, 0x17, all48), false, 0x30,
       {"Warning: Unknown config of ZX Spectrum (7)!"}},
      {"v3 raw blocks", snapfiles::Z80Version23(r, 3, 0, 0, raw48), false, 0x30, {}},
      {"v2 ROM blocks", snapfiles::Z80Version23(r, 2, 0, 0, snapfiles::Blocks({0, 8, 2, 4, 5, 11})),
       false, 0x30, {"ROM 48K loaded from snapshot!", "ROM 128K loaded from snapshot!"}},
      {"v2 Interface I", snapfiles::Z80Version23(r, 2, 2, 0, all48, 255), false, 0x30,
       {"Предупреждение: Interface I не поддерживается, но требуется его ПЗУ!",
        "Warning: SamRam not supported!"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReadResult res = snapshot::ReadZ80(c.file);
    ASSERT_TRUE(res.ok()) << res.error.text;
    const auto& s = *res.snapshot;
    ExpectRegs(s.regs, r);
    EXPECT_EQ(s.regs.PC, r.PC);
    EXPECT_EQ(s.regs.IFF1, 1);
    EXPECT_EQ(s.regs.IFF2, 0);
    EXPECT_EQ(s.regs.IM, 2);
    EXPECT_EQ(s.border, 5);
    EXPECT_EQ(s.port7ffd, c.port7ffd);
    EXPECT_EQ(NoticeTexts(s), c.notices);
    if (c.is128) {
      for (int p = 0; p < 8; ++p) {
        ASSERT_TRUE(Find(s, PageTarget::Ram, p));
        EXPECT_EQ(*Find(s, PageTarget::Ram, p), Pattern(p + 3));
      }
    } else {
      ASSERT_TRUE(Find(s, PageTarget::Ram, 5) && Find(s, PageTarget::Ram, 2) &&
                  Find(s, PageTarget::RamAtC000));
      EXPECT_EQ(*Find(s, PageTarget::Ram, 5), Pattern(8));
      EXPECT_EQ(*Find(s, PageTarget::Ram, 2), Pattern(4));
      EXPECT_EQ(*Find(s, PageTarget::RamAtC000), Pattern(5));
    }
    EXPECT_EQ(s.ay_registers.has_value(), c.file[6] == 0 && c.file[7] == 0);
  }
}

TEST(Z80Reader, RomBlocksGoToTheirSlots) {
  auto res = snapshot::ReadZ80(
      snapfiles::Z80Version23({}, 2, 0, 0, snapfiles::Blocks({0, 8, 2, 4, 5})));
  ASSERT_TRUE(res.ok());
  EXPECT_EQ(*Find(*res.snapshot, PageTarget::Rom48), Pattern(0));
  EXPECT_EQ(*Find(*res.snapshot, PageTarget::Rom128), Pattern(2));
  EXPECT_EQ(res.snapshot->ay_registers->at(15), 0xAF);
}

TEST(Z80Reader, FlagByte255IsUncodedBorder0AndRBit7) {
  snapfiles::Regs r;
  Bytes f = snapfiles::Z80Version1(r, false);
  f[12] = 255;
  auto res = snapshot::ReadZ80(f);
  ASSERT_TRUE(res.ok());
  EXPECT_EQ(res.snapshot->border, 0);
  EXPECT_EQ(res.snapshot->regs.IR & 0x80, 0x80);
  EXPECT_EQ(*Find(*res.snapshot, PageTarget::Ram, 5), Pattern(8));
}

// One crafted file per way a .Z80 file can be broken.
TEST(Z80Reader, RefusesBrokenFiles) {
  snapfiles::Regs r;
  auto v2 = [&](std::vector<snapfiles::Z80Block> b) {
    return snapfiles::Z80Version23(r, 2, 0, 0, b);
  };
  const std::string corrupt = "File corrupt!", decode = "Decompression failed: File corrupt!";
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({"short header", Bytes(29, 1), corrupt});
  {
    Bytes f = v2(snapfiles::Blocks({8, 4, 5}));
    snapfiles::Put16(f, 30, 30);
    cases.push_back({"extension 30", f,
                     "Unsupported Z80 file format \n(ExtensionSize = 30,\nsupported "
                     "ExtensionSize: 0(old format), 23, 54)"});
  }
  cases.push_back({"page 8 missing", v2(snapfiles::Blocks({4, 5})), corrupt});
  cases.push_back({"128K page 10 missing",
                   snapfiles::Z80Version23(r, 2, 3, 0, snapfiles::Blocks({3, 4, 5, 6, 7, 8, 9})),
                   corrupt});
  cases.push_back({"no blocks", v2({}), corrupt});
  {
    Bytes f = v2(snapfiles::Blocks({8, 4, 5}));
    f.insert(f.end(), {0x10, 0x00});
    cases.push_back({"block header cut", f, corrupt});
  }
  {
    Bytes f = v2(snapfiles::Blocks({8, 4, 5}));
    f.resize(f.size() - 1);
    cases.push_back({"last block cut", f, corrupt});
  }
  {
    Bytes f = v2(snapfiles::Blocks({8, 4}));
    f.insert(f.end(), {4, 0, 5, 1, 2, 3, 4});  // 4 bytes cannot make a page
    cases.push_back({"block decodes short", f, decode});
  }
  {
    Bytes f = v2(snapfiles::Blocks({8, 4}));
    Bytes big = {0xED, 0xED, 255, 1};
    Bytes block;
    for (int i = 0; i < 65; ++i) block.insert(block.end(), big.begin(), big.end());
    f.insert(f.end(), {static_cast<uint8_t>(block.size()), static_cast<uint8_t>(block.size() >> 8), 5});
    f.insert(f.end(), block.begin(), block.end());
    cases.push_back({"run passes the page", f, decode});
  }
  {
    Bytes f = snapfiles::Z80Version23(r, 3, 0, 0, {{8, true}, {4, true}, {5, true}});
    f.resize(f.size() - 10);
    cases.push_back({"raw v3 block cut", f, corrupt});
  }
  {
    Bytes f = snapfiles::Z80Version1(r, true);
    f.resize(f.size() - 200);
    cases.push_back({"v1 coded cut", f, decode});
  }
  {
    Bytes f = snapfiles::Z80Version1(r, false);
    f.pop_back();
    cases.push_back({"v1 raw one byte short", f, corrupt});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto res = snapshot::ReadZ80(c.file);
    ASSERT_FALSE(res.ok());
    EXPECT_EQ(res.error.text, c.message);
    EXPECT_EQ(res.error.caption, "OVRIN");
  }
}

// ---------------------------------------------------------------------------
// .SNA, .SIT, .SP, .ZX
// ---------------------------------------------------------------------------

TEST(SnaReader, Form48KTakesPcFromTheStack) {
  snapfiles::Regs r;
  auto res = snapshot::ReadSNA(snapfiles::Sna(r, std::nullopt));
  ASSERT_TRUE(res.ok());
  const auto& s = *res.snapshot;
  ExpectRegs(s.regs, r);
  EXPECT_TRUE(s.pc_from_stack);
  EXPECT_EQ(s.regs.IFF1, 1);
  EXPECT_EQ(s.regs.IFF2, 1);
  EXPECT_EQ(s.regs.IM, 2);
  EXPECT_EQ(s.border, 5);
  EXPECT_EQ(s.port7ffd, 0x30);
  EXPECT_EQ(*Find(s, PageTarget::Ram, 5), Pattern(5));
  EXPECT_EQ(*Find(s, PageTarget::Ram, 2), Pattern(2));
  EXPECT_EQ(*Find(s, PageTarget::RamAtC000), Pattern(0));
}

TEST(SnaReader, Form128KWithEachPagedBank) {
  snapfiles::Regs r;
  for (uint8_t bank = 0; bank < 8; ++bank) {
    SCOPED_TRACE(int(bank));
    const uint8_t latch = static_cast<uint8_t>(0x10 | bank);
    Bytes f = snapfiles::Sna(r, latch, bank == 3);
    EXPECT_EQ(f.size(), (bank == 2 || bank == 5) ? 147487u : 131103u);
    auto res = snapshot::ReadSNA(f);
    ASSERT_TRUE(res.ok());
    const auto& s = *res.snapshot;
    EXPECT_FALSE(s.pc_from_stack);
    EXPECT_EQ(s.regs.PC, r.PC);
    EXPECT_EQ(s.port7ffd, latch);
    EXPECT_EQ(s.trdos_active, bank == 3);
    EXPECT_EQ(Find(s, PageTarget::RamAtC000), nullptr);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(*Find(s, PageTarget::Ram, p), Pattern(p)) << p;

    f.resize(f.size() - 1);
    EXPECT_FALSE(snapshot::ReadSNA(f).ok());
  }
}

TEST(SnaReader, RefusesShortFiles) {
  Bytes f = snapfiles::Sna({}, std::nullopt);
  for (size_t n : {0ul, 26ul, f.size() - 1, f.size() + 1, f.size() + 3}) {
    Bytes g = f;
    g.resize(n);
    auto res = snapshot::ReadSNA(g);
    ASSERT_FALSE(res.ok()) << n;
    EXPECT_EQ(res.error.text, "File corrupt!");
  }
}

Bytes Sit() {
  Bytes f(28, 0);
  for (int i = 0; i < 26; ++i) f[i] = static_cast<uint8_t>(i + 1);
  f[26] = 3;
  f[27] = 6;
  for (int p : {0, 5, 2, 7}) {
    Bytes pg = Pattern(p);
    f.insert(f.end(), pg.begin(), pg.end());
  }
  return f;
}

TEST(SitReader, ExactLengthOnly) {
  Bytes f = Sit();
  ASSERT_EQ(f.size(), 65564u);
  auto res = snapshot::ReadSIT(f);
  ASSERT_TRUE(res.ok());
  const auto& s = *res.snapshot;
  EXPECT_EQ(s.regs.BC, 0x0201);
  EXPECT_EQ(s.regs.PC, 0x100F);
  EXPECT_EQ(s.regs.IR, 0x1211);
  EXPECT_EQ(s.regs._AF, 0x1A19);
  EXPECT_EQ(s.regs.IFF1 + s.regs.IFF2, 2);
  EXPECT_EQ(s.regs.IM, 2);
  EXPECT_EQ(s.border, 6);
  EXPECT_EQ(*Find(s, PageTarget::Rom48), Pattern(0));
  EXPECT_EQ(*Find(s, PageTarget::RamAtC000), Pattern(7));

  for (size_t n : {65563ul, 65565ul, 0ul}) {
    Bytes g = f;
    g.resize(n);
    auto bad = snapshot::ReadSIT(g);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error.text, "Incorrect format of SIT file!");
    EXPECT_EQ(bad.error.caption, "SIT loader");
    EXPECT_EQ(bad.error.icon, platform::MsgIcon::Warning);
  }
}

Bytes Sp(uint16_t length, uint16_t start, size_t data) {
  Bytes f(38, 0);
  f[0] = 'S';
  f[1] = 'P';
  snapfiles::Put16(f, 2, length);
  snapfiles::Put16(f, 4, start);
  for (int i = 6; i < 34; ++i) f[i] = static_cast<uint8_t>(i);
  f[34] = 0x1F;        // stored unchanged
  snapfiles::Put16(f, 36, 0x0D);  // IFF1, IM 0 over IM 2
  for (size_t i = 0; i < data; ++i) f.push_back(static_cast<uint8_t>(i * 7));
  return f;
}

TEST(SpReader, SignatureBoundsAndTheOlderForm) {
  struct Case {
    const char* name;
    Bytes file;
    std::string message;  // empty: loads
  } cases[] = {
      {"block at #8000", Sp(100, 0x8000, 100), ""},
      {"block to the top", Sp(0x4000, 0xC000, 0x4000), ""},
      {"block into ROM", Sp(10, 0x3FF8, 10), ""},
      {"past #FFFF", Sp(0x4001, 0xC000, 0x4001), "Error in file SP:\n snapshot out of space Z80!"},
      {"data short", Sp(100, 0x8000, 99), "File corrupt!"},
      {"header short", Bytes(37, 'S'), "File corrupt!"},
      {"no signature", Bytes(40000, 0), "Incorrect format of SP file!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto res = snapshot::ReadSP(c.file);
    if (!c.message.empty()) {
      ASSERT_FALSE(res.ok());
      EXPECT_EQ(res.error.text, c.message);
      EXPECT_EQ(res.error.caption, "SP loader");
      continue;
    }
    ASSERT_TRUE(res.ok()) << res.error.text;
    const auto& s = *res.snapshot;
    EXPECT_EQ(s.regs.BC, 0x0706);
    EXPECT_EQ(s.regs.PC, 0x1F1E);
    EXPECT_EQ(s.border, 0x1F);
    EXPECT_EQ(s.regs.IFF1, 1);
    EXPECT_EQ(s.regs.IFF2, 1);
    EXPECT_EQ(s.regs.IM, 0);
    EXPECT_EQ(s.patch->start, snapfiles::Get16(c.file, 4));
    EXPECT_EQ(s.patch->bytes, Bytes(c.file.begin() + 38, c.file.end()));
    EXPECT_EQ(s.notices.size(), s.patch->start < 0x4000 ? 1u : 0u);
  }

  Bytes old(49184, 0);
  for (int i = 0; i < 32; ++i) old[i] = static_cast<uint8_t>(0x40 + i);
  auto res = snapshot::ReadSP(old);
  ASSERT_TRUE(res.ok());
  EXPECT_EQ(res.snapshot->regs.BC, 0x4140);  // offset 6 of the full header
  EXPECT_EQ(res.snapshot->regs.PC, 0x5958);
  EXPECT_EQ(res.snapshot->patch->start, 0x4000u);
  EXPECT_EQ(res.snapshot->patch->bytes.size(), 49152u);
}

TEST(ZxReader, ExactLengthAndBigEndianPairs) {
  Bytes f(49486, 0);
  Bytes mem = Pattern(4);
  std::copy(mem.begin(), mem.end(), f.begin() + 132);
  uint8_t* b = f.data() + 132 + 49152;
  b[142] = 1;
  b[150] = 0x12;
  b[151] = 0x34;  // BC
  b[166] = 0x3F;  // I
  b[167] = 0x99;  // R
  b[173] = 0xAA;  // A
  b[177] = 0x55;  // F
  b[180] = 0x80;
  b[181] = 0x01;  // PC
  b[189] = 1;
  for (auto [code, im] : {std::pair{0, 1}, {1, 2}, {2, 0}, {256, 0}}) {
    b[190] = static_cast<uint8_t>(code);
    b[191] = static_cast<uint8_t>(code >> 8);
    auto res = snapshot::ReadZX(f);
    ASSERT_TRUE(res.ok());
    EXPECT_EQ(res.snapshot->regs.IM, im) << code;
  }
  auto res = snapshot::ReadZX(f);
  const auto& s = *res.snapshot;
  EXPECT_EQ(s.regs.BC, 0x1234);
  EXPECT_EQ(s.regs.IR, 0x3F99);
  EXPECT_EQ(s.regs.AF, 0xAA55);
  EXPECT_EQ(s.regs.PC, 0x8001);
  EXPECT_EQ(s.regs.Halted, 1);
  EXPECT_EQ(s.regs.IFF1 + s.regs.IFF2, 2);
  EXPECT_FALSE(s.border.has_value());
  EXPECT_EQ(*Find(s, PageTarget::Ram, 5), mem);

  for (size_t n : {49485ul, 49487ul}) {
    Bytes g = f;
    g.resize(n);
    auto bad = snapshot::ReadZX(g);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error.text, "File corrupt!");
    EXPECT_EQ(bad.error.caption, "ZX loader");
  }
}

// ---------------------------------------------------------------------------
// .Z80 writer (its round trips run on the machine)
// ---------------------------------------------------------------------------

TEST(Z80Writer, IncompressibleMemoryIsStoredRaw) {
  Bytes noise(snapfiles::kPage * 3);
  uint32_t x = 1;
  for (auto& b : noise) {
    do {
      x = x * 1103515245u + 12345u;
      b = static_cast<uint8_t>(x >> 16);
    } while (b == 0xED);
  }
  snapshot::Z80SaveState st;
  st.regs.PC = 0x4000;
  for (int i = 0; i < 3; ++i) st.ram[i] = noise.data() + i * snapfiles::kPage;
  Bytes file = snapshot::BuildZ80File(st, nullptr);
  ASSERT_EQ(file.size(), 30 + noise.size());
  EXPECT_EQ(file[12] & 0x20, 0);
  EXPECT_TRUE(std::equal(noise.begin(), noise.end(), file.begin() + 30));
}

}  // namespace
