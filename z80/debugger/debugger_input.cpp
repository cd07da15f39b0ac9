#include "z80/debugger/debugger_input.h"

#include <cstdio>
#include <optional>
#include <string>

#include "platform/dialogs.h"
#include "platform/number_entry.h"
#include "z80/z80_instance.h"

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
    // The text is kept as edited here, so a repeated query shows it trimmed
    // and with "#" turned into "0x".
    text = Trim(text);
    const std::optional<int32_t> n = platform::ConvertNumber(text);
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
