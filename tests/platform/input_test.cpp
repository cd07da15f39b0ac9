#include "platform/input.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

using platform::KeyState;

KeyState Keys(std::initializer_list<uint8_t> down) {
  KeyState k{};
  for (uint8_t c : down) k[c] = 0x80;
  return k;
}

// The Spectrum keys a set of rows holds down, as "ROW:bit" names.
std::string Pressed(const uint8_t rows[8]) {
  static const char* names[8][6] = {
      {"SPACE", "SS", "M", "N", "B", ""},  {"ENTER", "L", "K", "J", "H", "F1"},
      {"P", "O", "I", "U", "Y", ""},       {"0", "9", "8", "7", "6", ""},
      {"1", "2", "3", "4", "5", ""},       {"Q", "W", "E", "R", "T", ""},
      {"A", "S", "D", "F", "G", ""},       {"CS", "Z", "X", "C", "V", ""}};
  std::string out;
  for (int r = 0; r < 8; ++r)
    for (int b = 0; b < 6; ++b)
      if (!(rows[r] & (1 << b)) && names[r][b][0]) out += std::string(out.empty() ? "" : "+") + names[r][b];
  return out;
}

TEST(KeyMap, PcKeysPressTheSpectrumKeys) {
  constexpr uint8_t kRShift = 0x36, kLShift = 0x2A;
  struct Case {
    std::initializer_list<uint8_t> keys;
    const char* spectrum;
  };
  const Case cases[] = {
      {{}, ""},
      {{0x19}, "P"},
      {{0x39}, "SPACE"},
      {{0x1C}, "ENTER"},
      {{0x33}, "SS+N"},                   // comma
      {{0x33, kRShift}, "SS+R"},          // comma with right Shift: <
      {{0x33, kLShift}, "SS+N+CS"},       // left Shift + comma
      {{0x34}, "SS+M"},                   // full stop
      {{0x34, kRShift}, "SS+T"},          // >
      {{0x0D}, "SS+L"},                   // =
      {{0x0D, kRShift}, "SS+K"},          // +
      {{0x4E}, "SS+K"},                   // keypad +
      {{0x4A}, "SS+J"},                   // keypad -
      {{0x37}, "SS+B"},                   // keypad *
      {{0xB5}, "SS+V"},                   // keypad /
      {{0x0C}, "SS+J"},                   // minus
      {{0x0C, kRShift}, "SS+0"},          // _
      {{0x28}, "SS+7"},                   // apostrophe
      {{0x28, kRShift}, "SS+P"},          // "
      {{0x27}, "SS+O"},                   // ;
      {{0x27, kRShift}, "SS+Z"},          // :
      {{0x35, kRShift}, "SS+C"},          // ?
      {{0x1A, kRShift}, "SS+F"},          // {
      {{0x0E}, "0+CS"},                   // Backspace: delete
      {{0x01}, "1+CS"},                   // Esc: edit
      {{0x0F}, "I+CS"},                   // Tab: extend mode
      {{0x3A}, "SS+CS"},                  // Caps Lock
      {{0xC8}, "7+CS"}, {{0xD0}, "6+CS"}, {{0xCB}, "5+CS"}, {{0xCD}, "8+CS"},
      {{0x3B}, "F1"},
      {{0x1D}, ""},                       // Control does nothing
      {{0x4C, 0x52}, ""},                 // keypad fire keys are joystick only
  };
  for (const Case& c : cases) {
    uint8_t rows[8];
    platform::ComputeKeyboardRows(Keys(c.keys), rows);
    EXPECT_EQ(Pressed(rows), c.spectrum);
    for (int r = 0; r < 8; ++r) EXPECT_EQ(rows[r] & 0xC0, 0xC0);
  }
}

TEST(KeyMap, F1ClearsBit5OfTheA14HalfRowOnly) {
  uint8_t rows[8];
  platform::ComputeKeyboardRows(Keys({0x3B}), rows);
  EXPECT_EQ(rows[1], 0xDF);
  for (int r : {0, 2, 3, 4, 5, 6, 7}) EXPECT_EQ(rows[r], 0xFF);
}

TEST(KeyMap, KeypadJoystick) {
  struct Case {
    std::initializer_list<uint8_t> keys;
    uint8_t joystick;
  };
  for (const Case& c : {Case{{0x47}, 0x0A}, Case{{0x4C}, 0x10}, Case{{0x52}, 0x10}, Case{{0x48}, 0x08},
                        Case{{0x50}, 0x04}, Case{{0x4B}, 0x02}, Case{{0x4D}, 0x01}, Case{{0x51}, 0x05},
                        Case{{0x49, 0x4F}, 0x0F}, Case{{0x19}, 0x00}})
    EXPECT_EQ(platform::ComputeKeypadJoystick(Keys(c.keys)), c.joystick);
}

TEST(KeyMap, NativeScanCodes) {
  // X11/Wayland: evdev + 8. evdev 1..88 are the scan codes themselves.
  EXPECT_EQ(platform::ScanCodeFromNative(9), 0x01);    // Esc
  EXPECT_EQ(platform::ScanCodeFromNative(33), 0x19);   // P
  EXPECT_EQ(platform::ScanCodeFromNative(96), 0x58);   // F12
  EXPECT_EQ(platform::ScanCodeFromNative(111), 0xC8);  // Up
  EXPECT_EQ(platform::ScanCodeFromNative(116), 0xD0);  // Down
  EXPECT_EQ(platform::ScanCodeFromNative(113), 0xCB);  // Left
  EXPECT_EQ(platform::ScanCodeFromNative(114), 0xCD);  // Right
  EXPECT_EQ(platform::ScanCodeFromNative(106), 0xB5);  // keypad /
  EXPECT_EQ(platform::ScanCodeFromNative(108), 0xB8);  // right Alt
  EXPECT_EQ(platform::ScanCodeFromNative(0), 0);
  EXPECT_EQ(platform::ScanCodeFromNative(8), 0);
  EXPECT_EQ(platform::ScanCodeFromNative(250), 0);
}

TEST(InputDevices, AltFreezesTheRowsButNotTheJoystick) {
  platform::InputState state;
  platform::InputDevices dev(state);
  uint8_t rows[8];
  std::fill(rows, rows + 8, 0xFF);
  uint8_t joy = 0;
  state.KeyDown(0x19);  // P
  dev.PollKeyboard(rows);
  EXPECT_EQ(rows[2], 0xFF) << "no devices yet: nothing changes";
  dev.Create();
  dev.PollKeyboard(rows);
  EXPECT_EQ(rows[2], 0xFE);
  state.KeyDown(0x38);  // Alt
  state.KeyUp(0x19);
  state.KeyDown(0x47);  // keypad 7
  dev.PollKeyboard(rows);
  dev.PollKeypadJoystick(joy);
  EXPECT_EQ(rows[2], 0xFE);
  EXPECT_EQ(joy, 0x0A);
  state.ReleaseAll();  // focus lost
  dev.PollKeyboard(rows);
  dev.PollKeypadJoystick(joy);
  EXPECT_EQ(rows[2], 0xFF);
  EXPECT_EQ(joy, 0);
}

TEST(Mouse, KempstonAndAyMice) {
  using platform::MouseBytes;
  struct Case {
    const char* what;
    MouseBytes start;
    int dx, dy;
    uint8_t buttons;
    bool swap;
    uint8_t kx, ky, kb, ayx, ayy;
  };
  const Case cases[] = {
      {"right and up", {0x80, 0x80, 0xFF, 8, 8}, 3, -2, 0, false, 0x83, 0x82, 0xFF, 0x3B, 0x3A},
      {"wraps at 255", {0xFE, 0x01, 0xFF, 8, 8}, 3, 3, 0, false, 0x01, 0xFE, 0xFF, 0x3B, 0x35},
      {"AY nibble stops at 15 and 1", {0, 0, 0xFF, 14, 2}, 100, 100, 0, false, 100, 156, 0xFF, 0x3F, 0x31},
      {"left button", {0x80, 0x80, 0xFF, 8, 8}, 0, 0, platform::kMouseLeft, false, 0x80, 0x80, 0xFD, 0x28, 0x28},
      {"right button", {0x80, 0x80, 0xFF, 8, 8}, 0, 0, platform::kMouseRight, false, 0x80, 0x80, 0xFE, 0x18, 0x18},
      {"swapped left", {0x80, 0x80, 0xFF, 8, 8}, 0, 0, platform::kMouseLeft, true, 0x80, 0x80, 0xFE, 0x18, 0x18},
      {"middle", {0x80, 0x80, 0xFF, 8, 8}, 0, 0, platform::kMouseMiddle, false, 0x80, 0x80, 0xFB, 0x38, 0x38},
  };
  for (const Case& c : cases) {
    MouseBytes b = c.start;
    platform::ApplyMouse(b, c.dx, c.dy, c.buttons, c.swap);
    EXPECT_EQ(b.kempston_x, c.kx) << c.what;
    EXPECT_EQ(b.kempston_y, c.ky) << c.what;
    EXPECT_EQ(b.kempston_buttons, c.kb) << c.what;
    EXPECT_EQ(b.ay_x, c.ayx) << c.what;
    EXPECT_EQ(b.ay_y, c.ayy) << c.what;
  }
}

TEST(Mouse, MotionSkippedWhileDisplayBusyIsPickedUpByTheNextPoll) {
  platform::InputState state;
  platform::InputDevices dev(state);
  dev.Create();
  platform::MouseBytes b;
  state.AddMouseMotion(5, 0);
  dev.PollMouse(b, false, /*display_busy=*/true);
  EXPECT_EQ(b.kempston_x, 0x80);
  state.AddMouseMotion(2, 0);
  dev.PollMouse(b, false);
  EXPECT_EQ(b.kempston_x, 0x87);
  dev.PollMouse(b, false);
  EXPECT_EQ(b.kempston_x, 0x87);
}

}  // namespace
