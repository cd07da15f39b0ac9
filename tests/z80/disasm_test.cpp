// The disassembler: worked examples, buffer bounds, and an outside check of
// every documented instruction against z80dasm.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/disassembler.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Case {
  uint16_t address;
  Bytes bytes;
  bool hex;
  const char* text;
  int length;
};

std::string Disassemble(const Bytes& bytes, uint16_t address, bool hex, int& length) {
  // An exactly sized copy, so that a read past the end trips the sanitizer.
  std::vector<uint8_t> exact(bytes);
  return Z80Disassemble(exact.data(), exact.size(), address, hex, length);
}

TEST(Disassembler, WorkedExamples) {
  const Case cases[] = {
      {0x0000, {0xFF}, true, "RST    #38", 1},
      {0x0000, {0xC7}, true, "RST    #00", 1},
      {0xFFFE, {0x18, 0x00}, true, "JR     #0000", 2},
      {0x8000, {0x20, 0x03}, true, "JR     NZ,#8005", 2},
      {0x8000, {0x10, 0x80}, true, "DJNZ   #7F82", 2},
      {0x0000, {0x01, 0x00, 0x40}, true, "LD     BC,#4000", 3},
      {0x0000, {0xDD, 0x21, 0x34, 0x12}, true, "LD     IX,#1234", 4},
      {0x0000, {0xDD, 0x36, 0x05, 0xFF}, true, "LD     (IX+#05),#FF", 4},
      {0x0000, {0xDD, 0x36, 0x80, 0xFF}, true, "LD     (IX-#80),#FF", 4},
      {0x0000, {0xFD, 0x7E, 0x7F}, true, "LD     A,(IY+#7F)", 3},
      {0x0000, {0xFD, 0xCB, 0xFF, 0xDE}, true, "SET    3,(IY-#01)", 4},
      {0x0000, {0xED, 0x43, 0x34, 0x12}, true, "LD     (#1234),BC", 4},
      {0x0000, {0xDD, 0xFD, 0x21, 0x34, 0x12}, true, "LD     IY,#1234", 5},
      {0x0000, {0xED, 0x00}, true, "*NOP", 2},
      {0x0000, {0xDD, 0x00}, true, "*NOP", 2},
      {0x0000, {0xFD, 0xED, 0x4C}, true, "*NEG", 3},
      {0x0000, {0xDD, 0xED, 0xB0}, true, "*LDIR", 3},
      {0x0000, {0xDD, 0xED, 0x43, 0x00, 0x40}, true, "*LD     (#4000),BC", 5},
      {0x0000, {0xDD, 0xCB, 0x05, 0xC6}, true, "SET    0,(IX+#05)", 4},
      {0x0000, {0xDD, 0xCB, 0x05, 0xC0}, true, "*SET   0,B,(IX+#05)", 4},
      {0x0000, {0xDD, 0xCB, 0x02, 0x36}, true, "*SLL   (IX+#02)", 4},
      {0x0000, {0xDD, 0xCB, 0x02, 0x07}, true, "*RLC   A,(IX+#02)", 4},
      {0x0000, {0xDD, 0xCB, 0x02, 0x4F}, true, "*BIT   1,(IX+#02)", 4},
      {0x0000, {0xDD, 0x06, 0x12}, true, "*LD     B,#12", 3},
      {0x0000, {0xDD, 0xEB}, true, "*EX     DE,HL", 2},
      {0x0000, {0xFD, 0x76}, true, "*HALT", 2},
      {0xFFFE, {0xDD, 0x10, 0xFE}, true, "*DJNZ   #FFFF", 3},
      {0x0000, {0xDD, 0x65}, true, "*LD    XH,XL", 2},
      {0x0000, {0xFD, 0x2E, 0x07}, true, "*LD    YL,#07", 3},
      {0x0000, {0xDD, 0x66, 0x03}, true, "LD     H,(IX+#03)", 3},
      {0x0000, {0xFD, 0x75, 0x03}, true, "LD     (IY+#03),L", 3},
      {0x0000, {0xFD, 0xE9}, true, "JP     (IY)", 2},
      {0x0000, {0xCB, 0x30}, true, "*SLL   B", 2},
      {0x0000, {0xED, 0x70}, true, "*IN    (C)", 2},
      {0x0000, {0xED, 0x71}, true, "*OUT   (C),0", 2},
      {0x0000, {0xED, 0x4E}, true, "*IM    0", 2},
      {0x0000, {0x08}, true, "EX     AF,AF'", 1},
      {0x0000, {0xED, 0x44}, true, "NEG", 2},
      // Decimal forms.
      {0x0000, {0xDD, 0x36, 0x80, 0xFF}, false, "LD     (IX-128),255", 4},
      {0x0000, {0xFD, 0x7E, 0x05}, false, "LD     A,(IY+5)", 3},
      {0x0000, {0xC3, 0x34, 0x12}, false, "JP     4660", 3},
      {0x0000, {0xFF}, false, "RST    56", 1},
      {0x0000, {0x18, 0xFE}, false, "JR     0", 2},
      {0x0000, {0xCB, 0xFE}, false, "SET    7,(HL)", 2},
  };
  for (const Case& c : cases) {
    int length = -1;
    EXPECT_EQ(Disassemble(c.bytes, c.address, c.hex, length), c.text) << c.text;
    EXPECT_EQ(length, c.length) << c.text;
  }
}

// Runs of DD/FD prefixes and instructions cut by the end of the buffer.
TEST(Disassembler, StaysInsideTheBuffer) {
  const int run = z80dbg::kMaxPrefixRun;
  auto prefixes = [](int count, uint8_t last) {
    Bytes b(count, 0xDD);
    b.back() = last;
    return b;
  };
  auto then = [](Bytes b, Bytes tail) {
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Case cases[] = {
      // The core ends a step after the bounded run; the rest is a new line.
      {0, prefixes(run + 44, 0xDD), true, "*IX", run},
      {0, then(prefixes(run - 1, 0xDD), {0x21, 0x34, 0x12}), true, "LD     IX,#1234", run + 2},
      {0, then(prefixes(run, 0xFD), {0x21, 0x34, 0x12}), true, "*IY", run},
      {0, prefixes(run, 0xDD), true, "*IX", run},
      // Cut instructions: the bytes there are, shown as data.
      {0, {0xDD}, true, "DB     #DD", 1},
      {0, {0xCB}, true, "DB     #CB", 1},
      {0, {0xED, 0x43, 0x00}, true, "DB     #ED,#43,#00", 3},
      {0, {0x01, 0x02}, false, "DB     1,2", 2},
      {0, {0xDD, 0xCB, 0x05}, true, "DB     #DD,#CB,#05", 3},
      {0, {0xDD, 0x36, 0x05}, true, "DB     #DD,#36,#05", 3},
      {0, {0xFD, 0xED}, true, "DB     #FD,#ED", 2},
      {0, {0x18}, true, "DB     #18", 1},
  };
  for (const Case& c : cases) {
    int length = -1;
    EXPECT_EQ(Disassemble(c.bytes, c.address, c.hex, length), c.text) << c.bytes.size();
    EXPECT_EQ(length, c.length) << c.text;
  }
  // A buffer of nothing but prefixes, shorter than the bound.
  int length = -1;
  Disassemble(Bytes(100, 0xFD), 0, true, length);
  EXPECT_EQ(length, 100);
  EXPECT_EQ(Z80Disassemble(nullptr, 0, 0, true, length), "");
  EXPECT_EQ(length, 0);
}

// Every template of every page: placeholders all filled, no trailing blank,
// operands in column 8 (column 9 behind the mark of an ignored prefix).
TEST(Disassembler, EveryTemplateIsWellFormed) {
  const Bytes leads[] = {{},     {0xCB},           {0xED},           {0xDD},
                         {0xFD}, {0xDD, 0xCB, 0x80}, {0xFD, 0xCB, 0x7F}};
  for (const Bytes& lead : leads) {
    for (int op = 0; op < 256; ++op) {
      // Prefixes that start another page are covered by the other leads.
      const bool indexLead = lead == Bytes{0xDD} || lead == Bytes{0xFD};
      if ((lead.empty() || indexLead) && (op == 0xDD || op == 0xFD)) continue;
      if (indexLead && op == 0xED) continue;
      Bytes b = lead;
      b.push_back(static_cast<uint8_t>(op));
      b.insert(b.end(), {0x81, 0x42, 0x24});
      int length = 0;
      const std::string text = Disassemble(b, 0x4000, true, length);
      SCOPED_TRACE(text);
      EXPECT_EQ(text.find('$'), std::string::npos);
      ASSERT_FALSE(text.empty());
      EXPECT_NE(text.back(), ' ');
      EXPECT_GE(length, static_cast<int>(lead.size()) + 1);
      const size_t blank = text.find(' ');
      if (blank != std::string::npos) {
        const size_t column = text.find_first_not_of(' ', blank);
        const bool widened = text[0] == '*' && (lead == Bytes{0xDD} || lead == Bytes{0xFD}) &&
                             z80dbg::Z80Ops[z80dbg::kPageIndex][op].Template.Empty();
        EXPECT_EQ(column, widened ? 8u : 7u);
      }
    }
  }
}

// --- Outside check against z80dasm ----------------------------------------

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// One notation for both sides: upper case, single blanks, numbers in
// decimal. Ours writes #hex; z80dasm writes 0ffh-style hex and relative
// targets as $+n from the instruction's address.
std::string Normalise(const std::string& raw, bool ours, int address) {
  std::string text;
  for (char c : raw) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    const bool wordStart = i == 0 || !IsWordChar(text[i - 1]);
    if (ours && c == '#') {
      size_t end = i + 1;
      while (end < text.size() && IsHexDigit(text[end])) ++end;
      out += std::to_string(std::stol(text.substr(i + 1, end - i - 1), nullptr, 16));
      i = end;
    } else if (!ours && c == '$' && i + 1 < text.size() &&
               (text[i + 1] == '+' || text[i + 1] == '-')) {
      size_t end = i + 2;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      out += std::to_string((address + std::stol(text.substr(i + 1, end - i - 1))) & 0xFFFF);
      i = end;
    } else if (!ours && wordStart && std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = i;
      while (end < text.size() && IsHexDigit(text[end])) ++end;
      const bool suffix = end < text.size() && text[end] == 'H' &&
                          (end + 1 == text.size() || !IsWordChar(text[end + 1]));
      if (suffix) {
        out += std::to_string(std::stol(text.substr(i, end - i), nullptr, 16));
        i = end + 1;
      } else {
        out.append(text, i, end - i);
        i = end;
      }
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

struct Instruction {
  Bytes bytes;
  std::string text;
};

// Codes z80dasm knows differently although they are documented here.
bool KnownDifference(const Bytes& b) {
  // ED 63 and ED 6B: the four-byte LD (nn),HL and LD HL,(nn); z80dasm calls
  // the byte after ED illegal.
  return b.size() >= 2 && b[0] == 0xED && (b[1] == 0x63 || b[1] == 0x6B);
}

// Instructions of every page with operand bytes that vary, so displacements
// and jumps go both ways. Documented: every text without '*'. Undocumented:
// the forms z80dasm -u knows (SLL, the index halves, the DD CB / FD CB
// copies into a register, IN (C) and OUT (C),0). Left out as legitimate
// differences: the ED aliases of NEG, RETN and IM and the ED no-operations
// (z80dasm calls the byte after ED illegal), lines where a DD/FD prefix is
// ignored (z80dasm shows data) and the prefix slots themselves.
std::vector<Instruction> Instructions(bool documented) {
  std::vector<Instruction> list;
  uint8_t seed = 0x37;
  auto next = [&] { return seed = static_cast<uint8_t>(seed * 13 + 7); };
  const Bytes leads[] = {{}, {0xCB}, {0xED}, {0xDD}, {0xFD}, {0xDD, 0xCB}, {0xFD, 0xCB}};
  for (const Bytes& lead : leads) {
    const bool indexLead = lead == Bytes{0xDD} || lead == Bytes{0xFD};
    for (int op = 0; op < 256; ++op) {
      const bool prefix = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
      if ((lead.empty() || indexLead) && prefix) continue;
      Bytes b = lead;
      if (lead.size() == 2) b.push_back(next());
      b.push_back(static_cast<uint8_t>(op));
      for (int i = 0; i < 3; ++i) b.push_back(next());
      int length = 0;
      const std::string text = Disassemble(b, 0, true, length);
      b.resize(length);
      bool wanted;
      if (documented) {
        wanted = text[0] != '*' && !KnownDifference(b);
      } else {
        const bool ownIndexForm =
            indexLead && !z80dbg::Z80Ops[z80dbg::kPageIndex][op].Template.Empty();
        wanted = text[0] == '*' &&
                 (lead == Bytes{0xCB} || lead.size() == 2 || ownIndexForm ||
                  (lead == Bytes{0xED} && (op == 0x70 || op == 0x71)));
      }
      if (wanted) list.push_back({b, text});
    }
  }
  return list;
}

// z80dasm's text of each instruction, by address, with all of them in one
// file: its address comments show where each line starts.
std::map<int, std::string> RunZ80dasm(const std::vector<Instruction>& list, int origin,
                                      bool undocumented) {
  char path[] = "/tmp/disasm_testXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  {
    std::ofstream file(path, std::ios::binary);
    for (const Instruction& i : list)
      file.write(reinterpret_cast<const char*>(i.bytes.data()), i.bytes.size());
  }
  const std::string command = std::string("/usr/bin/z80dasm -a ") + (undocumented ? "-u " : "") +
                              "-g " + std::to_string(origin) + " " + path + " 2>/dev/null";
  std::map<int, std::string> theirs;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    // Code lines: a tab, the instruction, then ";" and the address in hex.
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe)) {
      const std::string line(buffer);
      const size_t semicolon = line.rfind(';');
      if (line.empty() || line[0] != '\t' || semicolon == std::string::npos) continue;
      const std::string tail = line.substr(semicolon + 1, 4);
      if (tail.size() != 4 || !std::all_of(tail.begin(), tail.end(), IsHexDigit)) continue;
      theirs[std::stoi(tail, nullptr, 16)] = line.substr(1, semicolon - 1);
    }
    pclose(pipe);
  }
  unlink(path);
  return theirs;
}

void Replace(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// z80dasm's names for the undocumented forms, in ours: SLI is SLL, IXH is
// XH, IN F,(C) is IN (C), and "op (IX+d) & LD r,(IX+d)" is "op r,(IX+d)"
// (BIT writes nothing back, so its copy is dropped).
std::string Undocumented(std::string text) {
  Replace(text, "SLI ", "SLL ");
  for (std::string_view half : {"IXH", "IXL", "IYH", "IYL"})
    Replace(text, half, std::string(half.substr(1)));
  Replace(text, "IN F,(C)", "IN (C)");
  const size_t amp = text.find(" & LD ");
  if (amp != std::string::npos) {
    const std::string copy = text.substr(amp + 6, 1);  // the register
    text.resize(amp);
    if (text.rfind("BIT ", 0) != 0) text.insert(text.find('('), copy + ",");
  }
  return text;
}

TEST(Disassembler, AgreesWithZ80dasm) {
  if (access("/usr/bin/z80dasm", X_OK) != 0) GTEST_SKIP() << "z80dasm is not installed";
  for (const bool undocumented : {false, true}) {
    const std::vector<Instruction> list = Instructions(!undocumented);
    ASSERT_GT(list.size(), undocumented ? 500u : 650u);
    const int origin = 0x1000;
    const std::map<int, std::string> theirs = RunZ80dasm(list, origin, undocumented);
    int address = origin;
    for (const Instruction& i : list) {
      int length = 0;
      std::string ours = Disassemble(i.bytes, static_cast<uint16_t>(address), true, length);
      auto found = theirs.find(address);
      ASSERT_NE(found, theirs.end()) << ours << " at " << address;
      std::string expected = Normalise(found->second, false, address);
      if (undocumented) {
        ASSERT_EQ(ours[0], '*');
        ours.erase(0, 1);
        expected = Undocumented(expected);
      }
      EXPECT_EQ(Normalise(ours, true, address), expected) << i.text;
      address += static_cast<int>(i.bytes.size());
    }
  }
}

}  // namespace
