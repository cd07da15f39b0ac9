// The about box's texts: the fixed lines, the build date and the processor
// line with the measured clock in MHz.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kAboutLogo = "OVRIN";
inline constexpr const char* kAboutVersion = "Version 0.280E beta 3";
inline constexpr const char* kAboutUrl = "https://ovrin.example";

std::string AboutCopyrights();
// "Last edition: " and the build's date and time in the compiler's forms.
std::string AboutEditionLine();

// The clock in MHz in the general floating-point form: at most 15
// significant digits, no trailing zeros, the given decimal separator.
std::string ClockMHzText(uint64_t hz, std::string_view decimalSeparator);
// "Detected CPU: <name> at <MHz> MHz".
std::string AboutCpuLine(std::string_view cpuName, uint64_t hz, std::string_view decimalSeparator);
