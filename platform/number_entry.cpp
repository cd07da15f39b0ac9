#include "platform/number_entry.h"

#include <string_view>

namespace platform {

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

std::optional<int32_t> ConvertNumber(std::string& editText) {
  const std::string_view trimmed = Trim(editText);
  if (trimmed.empty()) return std::nullopt;
  if (trimmed.front() == '#') {
    editText = "0x" + std::string(trimmed.substr(1));
    return Convert(editText);
  }
  return Convert(editText);
}

}  // namespace platform
