// The debugger's Qt-free pieces: register and flag snapshots, the memory
// dump's character sets (checked against glibc iconv) and the number prompt.
#include <iconv.h>

#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/recording_dialogs.h"
#include "z80/debugger/debugger_input.h"
#include "z80/debugger/memory_charsets.h"
#include "z80/debugger/z80_unit.h"
#include "z80/z80_host.h"

namespace {

struct CountingViewer : TSnapshotViewer {
  int invalidations = 0;
  void Invalidate() override { ++invalidations; }
};

TEST(Snapshots, StartAtZeroKeepOnlyBitZeroOfFlagsAndRepaintOnEveryWrite) {
  CountingViewer viewer;
  TZ80Registers regs(&viewer);
  TZ80Flags flags(&viewer);
  EXPECT_EQ(regs.GetPC() | regs.GetIR() | regs.Get_BC() | regs.GetIY() | flags.GetS() | flags.GetC(), 0);
  for (auto [written, stored] : {std::pair{1, 1}, {2, 0}, {3, 1}, {-1, 1}, {0, 0}}) {
    flags.SetS(written);
    EXPECT_EQ(flags.GetS(), stored) << written;
  }
  viewer.invalidations = 0;
  regs.Set_AF(0x1234);
  regs.Set_AF(0x1234);  // the same value still asks for a repaint
  EXPECT_EQ(viewer.invalidations, 2);
  EXPECT_EQ(regs.Get_AF(), 0x1234);
}

// One byte through iconv, as the target's bytes; nullopt where the target
// has no such character.
std::optional<std::string> Iconv(const char* from, const char* to, uint8_t byte) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
  char in[1] = {static_cast<char>(byte)};
  char out[16] = {};
  char* ip = in;
  char* op = out;
  size_t il = 1, ol = sizeof out;
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  return std::string(out, sizeof out - ol);
}

// The one Unicode character of a byte, 0 where there is none.
char32_t ToUnicode(const char* from, uint8_t byte) {
  const auto s = Iconv(from, "UTF-32LE", byte);
  if (!s || s->size() != 4) return 0;
  char32_t c;
  std::memcpy(&c, s->data(), 4);
  return c;
}

std::optional<uint8_t> ToCp1251(const char* from, uint8_t byte) {
  const auto s = Iconv(from, "CP1251", byte);
  if (!s || s->size() != 1) return std::nullopt;
  return static_cast<uint8_t>((*s)[0]);
}

// What the dump shows for a character Windows-1251 cannot show (or, for the
// no-break space, should not): nullopt where it must be the code page's own.
std::optional<uint8_t> StandIn(char32_t c) {
  if (c == 0x2500 || c == 0x2550) return '-';
  if (c == 0x2502 || c == 0x2551) return '|';
  if (c >= 0x2500 && c <= 0x257F) return '+';
  if (c == 0x2580 || c == 0x2584 || c == 0x221A || c == 0x00A0) return 0;
  if ((c >= 0x2588 && c <= 0x2593) || c == 0x25A0) return 0x7F;
  if (c == 0x2219) return 0x95;
  return std::nullopt;
}

TEST(MemoryCharSets, CyrillicTablesAgreeWithIconvBesidesTheirStandIns) {
  // KOI-8 signs the dump has always shown as other Windows characters.
  const std::vector<std::pair<uint8_t, uint8_t>> koi8Own = {
      {0x93, 0xAF}, {0x97, 0xA2}, {0x98, 0xBA}, {0x99, 0xAA},
      {0x9B, 0xBF}, {0x9D, 0xA4}, {0x9F, 0xA1}, {0xBF, 0xB9}};
  struct Set {
    const char* iconvName;
    const std::array<uint8_t, 128>& table;
    std::vector<std::pair<uint8_t, uint8_t>> own;
  } sets[] = {{"CP866", z80dbg::DosToWindowsCyrillic, {}},
              {"KOI8-R", z80dbg::Koi8ToWindowsCyrillic, koi8Own}};
  for (const Set& set : sets) {
    for (int b = 0x80; b <= 0xFF; ++b) {
      const uint8_t got = set.table[b - 0x80];
      SCOPED_TRACE(testing::Message() << set.iconvName << " byte 0x" << std::hex << b);
      bool own = false;
      for (auto [byte, value] : set.own)
        if (byte == b) {
          EXPECT_EQ(got, value);
          own = true;
        }
      if (own) continue;
      const char32_t unicode = ToUnicode(set.iconvName, static_cast<uint8_t>(b));
      ASSERT_NE(unicode, 0u);
      if (const auto standIn = StandIn(unicode)) {
        EXPECT_EQ(got, *standIn);
        continue;
      }
      const auto windows = ToCp1251(set.iconvName, static_cast<uint8_t>(b));
      ASSERT_TRUE(windows) << "a character Windows-1251 lacks needs a stand-in";
      EXPECT_EQ(got, *windows);
    }
  }
}

TEST(MemoryCharSets, WindowsBytesDrawAsIconvSaysAndTablesHideControls) {
  for (int b = 0; b < 256; ++b) {
    const char32_t u = ToUnicode("CP1251", static_cast<uint8_t>(b));
    const char32_t want = u || b == 0 ? u : 0xFFFD;
    EXPECT_EQ(static_cast<char32_t>(z80dbg::Cp1251ToUnicode(static_cast<uint8_t>(b))), want) << b;
  }
  const z80dbg::CharTable dos = z80dbg::MakeCharTable(z80dbg::MemoryCharSet::Dos);
  EXPECT_EQ(dos[0x80], 0xC0);  // А
  EXPECT_EQ(dos[0xFF], '.');   // the no-break space shows as a dot
  EXPECT_EQ(z80dbg::MakeCharTable(z80dbg::MemoryCharSet::Windows)[0xC0], 0xC0);
}

// An input query answered from a script; every shown text is recorded.
class QueryDialogs : public testing_support::RecordingDialogs {
 public:
  std::deque<std::optional<std::string>> entries;  // nullopt: Cancel
  std::vector<std::string> shown;
  bool InputQuery(std::string_view, std::string_view, std::string& text) override {
    shown.push_back(text);
    if (entries.empty() || !entries.front()) return false;
    text = *entries.front();
    entries.pop_front();
    return true;
  }
};

TEST(DebuggerInputNumber, AsksAgainUntilANumberInRangeOrCancel) {
  const std::string kNumber = "Требуется ввести число!";
  struct Case {
    std::vector<std::optional<std::string>> entries;
    int low, high;
    bool ok;
    int value;
    std::vector<std::string> messages;
    std::vector<std::string> shown;
  } cases[] = {
      // The program's prompt takes the same spellings.
      {{"#FF"}, 0, 255, true, 255, {}, {"#0010"}},
      {{"$FF"}, 0, 255, true, 255, {}, {"#0010"}},
      {{"0xFF"}, 0, 255, true, 255, {}, {"#0010"}},
      {{"xFF"}, 0, 255, true, 255, {}, {"#0010"}},
      {{"255"}, 0, 255, true, 255, {}, {"#0010"}},
      // Eight hex digits are a number (negative from #80000000); a sign
      // before hex makes none.
      {{"0xFFFFFFFF", std::nullopt}, 0, 65535, false, 16, {"Требуется число в диапазоне 0...65535 !"},
       {"#0010", "0xFFFFFFFF"}},
      {{"-0x10", std::nullopt}, -100, 100, false, 16, {kNumber}, {"#0010", "-0x10"}},
      {{"  #1A  "}, 0, 255, true, 26, {}, {"#0010"}},
      {{"-3"}, -5, 5, true, -3, {}, {"#0010"}},
      {{"0x100", std::nullopt}, 0, 255, false, 16, {"Требуется число в диапазоне 0...255 !"}, {"#0010", "0x100"}},
      {{" #zz ", "abc", "70000", "#10"}, 0, 65535, true, 16,
       {kNumber, kNumber, "Требуется число в диапазоне 0...65535 !"}, {"#0010", "0xzz", "abc", "70000"}},
      {{"99999999999"}, 0, 65535, false, 16, {kNumber}, {"#0010", "99999999999"}},
      {{std::nullopt}, 0, 255, false, 16, {}, {"#0010"}},
  };
  for (const Case& c : cases) {
    QueryDialogs dialogs;
    dialogs.entries.assign(c.entries.begin(), c.entries.end());
    platform::Dialogs* previous = Z80_SetDialogs(&dialogs);
    int value = 16;
    const bool ok = DebuggerInputNumber("Caption", "Prompt", value, "#%04X", c.low, c.high);
    Z80_SetDialogs(previous);
    SCOPED_TRACE(c.entries.front() ? *c.entries.front() : std::string("cancel"));
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.value);
    std::vector<std::string> messages;
    for (const auto& m : dialogs.Messages()) {
      messages.push_back(m.text);
      EXPECT_EQ(m.caption, "Модуль Z80");
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(dialogs.shown, c.shown);
  }
}

}  // namespace
