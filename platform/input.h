// Keyboard, keypad and mouse without a toolkit. The GUI thread records key
// presses and releases by scan code and accumulates mouse motion; the run
// thread polls them once per frame and turns them into the bytes the
// emulated ports read: the eight keyboard half-rows, the Kempston joystick,
// the Kempston mouse and the AY mouse.
//
// Scan codes are those of the PC keyboard's set 1 as the emulator has always
// indexed them (extended keys with bit 7 set: Up 0xC8, keypad / 0xB5, ...).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace platform {

// The scan code of a key from the native code the window system reports
// (X11 and Wayland: evdev code + 8). 0 for keys we do not know.
uint8_t ScanCodeFromNative(uint32_t native_scan_code);
uint8_t ScanCodeFromEvdev(uint32_t evdev_code);

// Half-row index of each address line: 0 = A15 (#7FFE) ... 7 = A8 (#FEFE).
inline constexpr int kKeyboardRowCount = 8;
using KeyState = std::array<uint8_t, 256>;  // bit 7 set = key down

// The eight half-row bytes for a key state (0 = pressed, bits 5-7 set
// except bit 5 of A14 while F1 is held). The caller skips the update while
// an Alt key is held (AltHeld).
void ComputeKeyboardRows(const KeyState& keys, uint8_t rows[kKeyboardRowCount]);
bool AltHeld(const KeyState& keys);
// The Kempston joystick byte for the keypad keys (active high).
uint8_t ComputeKeypadJoystick(const KeyState& keys);

// The bytes of both mice.
struct MouseBytes {
  uint8_t kempston_x = 0x80;
  uint8_t kempston_y = 0x80;
  uint8_t kempston_buttons = 0xFF;  // active low: bit 0 right, 1 left, 2 middle
  uint8_t ay_x = 0;
  uint8_t ay_y = 0;
};
enum MouseButton : uint8_t { kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 4 };
// Applies one poll's relative motion (dy positive = down, as the window
// system counts) and the buttons held now.
void ApplyMouse(MouseBytes& bytes, int32_t dx, int32_t dy, uint8_t buttons, bool swap_buttons);

// What the GUI thread records and the run thread polls. All members are
// atomics: written on one thread, read on another, without locks.
class InputState {
 public:
  void KeyDown(uint8_t code) { if (code) keys_[code].store(0x80, std::memory_order_relaxed); }
  void KeyUp(uint8_t code) { if (code) keys_[code].store(0, std::memory_order_relaxed); }
  // Focus lost: nothing stays held.
  void ReleaseAll();
  bool IsDown(uint8_t code) const { return keys_[code].load(std::memory_order_relaxed) != 0; }
  KeyState SnapshotKeys() const;

  void AddMouseMotion(int32_t dx, int32_t dy);
  void SetMouseButton(MouseButton button, bool down);
  // Takes the motion accumulated since the last take.
  void TakeMouseMotion(int32_t& dx, int32_t& dy);
  uint8_t MouseButtons() const { return buttons_.load(std::memory_order_relaxed); }

 private:
  std::array<std::atomic<uint8_t>, 256> keys_{};
  std::atomic<int32_t> dx_{0};
  std::atomic<int32_t> dy_{0};
  std::atomic<uint8_t> buttons_{0};
};

// The input devices of the machine: the polls of the frame end.
class InputDevices {
 public:
  explicit InputDevices(InputState& state) : state_(&state) {}

  // Without created devices the polls change nothing.
  void Create() { ready_.store(true); }
  void Release() { ready_.store(false); }
  bool ready() const { return ready_.load(); }

  void PollKeyboard(uint8_t rows[kKeyboardRowCount]);
  void PollKeypadJoystick(uint8_t& joystick);
  // Skipped while the display is busy (the motion stays for the next poll).
  void PollMouse(MouseBytes& bytes, bool swap_buttons, bool display_busy = false);

  const KeyState& last_keys() const { return keys_; }

 private:
  InputState* state_;
  std::atomic<bool> ready_{false};
  KeyState keys_{};
};

}  // namespace platform
