#include "shell/number_input.h"

#include <algorithm>

#include "platform/dialogs.h"
#include "shell/settings.h"

std::string FormatNumber(std::string_view format, int32_t value) {
  std::string out;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool zero = false, left = false;
    for (; i < format.size() && (format[i] == '0' || format[i] == '-'); ++i)
      (format[i] == '0' ? zero : left) = true;
    if (left) zero = false;
    size_t width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9')
      width = std::min<size_t>(width * 10 + static_cast<size_t>(format[i++] - '0'), 1024);
    if (i >= format.size()) break;
    const char conv = format[i++];
    std::string digits;
    bool negative = false;
    if (conv == 'd' || conv == 'i') {
      int64_t v = value;
      negative = v < 0;
      uint64_t u = static_cast<uint64_t>(negative ? -v : v);
      do digits.insert(digits.begin(), static_cast<char>('0' + u % 10)); while (u /= 10);
    } else if (conv == 'u' || conv == 'x' || conv == 'X') {
      uint32_t u = static_cast<uint32_t>(value);
      const uint32_t base = conv == 'u' ? 10 : 16;
      const char* set = conv == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
      do digits.insert(digits.begin(), set[u % base]); while (u /= base);
    } else {
      continue;  // not an integer conversion: shown as nothing
    }
    const size_t len = digits.size() + (negative ? 1 : 0);
    const size_t pad = len < width ? width - len : 0;
    if (zero) digits.insert(digits.begin(), pad, '0');
    if (negative) digits.insert(digits.begin(), '-');
    if (!zero && !left) digits.insert(digits.begin(), pad, ' ');
    if (left) digits.append(pad, ' ');
    out += digits;
  }
  if (out.size() > 1024) out.resize(1024);
  return out;
}

std::string RangeMessage(int32_t low, int32_t high) {
  return "The number in the range " + std::to_string(low) + " required..." + std::to_string(high) +
         " !";
}

bool InputNumber(std::string_view caption, std::string_view prompt, int32_t& value,
                 std::string_view format, int32_t low, int32_t high) {
  std::string text = FormatNumber(format, value);
  for (;;) {
    if (!platform::CurrentDialogs().InputQuery(caption, prompt, text)) return false;
    const std::optional<int32_t> number = ConvertNumber(text);
    if (!number) {
      platform::ShowMessage(kApplicationTitle, kNumberRequiredMessage);
      continue;
    }
    if (*number < low || *number > high) {
      platform::ShowMessage(kApplicationTitle, RangeMessage(low, high));
      continue;
    }
    value = *number;
    return true;
  }
}
