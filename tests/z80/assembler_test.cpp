// The line assembler: worked lines and refusals, a round trip through the
// disassembler over every page, and an outside check against pasmo.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
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
  Bytes bytes;  // empty: refused
};

TEST(Assembler, Lines) {
  const Line lines[] = {
      {"LD A,#FF", 0, {0x3E, 0xFF}},
      {"ld a,255", 0, {0x3E, 0xFF}},
      {"ld a,'A'", 0, {0x3E, 0x41}},
      {"ld a,'#'", 0, {0x3E, 0x23}},  // a quoted character is no number
      {"ld a,' '", 0, {0x3E, 0x20}},
      {"  LD   B , C  ", 0, {0x41}},
      {"ld a,(hl)", 0, {0x7E}},
      {"jp (hl)", 0, {0xE9}},
      {"jr #8005", 0x8000, {0x18, 0x03}},
      {"jr 0", 0xFFFE, {0x18, 0x00}},        // targets wrap at 65536 ...
      {"jr #fff0", 0x0000, {0x18, 0xEE}},    // ... both ways
      {"djnz 0x7F82", 0x8000, {0x10, 0x80}},
      {"ld ix,#1234", 0, {0xDD, 0x21, 0x34, 0x12}},
      {"ld (iy-2),a", 0, {0xFD, 0x77, 0xFE}},
      {"ld a,(ix)", 0, {0xDD, 0x7E, 0x00}},
      {"ld (ix-#80),#7f", 0, {0xDD, 0x36, 0x80, 0x7F}},
      {"ld xh,b", 0, {0xDD, 0x60}},
      {"ld yl,#07", 0, {0xFD, 0x2E, 0x07}},
      {"rst 56", 0, {0xFF}},
      {"rst #38", 0, {0xFF}},
      {"rst 0x08", 0, {0xCF}},
      {"rst #00", 0, {0xC7}},
      {"push af", 0, {0xF5}},
      {"pop ix", 0, {0xDD, 0xE1}},
      {"im 0/1", 0, {0xED, 0x4E}},
      {"nop*", 0, {0xED, 0x00}},
      {"im 0", 0, {0xED, 0x46}},  // documented code before its aliases
      {"neg", 0, {0xED, 0x44}},
      {"bit 0,(ix+5)", 0, {0xDD, 0xCB, 0x05, 0x46}},
      {"bit 7,(hl)", 0, {0xCB, 0x7E}},
      {"rlc (ix+5)", 0, {0xDD, 0xCB, 0x05, 0x06}},
      {"rlc b,(ix+5)", 0, {0xDD, 0xCB, 0x05, 0x00}},
      {"set 1,a,(iy-1)", 0, {0xFD, 0xCB, 0xFF, 0xCF}},
      {"add a,b", 0, {0x80}},
      {"add b", 0, {0x80}},
      {"sub a,(ix+1)", 0, {0xDD, 0x96, 0x01}},
      {"cp a,5", 0, {0xFE, 0x05}},
      {"ld hl,(#1234)", 0, {0x2A, 0x34, 0x12}},
      {"in a,(c)", 0, {0xED, 0x78}},
      {"in a,(#fe)", 0, {0xDB, 0xFE}},
      {"in (c)", 0, {0xED, 0x70}},
      {"out (c),0", 0, {0xED, 0x71}},
      {"ex af,af'", 0, {0x08}},
      // Refused as the matcher has always refused them.
      {"ld a,256", 0, {}},
      {"ld a, (hl)", 0, {}},  // a blank before "(" stays
      {"jr #8082", 0x8000, {}},
      {"rst 3", 0, {}},
      {"ld a,(ix+#80)", 0, {}},
      {"", 0, {}},
      // Refused now, where the pattern table encoded something else.
      {"ld (hl),(hl)", 0, {}},
      {"ld (ix+5),(ix+5)", 0, {}},
      {"ld (ix),(ix)", 0, {}},
      {"push sp", 0, {}},
      {"pop sp", 0, {}},
      {"ld xh,(hl)", 0, {}},
      {"ld (hl),xh", 0, {}},
      {"rlc xh", 0, {}},
      {"sbc hl,ix", 0, {}},
      {"ld h,xl", 0, {}},
      {"ld (ix+5),xh", 0, {}},
      {"in (hl),(c)", 0, {}},
      {"out (c),(hl)", 0, {}},
      {"ld a,99999999999999999999", 0, {}},  // overflowing numbers do not wrap into range
      {"ld a,#1000000000000ff", 0, {}},
      {"jp 0x100000000", 0, {}},
      {"ld (ix+#1000000005),a", 0, {}},
      {"call c", 0, {}},  // register names are not numbers
      {"jp c", 0, {}},
      {"ld bc,de", 0, {}},
      {"ld a,(c)", 0, {}},
      {"ld hl,af", 0, {}},
      {"lb a,b", 0, {}},  // only "ld " is LD
      {"xx a,b", 0, {}},
  };
  for (const Line& l : lines) EXPECT_EQ(Assemble(l.text, l.address), l.bytes) << l.text;

  // Longer than the assembler reads or holds: refused, not cut.
  EXPECT_EQ(Assemble("ld a,(ix+#" + std::string(60, '0') + "5)", 0), Bytes{});
  EXPECT_EQ(Assemble("ld a,(ix+#" + std::string(40, '0') + "5)", 0), (Bytes{0xDD, 0x7E, 0x05}));
  EXPECT_EQ(Assemble("nop" + std::string(kAsmMaxLine, ' '), 0), Bytes{});
  EXPECT_EQ(Assemble("nop" + std::string(kAsmMaxLine - 3, ' '), 0), Bytes{0x00});
  EXPECT_EQ(Z80Assemble(nullptr, 0), 0);
}

// --- Every instruction the disassembler shows ------------------------------

struct Instruction {
  Bytes bytes;
  std::string text;  // as the debugger offers it: no '*', single blanks
};

std::string Offered(std::string text) {
  if (!text.empty() && text[0] == '*') text.erase(0, 1);
  std::string out;
  for (char c : text)
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  return out;
}

std::string Disassemble(const Bytes& bytes, int address, bool hex, int& length) {
  return Z80Disassemble(bytes.data(), bytes.size(), static_cast<uint16_t>(address), hex, length);
}

// Every code of every page except the prefix slots, operand bytes varied.
std::vector<Bytes> EveryCode() {
  std::vector<Bytes> list;
  uint8_t seed = 0x5B;
  auto next = [&] { return seed = static_cast<uint8_t>(seed * 29 + 11); };
  const Bytes leads[] = {{}, {0xCB}, {0xED}, {0xDD}, {0xFD}, {0xDD, 0xCB}, {0xFD, 0xCB}};
  for (const Bytes& lead : leads) {
    for (int op = 0; op < 256; ++op) {
      const bool prefix = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
      if ((lead.empty() || (lead.size() == 1 && lead[0] >= 0xDD)) && prefix) continue;
      Bytes b = lead;
      if (lead.size() == 2) b.push_back(next());
      b.push_back(static_cast<uint8_t>(op));
      for (int i = 0; i < 3; ++i) b.push_back(next());
      list.push_back(b);
    }
  }
  return list;
}

// Codes whose text must come back as the same bytes: the documented ones
// (but ED 63 and ED 6B, longer twins of LD (nn),HL and LD HL,(nn)), SLL, the
// index halves, IN (C), OUT (C),0 and the DD CB / FD CB register copies.
// Any other code shares its text with a preferred code.
bool MustComeBack(const Bytes& b, const std::string& text) {
  using namespace z80dbg;
  if (b[0] == 0xED) return (text[0] != '*' && b[1] != 0x63 && b[1] != 0x6B) || b[1] == 0x70 ||
                           b[1] == 0x71;
  if (text[0] != '*' || text.find("SLL") != std::string::npos) return true;
  if (b[0] == 0xDD || b[0] == 0xFD) {
    if (b[1] == 0xCB) return (b[3] >> 6) != 1;  // all but the BIT copies
    return !Z80Ops[kPageIndex][b[1]].Template.Empty();
  }
  return false;
}

TEST(Assembler, TakesBackWhatTheDisassemblerShows) {
  int exact = 0;
  for (const bool hex : {true, false}) {
    for (const int address : {0x0010, 0x8000, 0xFFF0}) {
      for (Bytes b : EveryCode()) {
        int length = 0;
        const std::string text = Disassemble(b, address, hex, length);
        b.resize(length);
        const std::string line = Offered(text);
        const Bytes got = Assemble(line, address);
        if (MustComeBack(b, text)) {
          EXPECT_EQ(got, b) << line;
          ++exact;
        } else {
          ASSERT_FALSE(got.empty()) << line;
          EXPECT_EQ(Offered(Disassemble(got, address, hex, length)), line);
        }
      }
    }
  }
  EXPECT_GT(exact, 6 * 1000);
}

// --- Outside check against pasmo --------------------------------------------

// pasmo's names for the index halves.
std::string ForPasmo(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool half = (text[i] == 'X' || text[i] == 'Y') && i + 1 < text.size() &&
                      (text[i + 1] == 'H' || text[i + 1] == 'L') && (i == 0 || text[i - 1] != 'I');
    if (half) out += 'I';
    out += text[i];
  }
  return out;
}

TEST(Assembler, AgreesWithPasmo) {
  if (access("/usr/bin/pasmo", X_OK) != 0) GTEST_SKIP() << "pasmo is not installed";
  // The documented set, SLL and the index halves (pasmo knows no other
  // undocumented form), at consecutive addresses as pasmo places them.
  const int origin = 0x1000;
  std::vector<std::string> lines;
  Bytes ours;
  for (Bytes b : EveryCode()) {
    int length = 0;
    const int address = origin + static_cast<int>(ours.size());
    const std::string text = Disassemble(b, address, true, length);
    const bool index = b[0] == 0xDD || b[0] == 0xFD;
    const bool sll = text.rfind("*SLL", 0) == 0 && text.find(',') == std::string::npos;
    const bool half = index && b[1] != 0xCB && text[0] == '*' &&
                      !z80dbg::Z80Ops[z80dbg::kPageIndex][b[1]].Template.Empty();
    if (text[0] == '*' && !sll && !half) continue;
    lines.push_back(Offered(text));
    const Bytes got = Assemble(lines.back(), address);
    ASSERT_FALSE(got.empty()) << lines.back();
    ours.insert(ours.end(), got.begin(), got.end());
  }
  ASSERT_GT(lines.size(), 700u);

  char source[] = "/tmp/asm_testXXXXXX";
  const int fd = mkstemp(source);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string binary = std::string(source) + ".bin";
  {
    std::ofstream file(source);
    file << "\torg " << origin << "\n";
    for (const std::string& l : lines) file << "\t" << ForPasmo(l) << "\n";
  }
  const std::string command = "/usr/bin/pasmo " + std::string(source) + " " + binary;
  const int status = std::system(command.c_str());
  std::ifstream in(binary, std::ios::binary);
  const Bytes theirs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unlink(source);
  unlink(binary.c_str());
  ASSERT_EQ(status, 0);

  // Walk both, line by line, to name the first line that differs.
  size_t at = 0;
  for (const std::string& l : lines) {
    const Bytes got = Assemble(l, origin + static_cast<int>(at));
    ASSERT_LE(at + got.size(), theirs.size()) << l;
    ASSERT_EQ(got, Bytes(theirs.begin() + at, theirs.begin() + at + got.size())) << l;
    at += got.size();
  }
  EXPECT_EQ(at, theirs.size());
}

}  // namespace
