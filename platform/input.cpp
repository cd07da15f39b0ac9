#include "platform/input.h"

#include <algorithm>

namespace platform {

namespace {

// Extended keys: evdev code -> scan code with the E0 prefix folded into bit 7.
struct ExtendedKey {
  uint16_t evdev;
  uint8_t scan;
};
constexpr ExtendedKey kExtendedKeys[] = {
    {96, 0x9C},   // keypad Enter
    {97, 0x9D},   // right Control
    {98, 0xB5},   // keypad /
    {99, 0xB7},   // Print Screen
    {100, 0xB8},  // right Alt
    {102, 0xC7},  // Home
    {103, 0xC8},  // Up
    {104, 0xC9},  // Page Up
    {105, 0xCB},  // Left
    {106, 0xCD},  // Right
    {107, 0xCF},  // End
    {108, 0xD0},  // Down
    {109, 0xD1},  // Page Down
    {110, 0xD2},  // Insert
    {111, 0xD3},  // Delete
    {119, 0xC5},  // Pause
    {125, 0xDB},  // left Meta
    {126, 0xDC},  // right Meta
    {127, 0xDD},  // Menu
};

constexpr uint8_t kRightShift = 0x36;
constexpr uint8_t kLeftAlt = 0x38;
constexpr uint8_t kRightAlt = 0xB8;

enum class Shift : uint8_t { Any, With, Without };  // the right Shift key

struct KeyMapping {
  uint8_t scan;
  uint8_t row;  // 0 = A15 ... 7 = A8
  uint8_t bit;
  Shift shift;
};

// Which PC keys press which Spectrum keys. The right Shift key is SYMBOL
// SHIFT and the left Shift key CAPS SHIFT; punctuation gives SYMBOL SHIFT
// and the key that carries the symbol, a different key for several of them
// while the right Shift key is held (the symbol on the PC key's upper half).
constexpr KeyMapping kKeyMap[] = {
    // A15: SPACE, SYMBOL SHIFT, M, N, B
    {0x39, 0, 0, Shift::Any},
    {0x36, 0, 1, Shift::Any}, {0x0C, 0, 1, Shift::Any}, {0x0D, 0, 1, Shift::Any},
    {0x1A, 0, 1, Shift::Any}, {0x1B, 0, 1, Shift::Any}, {0x27, 0, 1, Shift::Any},
    {0x28, 0, 1, Shift::Any}, {0x33, 0, 1, Shift::Any}, {0x34, 0, 1, Shift::Any},
    {0x35, 0, 1, Shift::Any}, {0x37, 0, 1, Shift::Any}, {0x3A, 0, 1, Shift::Any},
    {0x4A, 0, 1, Shift::Any}, {0x4E, 0, 1, Shift::Any}, {0xB5, 0, 1, Shift::Any},
    {0x32, 0, 2, Shift::Any}, {0x34, 0, 2, Shift::Without},
    {0x31, 0, 3, Shift::Any}, {0x33, 0, 3, Shift::Without},
    {0x30, 0, 4, Shift::Any}, {0x37, 0, 4, Shift::Any},
    // A14: ENTER, L, K, J, H (and F1 on bit 5)
    {0x1C, 1, 0, Shift::Any},
    {0x26, 1, 1, Shift::Any}, {0x0D, 1, 1, Shift::Without},
    {0x25, 1, 2, Shift::Any}, {0x0D, 1, 2, Shift::With}, {0x4E, 1, 2, Shift::Any},
    {0x24, 1, 3, Shift::Any}, {0x0C, 1, 3, Shift::Without}, {0x4A, 1, 3, Shift::Any},
    {0x23, 1, 4, Shift::Any},
    {0x3B, 1, 5, Shift::Any},
    // A13: P, O, I, U, Y
    {0x19, 2, 0, Shift::Any}, {0x28, 2, 0, Shift::With},
    {0x18, 2, 1, Shift::Any}, {0x27, 2, 1, Shift::Without},
    {0x17, 2, 2, Shift::Any}, {0x0F, 2, 2, Shift::Any},
    {0x16, 2, 3, Shift::Any}, {0x1B, 2, 3, Shift::Without},
    {0x15, 2, 4, Shift::Any}, {0x1A, 2, 4, Shift::Without},
    // A12: 0, 9, 8, 7, 6
    {0x0B, 3, 0, Shift::Any}, {0x0E, 3, 0, Shift::Any}, {0x0C, 3, 0, Shift::With},
    {0x0A, 3, 1, Shift::Any},
    {0x09, 3, 2, Shift::Any}, {0xCD, 3, 2, Shift::Any},
    {0x08, 3, 3, Shift::Any}, {0xC8, 3, 3, Shift::Any}, {0x28, 3, 3, Shift::Without},
    {0x07, 3, 4, Shift::Any}, {0xD0, 3, 4, Shift::Any},
    // A11: 1, 2, 3, 4, 5
    {0x02, 4, 0, Shift::Any}, {0x01, 4, 0, Shift::Any},
    {0x03, 4, 1, Shift::Any},
    {0x04, 4, 2, Shift::Any},
    {0x05, 4, 3, Shift::Any},
    {0x06, 4, 4, Shift::Any}, {0xCB, 4, 4, Shift::Any},
    // A10: Q, W, E, R, T
    {0x10, 5, 0, Shift::Any},
    {0x11, 5, 1, Shift::Any},
    {0x12, 5, 2, Shift::Any},
    {0x13, 5, 3, Shift::Any}, {0x33, 5, 3, Shift::With},
    {0x14, 5, 4, Shift::Any}, {0x34, 5, 4, Shift::With},
    // A9: A, S, D, F, G
    {0x1E, 6, 0, Shift::Any},
    {0x1F, 6, 1, Shift::Any},
    {0x20, 6, 2, Shift::Any},
    {0x21, 6, 3, Shift::Any}, {0x1A, 6, 3, Shift::With},
    {0x22, 6, 4, Shift::Any}, {0x1B, 6, 4, Shift::With},
    // A8: CAPS SHIFT, Z, X, C, V
    {0x2A, 7, 0, Shift::Any}, {0x01, 7, 0, Shift::Any}, {0x0E, 7, 0, Shift::Any},
    {0x0F, 7, 0, Shift::Any}, {0x3A, 7, 0, Shift::Any}, {0xC8, 7, 0, Shift::Any},
    {0xCB, 7, 0, Shift::Any}, {0xCD, 7, 0, Shift::Any}, {0xD0, 7, 0, Shift::Any},
    {0x2C, 7, 1, Shift::Any}, {0x27, 7, 1, Shift::With},
    {0x2D, 7, 2, Shift::Any},
    {0x2E, 7, 3, Shift::Any}, {0x35, 7, 3, Shift::With},
    {0x2F, 7, 4, Shift::Any}, {0x35, 7, 4, Shift::Without}, {0xB5, 7, 4, Shift::Any},
};

// Keypad as Kempston joystick: bit 0 right, 1 left, 2 down, 3 up, 4 fire.
struct JoystickMapping {
  uint8_t scan;
  uint8_t bits;
};
constexpr JoystickMapping kKeypadMap[] = {
    {0x4C, 0x10}, {0x52, 0x10},             // 5, 0: fire
    {0x48, 0x08}, {0x47, 0x0A}, {0x49, 0x09},  // 8 up, 7 up-left, 9 up-right
    {0x50, 0x04}, {0x4F, 0x06}, {0x51, 0x05},  // 2 down, 1 down-left, 3 down-right
    {0x4B, 0x02}, {0x4D, 0x01},             // 4 left, 6 right
};

inline bool Down(const KeyState& keys, uint8_t scan) { return (keys[scan] & 0x80) != 0; }

}  // namespace

uint8_t ScanCodeFromEvdev(uint32_t evdev) {
  // The first 88 evdev codes are the set-1 scan codes themselves.
  if (evdev >= 1 && evdev <= 88) return static_cast<uint8_t>(evdev);
  for (const auto& k : kExtendedKeys)
    if (k.evdev == evdev) return k.scan;
  return 0;
}

uint8_t ScanCodeFromNative(uint32_t native) {
  if (native < 8) return 0;
  return ScanCodeFromEvdev(native - 8);
}

void ComputeKeyboardRows(const KeyState& keys, uint8_t rows[kKeyboardRowCount]) {
  uint8_t pressed[kKeyboardRowCount] = {};
  const bool right_shift = Down(keys, kRightShift);
  for (const auto& m : kKeyMap) {
    if (!Down(keys, m.scan)) continue;
    if (m.shift == Shift::With && !right_shift) continue;
    if (m.shift == Shift::Without && right_shift) continue;
    pressed[m.row] |= static_cast<uint8_t>(1u << m.bit);
  }
  for (int i = 0; i < kKeyboardRowCount; ++i) rows[i] = static_cast<uint8_t>(0xFF & ~pressed[i]);
}

bool AltHeld(const KeyState& keys) { return Down(keys, kLeftAlt) || Down(keys, kRightAlt); }

uint8_t ComputeKeypadJoystick(const KeyState& keys) {
  uint8_t joystick = 0;
  for (const auto& m : kKeypadMap)
    if (Down(keys, m.scan)) joystick |= m.bits;
  return joystick;
}

void ApplyMouse(MouseBytes& b, int32_t dx, int32_t dy, uint8_t buttons, bool swap) {
  b.kempston_x = static_cast<uint8_t>(b.kempston_x + dx);
  b.kempston_y = static_cast<uint8_t>(b.kempston_y - dy);  // the emulated mouse counts up as positive

  const bool left = (buttons & kMouseLeft) != 0;
  const bool right = (buttons & kMouseRight) != 0;
  const bool middle = (buttons & kMouseMiddle) != 0;
  const bool first = swap ? left : right;   // port bit 0 / AY bit 5
  const bool second = swap ? right : left;  // port bit 1 / AY bit 4
  uint8_t kb = 0xFF;
  if (first) kb &= ~0x01;
  if (second) kb &= ~0x02;
  if (middle) kb &= ~0x04;
  b.kempston_buttons = kb;

  // The AY mouse holds a position nibble 1..15 per axis, 8 being the middle.
  auto axis = [](uint8_t byte, int64_t delta) {
    int64_t v = 8 - (byte & 0x0F);
    v = std::clamp<int64_t>(v - delta, -7, 7);
    return static_cast<uint8_t>(8 - v);
  };
  uint8_t ax = axis(b.ay_x, dx);
  uint8_t ay = axis(b.ay_y, -static_cast<int64_t>(dy));
  const uint8_t button_bits = static_cast<uint8_t>((first ? 0 : 0x20) | (second ? 0 : 0x10));
  b.ay_x = static_cast<uint8_t>((ax | button_bits) & 0x3F);
  b.ay_y = static_cast<uint8_t>((ay | button_bits) & 0x3F);
}

void InputState::ReleaseAll() {
  for (auto& k : keys_) k.store(0, std::memory_order_relaxed);
  buttons_.store(0, std::memory_order_relaxed);
}

KeyState InputState::SnapshotKeys() const {
  KeyState s;
  for (size_t i = 0; i < s.size(); ++i) s[i] = keys_[i].load(std::memory_order_relaxed);
  return s;
}

void InputState::AddMouseMotion(int32_t dx, int32_t dy) {
  dx_.fetch_add(dx, std::memory_order_relaxed);
  dy_.fetch_add(dy, std::memory_order_relaxed);
}

void InputState::SetMouseButton(MouseButton button, bool down) {
  if (down)
    buttons_.fetch_or(button, std::memory_order_relaxed);
  else
    buttons_.fetch_and(static_cast<uint8_t>(~button), std::memory_order_relaxed);
}

void InputState::TakeMouseMotion(int32_t& dx, int32_t& dy) {
  dx = dx_.exchange(0, std::memory_order_relaxed);
  dy = dy_.exchange(0, std::memory_order_relaxed);
}

void InputDevices::PollKeyboard(uint8_t rows[kKeyboardRowCount]) {
  if (!ready()) return;
  keys_ = state_->SnapshotKeys();
  if (AltHeld(keys_)) return;
  ComputeKeyboardRows(keys_, rows);
}

void InputDevices::PollKeypadJoystick(uint8_t& joystick) {
  if (!ready()) return;
  joystick = ComputeKeypadJoystick(keys_);
}

void InputDevices::PollMouse(MouseBytes& bytes, bool swap_buttons, bool display_busy) {
  if (display_busy || !ready()) return;
  int32_t dx = 0, dy = 0;
  state_->TakeMouseMotion(dx, dy);
  ApplyMouse(bytes, dx, dy, state_->MouseButtons(), swap_buttons);
}

}  // namespace platform
