// The machine's display and input seams, served by the platform layers: the
// display hand-over to the GUI and the key array and mouse accumulator that
// the GUI fills. No toolkit here; the main window plugs the GUI ends in.
#pragma once

#include <functional>

#include "machine/devices.h"
#include "machine/hardware.h"
#include "platform/display.h"
#include "platform/input.h"

// The 32 colours of the picture: interface colours 0-15, Spectrum colours 16-31.
platform::Palette MachinePalette(const TZXHardware& machine);

class TDisplayDevice final : public IDisplayOutput {
 public:
  explicit TDisplayDevice(platform::DisplayOutput& output) : output_(&output) {}

  void PresentFrame(TZXHardware& machine) override;
  void SetScreenMode(TZXHardware& machine, int mode) override;
  void LeaveFullScreen(TZXHardware& machine) override;

  // GUI thread: what leaving full screen does (the main window's).
  void set_leave_full_screen(std::function<void()> leave) { leave_full_screen_ = std::move(leave); }

 private:
  platform::DisplayOutput* output_;
  std::function<void()> leave_full_screen_;
};

class TInputDevice final : public IInputDevices {
 public:
  explicit TInputDevice(platform::InputDevices& devices) : devices_(&devices) {}

  void PollKeyboard(TZXHardware& machine) override;
  void PollKeypadJoystick(TZXHardware& machine) override;
  void PollMouse(TZXHardware& machine) override;

 private:
  platform::InputDevices* devices_;
};
