// The line assembler: worked lines and refusals, a round trip through the
// disassembler over every page, and an outside check against pasmo.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

#include "z80/debugger/assembler.h"
#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/disassembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Assemble(const std::string& line, int address) {
  const int n = Z80Assemble(line.c_str(), address);
  return Bytes(AsmBuffer.Output, AsmBuffer.Output + n);
}

struct Line {
  const char* text;
  int address;
  Bytes bytes;
};

// What the round trip below cannot show: other spellings, and the choice
// between codes of one text.
TEST(Assembler, Spellings) {
  const Line lines[] = {
      {"  LD   A , 255 ", 0, {0x3E, 0xFF}},
      {"ld a,'A'", 0, {0x3E, 0x41}},
      {"ld a,'#'", 0, {0x3E, 0x23}},  // a quoted character is no number
      {"ld a,' '", 0, {0x3E, 0x20}},
      {"jr 0", 0xFFFE, {0x18, 0x00}},      // targets wrap at 65536 ...
      {"jr #fff0", 0x0000, {0x18, 0xEE}},  // ... both ways
      {"ld a,(ix)", 0, {0xDD, 0x7E, 0x00}},
      {"add b", 0, {0x80}},
      {"sub a,(ix+1)", 0, {0xDD, 0x96, 0x01}},
      {"rst 56", 0, {0xFF}},
      {"rst 0x08", 0, {0xCF}},
      {"im 0/1", 0, {0xED, 0x4E}},
      {"nop*", 0, {0xED, 0x00}},
      {"im 0", 0, {0xED, 0x46}},  // documented codes before their twins
      {"bit 0,(ix+5)", 0, {0xDD, 0xCB, 0x05, 0x46}},
  };
  for (const Line& l : lines) EXPECT_EQ(Assemble(l.text, l.address), l.bytes) << l.text;
}

TEST(Assembler, Refusals) {
  const char* const lines[] = {
      // As the matcher has always refused them.
      "ld a,256", "ld a, (hl)", "rst 3", "ld a,(ix+#80)", "",
      // Lines it once encoded as something else: index prefixes on forms
      // without an index register, HALT, PUSH AF, numbers wrapped into range,
      // register names read as hexadecimal, any "l?" mnemonic as LD.
      "ld (hl),(hl)", "ld (ix+5),(ix+5)", "ld (ix),(ix)", "push sp", "pop sp", "ld xh,(hl)",
      "ld (hl),xh", "rlc xh", "sbc hl,ix", "ld h,xl", "ld (ix+5),xh", "out (c),(hl)",
      "ld a,99999999999999999999", "ld a,#1000000000000ff", "jp 0x100000000",
      "ld (ix+#1000000005),a", "call c", "jp c", "ld bc,de", "ld a,(c)", "ld hl,af", "lb a,b"};
  for (const char* l : lines) EXPECT_EQ(Assemble(l, 0), Bytes{}) << l;
  EXPECT_EQ(Assemble("jr #8082", 0x8000), Bytes{});

  // Longer than the assembler reads or holds: refused, not cut.
  EXPECT_EQ(Assemble("ld a,(ix+#" + std::string(60, '0') + "5)", 0), Bytes{});
  EXPECT_EQ(Assemble("ld a,(ix+#" + std::string(40, '0') + "5)", 0), (Bytes{0xDD, 0x7E, 0x05}));
  EXPECT_EQ(Assemble("nop" + std::string(kAsmMaxLine, ' '), 0), Bytes{});
  EXPECT_EQ(Assemble("nop" + std::string(kAsmMaxLine - 3, ' '), 0), Bytes{0x00});
  EXPECT_EQ(Z80Assemble(nullptr, 0), 0);
}

// --- Every instruction the disassembler shows ------------------------------

// The text as the debugger offers it: no '*', single blanks.
std::string Offered(const std::string& text) {
  std::string out;
  for (char c : text.substr(text[0] == '*'))
    if (c != ' ' || out.back() != ' ') out += c;
  return out;
}

std::string Disassemble(const Bytes& bytes, int address, bool hex, int& length) {
  return Z80Disassemble(bytes.data(), bytes.size(), static_cast<uint16_t>(address), hex, length);
}

// Every code of every page but the prefix slots, with varied operand bytes.
std::vector<Bytes> EveryCode() {
  std::vector<Bytes> list;
  uint8_t seed = 0x5B;
  auto next = [&] { return seed = static_cast<uint8_t>(seed * 29 + 11); };
  for (const Bytes& lead : {Bytes{}, {0xCB}, {0xED}, {0xDD}, {0xFD}, {0xDD, 0xCB}, {0xFD, 0xCB}}) {
    for (int op = 0; op < 256; ++op) {
      const bool prefix = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
      if (prefix && (lead.empty() || (lead.size() == 1 && lead[0] >= 0xDD))) continue;
      Bytes b = lead;
      if (lead.size() == 2) b.push_back(next());
      b.insert(b.end(), {static_cast<uint8_t>(op), next(), next(), next()});
      list.push_back(b);
    }
  }
  return list;
}

bool OwnIndexForm(const Bytes& b) {
  return (b[0] == 0xDD || b[0] == 0xFD) && b[1] != 0xCB &&
         !z80dbg::Z80Ops[z80dbg::kPageIndex][b[1]].Template.Empty();
}

// Codes whose text must come back as the same bytes: the documented ones
// (but ED 63 and ED 6B, twins of LD (nn),HL and LD HL,(nn)), SLL, the index
// halves, IN (C), OUT (C),0 and the DD CB / FD CB register copies. Every
// other code shares its text with one of these.
bool MustComeBack(const Bytes& b, const std::string& text) {
  if (b[0] == 0xED)
    return text[0] != '*' ? b[1] != 0x63 && b[1] != 0x6B : b[1] == 0x70 || b[1] == 0x71;
  if (text[0] != '*' || text.find("SLL") != std::string::npos || OwnIndexForm(b)) return true;
  return b.size() == 4 && b[1] == 0xCB && (b[3] >> 6) != 1;  // not the BIT copies
}

TEST(Assembler, TakesBackWhatTheDisassemblerShows) {
  int exact = 0;
  for (const bool hex : {true, false}) {
    for (const int address : {0x0010, 0x8000, 0xFFF0}) {
      for (Bytes b : EveryCode()) {
        int length = 0;
        const std::string text = Disassemble(b, address, hex, length);
        b.resize(length);
        const Bytes got = Assemble(Offered(text), address);
        if (MustComeBack(b, text)) {
          EXPECT_EQ(got, b) << text;
          ++exact;
        } else {
          EXPECT_EQ(Offered(Disassemble(got, address, hex, length)), Offered(text));
        }
      }
    }
  }
  EXPECT_GT(exact, 6 * 1000);
}

// The documented set, SLL and the index halves (pasmo knows no other
// undocumented form, and calls the halves IXH ... IYL), assembled by both at
// consecutive addresses.
TEST(Assembler, AgreesWithPasmo) {
  if (access("/usr/bin/pasmo", X_OK) != 0) GTEST_SKIP() << "pasmo is not installed";
  const int origin = 0x1000;
  const std::string source = testing::TempDir() + "asm_" + std::to_string(getpid());
  std::ofstream file(source);
  file << "\torg " << origin << "\n";
  std::vector<std::pair<std::string, Bytes>> lines;
  int address = origin;
  for (Bytes b : EveryCode()) {
    int length = 0;
    const std::string text = Disassemble(b, address, true, length);
    const bool sll = text.rfind("*SLL", 0) == 0 && text.find(',') == std::string::npos;
    if (text[0] == '*' && !sll && !OwnIndexForm(b)) continue;
    lines.emplace_back(Offered(text), Assemble(Offered(text), address));
    address += static_cast<int>(lines.back().second.size());
    std::string theirs = lines.back().first;
    for (size_t i = 1; i < theirs.size(); ++i)
      if ((theirs[i] == 'H' || theirs[i] == 'L') && (theirs[i - 1] == 'X' || theirs[i - 1] == 'Y'))
        theirs.insert(i++ - 1, "I");
    file << "\t" << theirs << "\n";
  }
  file.close();
  ASSERT_GT(lines.size(), 700u);
  const int status = std::system(("/usr/bin/pasmo " + source + " " + source + ".bin").c_str());
  std::ifstream in(source + ".bin", std::ios::binary);
  const Bytes theirs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unlink(source.c_str());
  unlink((source + ".bin").c_str());
  ASSERT_EQ(status, 0);
  ASSERT_EQ(theirs.size(), static_cast<size_t>(address - origin));
  auto at = theirs.begin();
  for (const auto& [line, bytes] : lines) {
    EXPECT_EQ(bytes, Bytes(at, at + static_cast<long>(bytes.size()))) << line;
    at += static_cast<long>(bytes.size());
  }
}

}  // namespace
