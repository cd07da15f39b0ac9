#include "z80/debugger/debugger_input.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/dialogs.h"
#include "z80/z80_instance.h"

namespace z80dbg {

std::optional<int> ParseInteger(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.size() - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * base + d;
    if (v > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace z80dbg

namespace {

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool DebuggerInputNumber(const char* Caption, const char* Prompt, int& Value, const char* Format,
                         int Low, int High) {
  char initial[64];
  std::snprintf(initial, sizeof initial, Format, Value);
  std::string text = initial;
  platform::Dialogs& dialogs = platform::CurrentDialogs();
  for (;;) {
    if (!dialogs.InputQuery(Caption, Prompt, text)) return false;
    // The text is kept as edited here, so a repeated query shows "0x".
    text = Trim(text);
    if (!text.empty() && text[0] == '#') text.replace(0, 1, "0x");
    const std::optional<int> n = z80dbg::ParseInteger(text);
    if (!n) {
      dialogs.Message(z80::kCaption, "Требуется ввести число!", platform::MsgButtons::Ok,
                      platform::MsgIcon::Error, platform::MsgResult::Ok);
      continue;
    }
    if (*n < Low || *n > High) {
      dialogs.Message(z80::kCaption,
                      "Требуется число в диапазоне " + std::to_string(Low) + "..." +
                          std::to_string(High) + " !",
                      platform::MsgButtons::Ok, platform::MsgIcon::Error, platform::MsgResult::Ok);
      continue;
    }
    Value = *n;
    return true;
  }
}
