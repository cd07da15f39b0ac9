// Number input: the conversion of entries, the formats, and the dialog loop
// with its two refusals, through scripted input queries.
#include <gtest/gtest.h>

#include <cctype>
#include <utility>

#include "open_file_fakes.h"
#include "shell/number_input.h"

namespace {

using open_file_test::kAsShown;
using open_file_test::QueryDialogs;

struct Conversion {
  const char* entry;
  std::optional<int32_t> value;
};

class NumberConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(NumberConversion, Converts) {
  std::string text = GetParam().entry;
  EXPECT_EQ(ConvertNumber(text), GetParam().value) << '"' << GetParam().entry << '"';
}

// The entry spelt out in letters and digits: " #FF " is SpaceHashFFSpace.
std::string EntryName(const testing::TestParamInfo<Conversion>& info) {
  static const std::pair<char, const char*> kWords[] = {
      {' ', "Space"}, {'#', "Hash"}, {'$', "Dollar"}, {'-', "Minus"}, {'+', "Plus"}};
  std::string name;
  for (const char ch : std::string(info.param.entry)) {
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
    for (const auto& [sign, word] : kWords)
      if (ch == sign) name += word;
  }
  return name.empty() ? "Empty" : name;
}
void PrintTo(const Conversion& c, std::ostream* os) { *os << '"' << c.entry << '"'; }
INSTANTIATE_TEST_SUITE_P(
    Entries, NumberConversion,
    ::testing::Values(
        // Hexadecimal in every spelling.
        Conversion{"#ff", 255}, Conversion{" #FF ", 255}, Conversion{"$FF", 255}, Conversion{"0xFF", 255},
        Conversion{"0Xff", 255}, Conversion{"xFF", 255}, Conversion{"XfF", 255}, Conversion{"  $1f", 31},
        Conversion{"#7FFFFFFF", INT32_MAX}, Conversion{"#80000000", INT32_MIN},
        Conversion{"#FFFFFFFF", -1}, Conversion{"0x00000010", 16},
        // Decimal: leading zeros are no octal, a sign is allowed.
        Conversion{"255", 255}, Conversion{"010", 10}, Conversion{"  7", 7}, Conversion{"-1", -1},
        Conversion{"+12", 12}, Conversion{"2147483647", INT32_MAX}, Conversion{"-2147483648", INT32_MIN},
        // No number.
        Conversion{"", std::nullopt}, Conversion{"   ", std::nullopt}, Conversion{"#", std::nullopt},
        Conversion{"0x", std::nullopt}, Conversion{"$", std::nullopt}, Conversion{"255 ", std::nullopt},
        Conversion{"0x123456789", std::nullopt}, Conversion{"#000000001", std::nullopt},
        Conversion{"2147483648", std::nullopt}, Conversion{"-2147483649", std::nullopt},
        Conversion{"12a", std::nullopt}, Conversion{"-", std::nullopt}, Conversion{"-0x1", std::nullopt},
        Conversion{"$-1", std::nullopt}, Conversion{"# FF", std::nullopt}, Conversion{"1 2", std::nullopt},
        Conversion{"0x FF", std::nullopt}, Conversion{"#G", std::nullopt}),
    EntryName);

TEST(NumberInput, HashEntryIsRewrittenToItsHexForm) {
  std::string text = "  #100 ";
  EXPECT_EQ(ConvertNumber(text), 256);
  EXPECT_EQ(text, "0x100");
  std::string plain = " 0x100";
  ConvertNumber(plain);
  EXPECT_EQ(plain, " 0x100");
}

TEST(NumberInput, Formats) {
  EXPECT_EQ(FormatNumber("#%04X", 16384), "#4000");
  EXPECT_EQ(FormatNumber("#%04X", 65536), "#10000");
  EXPECT_EQ(FormatNumber("#%02X", 5), "#05");
  EXPECT_EQ(FormatNumber("#%02x", 171), "#ab");
  EXPECT_EQ(FormatNumber("%d", -12), "-12");
  EXPECT_EQ(FormatNumber("%5d|%-4d|%05d", -12), "  -12|-12 |-0012");
  EXPECT_EQ(FormatNumber("%X", -1), "FFFFFFFF");
  EXPECT_EQ(FormatNumber("100%% of %u", 7), "100% of 7");
  EXPECT_LE(FormatNumber("%999999d", 1).size(), 1024u);
}

TEST(NumberInput, RangeMessage) {
  EXPECT_EQ(RangeMessage(0, 255), "The number in the range 0 required...255 !");
}

// Each script: the entries typed in turn, what comes back, the messages
// shown and the texts the query showed.
struct DialogCase {
  const char* name;
  std::vector<std::optional<std::string>> entries;
  bool accepted;
  int32_t value;
  std::vector<std::string> messages;
  std::vector<std::string> shown;
};

TEST(NumberInput, DialogLoop) {
  const std::string range = "The number in the range 0 required...255 !";
  const std::string needed = kNumberRequiredMessage;
  const std::vector<DialogCase> cases = {
      {"ok as shown", {kAsShown}, true, 0x40, {}, {"#40"}},
      {"hex", {"#ff"}, true, 255, {}, {"#40"}},
      {"cancel", {std::nullopt}, false, 0x40, {}, {"#40"}},
      {"trailing blank then fixed", {"255 ", "255"}, true, 255, {needed}, {"#40", "255 "}},
      {"empty", {"", std::nullopt}, false, 0x40, {needed}, {"#40", ""}},
      {"#100 comes back as 0x100", {"#100", std::nullopt}, false, 0x40, {range}, {"#40", "0x100"}},
      {"256 comes back as typed", {"256", "1"}, true, 1, {range}, {"#40", "256"}},
      {"minus one", {"-1", std::nullopt}, false, 0x40, {range}, {"#40", "-1"}},
      {"all ones", {"#FFFFFFFF", "#00"}, true, 0, {range}, {"#40", "0xFFFFFFFF"}},
      {"nine digits", {"0x000000001", std::nullopt}, false, 0x40, {needed}, {"#40", "0x000000001"}},
      {"eight hex digits are a negative number", {"0xFFFFFFFF", std::nullopt}, false, 0x40, {range},
       {"#40", "0xFFFFFFFF"}},
      {"no sign before hex", {"-0x10", std::nullopt}, false, 0x40, {needed}, {"#40", "-0x10"}},
  };
  for (const DialogCase& c : cases) {
    QueryDialogs dialogs;
    platform::Dialogs* previous = platform::SetDialogs(&dialogs);
    dialogs.entries.assign(c.entries.begin(), c.entries.end());
    int32_t value = 0x40;
    EXPECT_EQ(InputNumber("Change memory byte", "Enter value:", value, "#%02X", 0, 255), c.accepted) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
    EXPECT_EQ(dialogs.Texts(), c.messages) << c.name;
    std::vector<std::string> shown;
    for (const auto& q : dialogs.queries) {
      shown.push_back(q.shown);
      EXPECT_EQ(q.caption, "Change memory byte");
      EXPECT_EQ(q.prompt, "Enter value:");
    }
    EXPECT_EQ(shown, c.shown) << c.name;
    for (const auto& m : dialogs.Messages()) EXPECT_EQ(m.caption, "OVRIN");
    platform::SetDialogs(previous);
  }
}

TEST(NumberInput, BoundsAreSignedAndInclusive) {
  QueryDialogs dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  dialogs.entries = {"-5", "-6"};
  int32_t value = 0;
  EXPECT_TRUE(InputNumber("c", "p", value, "%d", -5, 5));
  EXPECT_EQ(value, -5);
  dialogs.entries = {"-6", std::nullopt};
  EXPECT_FALSE(InputNumber("c", "p", value, "%d", -5, 5));
  EXPECT_EQ(dialogs.Texts().back(), "The number in the range -5 required...5 !");
  platform::SetDialogs(previous);
}

}  // namespace
