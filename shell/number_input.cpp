#include "shell/number_input.h"

#include <algorithm>

#include "platform/dialogs.h"
#include "shell/settings.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::optional<int32_t> ConvertHexDigits(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

std::optional<int32_t> ConvertDecimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<int32_t> Convert(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  if (s.front() == '$' || s.front() == 'x' || s.front() == 'X') return ConvertHexDigits(s.substr(1));
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return ConvertHexDigits(s.substr(2));
  return ConvertDecimal(s);
}

}  // namespace

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

std::optional<int32_t> ConvertNumber(std::string& editText) {
  const std::string_view trimmed = Trim(editText);
  if (trimmed.empty()) return std::nullopt;
  if (trimmed.front() == '#') {
    editText = "0x" + std::string(trimmed.substr(1));
    return Convert(editText);
  }
  return Convert(editText);
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
