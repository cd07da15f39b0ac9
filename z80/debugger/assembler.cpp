// The line assembler. It has no instruction list of its own: it reads the
// disassembler's templates (dasm_tables.h) backwards, taking the first
// template that the normalised line spells and filling the template's
// placeholders from the line. So it takes back exactly what the
// disassembler shows, and an index prefix is only ever put in front of an
// instruction that has an index form.
#include "z80/debugger/assembler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "z80/debugger/dasm_tables.h"

TAsmBuffer AsmBuffer;

namespace {

using namespace z80dbg;

// Numbers stop growing here: above every operand's range, so an overlong
// number is refused instead of wrapping into range.
constexpr uint32_t kSaturated = 0x100000;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
uint32_t HexValue(char c) { return IsDigit(c) ? c - '0' : Lower(c) - 'a' + 10; }

// A quoted character: apostrophe, any character, apostrophe. It is the
// character's code and passes every rewriting untouched ('#' is no number).
bool IsQuoted(std::string_view text, size_t at) {
  return at + 2 < text.size() && text[at] == '\'' && text[at + 2] == '\'';
}

bool HasRst(std::string_view text) {
  for (size_t i = 0; i + 3 <= text.size(); ++i)
    if (Lower(text[i]) == 'r' && Lower(text[i + 1]) == 's' && Lower(text[i + 2]) == 't')
      return true;
  return false;
}

// Every number into hexadecimal that starts with a digit, so none can be
// taken for a register name: "#" and "0x" become "0", runs of decimal digits
// their value in "%04X". RST lines instead get the bare hexadecimal value
// (rst #38, rst 56 and rst 0x38 all become rst 38).
std::string RewriteNumbers(std::string_view text) {
  const bool rst = text.size() > 3 && HasRst(text);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (IsQuoted(text, i)) {
      out.append(text.substr(i, 3));
      i += 3;
      continue;
    }
    size_t marker = 0;
    if (c == '#') marker = 1;
    else if (c == '0' && i + 1 < text.size() && Lower(text[i + 1]) == 'x') marker = 2;
    if (marker != 0) {
      i += marker;
      if (rst) {
        while (i + 1 < text.size() && text[i] == '0' && IsHexDigit(text[i + 1])) ++i;
      } else {
        out += '0';
      }
      while (i < text.size() && IsHexDigit(text[i])) out += text[i++];
      continue;
    }
    if (IsDigit(c) && i + 1 < text.size() && IsDigit(text[i + 1])) {
      uint32_t value = 0;
      while (i < text.size() && IsDigit(text[i]))
        value = std::min<uint32_t>(value * 10 + (text[i++] - '0'), kSaturated);
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, rst ? "%X" : "%04X", value);
      out += buffer;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

// Lower case with single blanks: a blank survives only between two letters
// or digits, or right before "(" or "#" (so "ld a, (hl)" stays wrong).
// False when the result does not fit the work area.
bool Normalise(std::string_view text, std::string& line) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  while (i < text.size() && !IsBlank(text[i])) line += Lower(text[i++]);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsQuoted(text, i)) {
      line.append(text.substr(i, 3));
      i += 2;
    } else if (IsBlank(c)) {
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      const bool beforeOperand = next == '(' || next == '#';
      const bool betweenWords = !line.empty() && IsWordChar(line.back()) && IsWordChar(next);
      if (beforeOperand || betweenWords) line += ' ';
    } else {
      line += text[i - 1] == '\'' ? c : Lower(c);
    }
  }
  if (!line.empty() && line.back() == ' ') line.pop_back();
  return line.size() < sizeof AsmBuffer.Text;
}

// Register names that are also hexadecimal numbers: as a bare operand they
// mean the register, and no template that wants a number takes them.
bool SpellsRegister(std::string_view word) {
  for (std::string_view name : {"a", "b", "c", "d", "e", "f", "af", "bc", "de"})
    if (word == name) return true;
  return false;
}

// An unsigned hexadecimal number at line[at], moving at past it.
bool ReadNumber(std::string_view line, size_t& at, uint32_t& value) {
  const size_t start = at;
  value = 0;
  while (at < line.size() && IsHexDigit(line[at]))
    value = std::min(value * 16 + HexValue(line[at++]), kSaturated);
  return at > start && !SpellsRegister(line.substr(start, at - start));
}

// An optional "-", an optional "+", then a hexadecimal number.
bool ParseHexNumber(std::string_view line, size_t& at, long& value) {
  const bool negative = at < line.size() && line[at] == '-';
  if (negative) ++at;
  if (at < line.size() && line[at] == '+') ++at;
  const size_t start = at;
  uint32_t magnitude = 0;
  while (at < line.size() && IsHexDigit(line[at]))
    magnitude = std::min(magnitude * 16 + HexValue(line[at++]), kSaturated);
  value = negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude);
  return at > start;
}

bool StartsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

// Template text against line text: template letters are upper case.
bool SameText(std::string_view tpl, std::string_view line) {
  if (tpl.size() != line.size()) return false;
  for (size_t i = 0; i < tpl.size(); ++i)
    if (Lower(tpl[i]) != line[i]) return false;
  return true;
}

bool IsAlu(std::string_view mnemonic) {
  for (std::string_view name : detail::kAlu)
    if (mnemonic == name) return true;
  return false;
}

bool IsPrefixSlot(const TZ80OpInfo& info) {
  return info.Tacts >= kTactPrefixCB && info.Tacts <= kTactPrefixIndexCB;
}

// The line against one template of page, opcode op. On a match the bytes
// after the prefix go to AsmBuffer.Opcode and their count is returned.
int MatchTemplate(std::string_view tpl, int page, uint8_t op, int address) {
  if (StartsWith(tpl, "*")) tpl.remove_prefix(1);
  const std::string_view line = AsmBuffer.Text;
  const size_t tplBlank = tpl.find(' ');
  const size_t lineBlank = line.find(' ');
  const std::string_view mnemonic = tpl.substr(0, tplBlank);
  if (!SameText(mnemonic, line.substr(0, lineBlank))) return 0;
  if ((tplBlank == std::string_view::npos) != (lineBlank == std::string_view::npos)) return 0;
  std::string_view want;
  std::string_view have;
  if (tplBlank != std::string_view::npos) {
    want = tpl.substr(tpl.find_first_not_of(' ', tplBlank));
    have = line.substr(lineBlank + 1);
  }
  // The accumulator operand of the ALU group may be written or left out.
  if (IsAlu(mnemonic)) {
    if (StartsWith(want, "A,")) want.remove_prefix(2);
    if (StartsWith(have, "a,")) have.remove_prefix(2);
  }

  const char index = AsmBuffer.Prefix == 0xFD ? 'y' : 'x';
  // Bytes before the operands, counting the prefix, for relative targets.
  const int lead = (AsmBuffer.Prefix != 0 ? 1 : 0) + (page == kPageCB || page == kPageED ? 2 : 1);
  uint8_t operands[4];
  int count = 0;
  size_t t = 0;
  size_t at = 0;
  while (t < want.size()) {
    const std::string_view rest = want.substr(t);
    if (rest[0] != '$') {
      if (at >= have.size() || Lower(rest[0]) != have[at]) return 0;
      ++t;
      ++at;
      continue;
    }
    uint32_t value = 0;
    if (StartsWith(rest, "$RH") || StartsWith(rest, "$RL")) {
      if (have.substr(at, 2) != std::string{index, Lower(rest[2])}) return 0;
      at += 2;
      t += 3;
    } else if (StartsWith(rest, "$R")) {
      if (have.substr(at, 2) != std::string{'i', index}) return 0;
      at += 2;
      t += 2;
    } else if (StartsWith(rest, "$PLUS")) {
      // "(ix)" is "(ix+0)".
      long d = 0;
      if (at >= have.size() || have[at] != ')') {
        if (at >= have.size() || (have[at] != '+' && have[at] != '-')) return 0;
        if (!ParseHexNumber(have, at, d) || d < -128 || d > 127) return 0;
      }
      operands[count++] = static_cast<uint8_t>(d);
      t += 5;
    } else if (StartsWith(rest, "$S")) {
      if (!ReadNumber(have, at, value) || value != ((op >> 3) & 7u)) return 0;
      t += 2;
    } else if (StartsWith(rest, "$W")) {
      if (!ReadNumber(have, at, value) || value > 0xFFFF) return 0;
      operands[count++] = static_cast<uint8_t>(value);
      operands[count++] = static_cast<uint8_t>(value >> 8);
      t += 2;
    } else if (StartsWith(rest, "$N")) {
      if (IsQuoted(have, at)) {
        value = static_cast<uint8_t>(have[at + 1]);
        at += 3;
      } else if (!ReadNumber(have, at, value) || value > 0xFF) {
        return 0;
      }
      operands[count++] = static_cast<uint8_t>(value);
      t += 2;
    } else if (StartsWith(rest, "$T")) {
      if (!ReadNumber(have, at, value) || value != (op & 0x38u)) return 0;
      t += 2;
    } else if (StartsWith(rest, "$DIS")) {
      if (!ReadNumber(have, at, value) || value > 0xFFFF) return 0;
      // From the address after the displacement byte, on the 16-bit ring.
      const int from = address + lead + count + 1;
      const int d = static_cast<int16_t>(static_cast<uint16_t>(value - from));
      if (d < -128 || d > 127) return 0;
      operands[count++] = static_cast<uint8_t>(d);
      t += 4;
    } else {
      return 0;
    }
  }
  if (at != have.size()) return 0;

  uint8_t* out = AsmBuffer.Opcode;
  int n = 0;
  if (page == kPageIndexCB) {
    // DD CB d op: the displacement comes before the operation byte.
    out[n++] = 0xCB;
    out[n++] = operands[0];
    out[n++] = op;
    return n;
  }
  if (page == kPageCB) out[n++] = 0xCB;
  if (page == kPageED) out[n++] = 0xED;
  out[n++] = op;
  for (int i = 0; i < count; ++i) out[n++] = operands[i];
  return n;
}

// Spellings of two undocumented codes that the disassembler's texts cannot
// tell apart from others ("*IM 0", "*NOP").
struct AsmSpelling {
  std::string_view text;
  uint8_t bytes[2];
};
constexpr AsmSpelling kAsmSpellings[] = {{"im 0/1", {0xED, 0x4E}}, {"nop*", {0xED, 0x00}}};

// The first template that the line spells, under the current prefix:
// documented forms before undocumented ones, so an instruction with several
// codes gets its documented one.
int MatchPatterns(int address) {
  if (AsmBuffer.Prefix == 0) {
    for (const AsmSpelling& s : kAsmSpellings) {
      if (s.text != AsmBuffer.Text) continue;
      std::memcpy(AsmBuffer.Opcode, s.bytes, sizeof s.bytes);
      return sizeof s.bytes;
    }
  }
  static constexpr int kPlainPages[] = {kPageMain, kPageCB, kPageED};
  static constexpr int kIndexPages[] = {kPageIndex, kPageIndexCB};
  const bool indexed = AsmBuffer.Prefix != 0;
  for (const bool documented : {true, false}) {
    const int* pages = indexed ? kIndexPages : kPlainPages;
    const int pageCount = indexed ? 2 : 3;
    for (int p = 0; p < pageCount; ++p) {
      for (int op = 0; op < 256; ++op) {
        const TZ80OpInfo& info = Z80Ops[pages[p]][op];
        if (info.Template.Empty() || IsPrefixSlot(info)) continue;
        if ((info.Template.Text[0] == '*') == documented) continue;
        const int n = MatchTemplate(info.Template.View(), pages[p], static_cast<uint8_t>(op),
                                    address);
        if (n > 0) return n;
      }
    }
  }
  return 0;
}

int AssembleLine(std::string_view text, int address) {
  std::string line;
  if (!Normalise(text, line) || line.empty()) return 0;
  std::memcpy(AsmBuffer.Text, line.c_str(), line.size() + 1);
  for (const uint8_t prefix : {0x00, 0xDD, 0xFD}) {
    AsmBuffer.Prefix = prefix;
    const int n = MatchPatterns(address);
    if (n == 0) continue;
    int out = 0;
    if (prefix != 0) AsmBuffer.Output[out++] = prefix;
    std::memcpy(AsmBuffer.Output + out, AsmBuffer.Opcode, n);
    return out + n;
  }
  return 0;
}

}  // namespace

int Z80Assemble(const char* text, int address) {
  if (text == nullptr) return 0;
  const size_t length = strnlen(text, kAsmMaxLine + 1);
  if (length > static_cast<size_t>(kAsmMaxLine)) return 0;
  return AssembleLine(RewriteNumbers(std::string_view(text, length)), address);
}
