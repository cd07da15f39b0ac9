// The machine's seams to the devices that other parts of the program plug
// in: the picture output, the PC input devices, the tape player and the Beta
// disk controller. Each has a default (doing nothing, or for the disk ports
// the machine's own controller), so the machine runs headless and complete
// without any of them. Install a device before the processor is started (or
// with it stopped); the machine does not own it.
#pragma once

#include <cstdint>

class TZXHardware;

// Where finished pictures go. Both calls come from the thread that steps the
// processor (the run thread, or the GUI thread for single steps and for the
// screen timer while stopped), so neither may wait for the GUI thread.
class IDisplayOutput {
 public:
  virtual ~IDisplayOutput() = default;
  // A frame is complete: machine.FrameBuffer holds machine.ScreenWidth x
  // machine.PictureLines palette indices (FillPaletteEntries gives the
  // colours). Called with machine.DisplayBusy held; take a copy, do not
  // keep the pointer, and do not lock DisplayBusy again.
  virtual void PresentFrame(TZXHardware& machine) { (void)machine; }
  // The picture mode changed (0: 320 x 240, 1: 640 x 480); the machine's
  // picture fields already describe the new size. Called with DisplayBusy
  // held by whoever writes the Profi's #DFFD latch: the run thread for a
  // port write, the GUI thread (processor stopped) for resets and model
  // changes. Hand any window resize to the GUI thread without waiting.
  virtual void SetScreenMode(TZXHardware& machine, int mode) { (void)machine, (void)mode; }
  // A breakpoint was hit while in full screen: return to window mode so the
  // debugger window can show. GUI thread.
  virtual void LeaveFullScreen(TZXHardware& machine) { (void)machine; }
};

// Polled at every frame end, in this order, before the picture is finished,
// on the thread that steps the processor. They update KeyboardRows,
// KempstonJoystick and the Kempston and AY mouse bytes. The machine skips
// the mouse poll for a frame while another display routine holds
// DisplayBusy.
class IInputDevices {
 public:
  virtual ~IInputDevices() = default;
  virtual void PollKeyboard(TZXHardware& machine) { (void)machine; }
  virtual void PollKeypadJoystick(TZXHardware& machine) { (void)machine; }
  virtual void PollMouse(TZXHardware& machine) { (void)machine; }
};

// The tape player.
class ITapeDeck {
 public:
  virtual ~ITapeDeck() = default;
  // The ear level (0 or #40) at machine.GlobalTact; asked on every keyboard
  // port read while TapeEmulationEnabled is set. The default is a silent
  // input.
  virtual uint8_t TapeGetEarBit(TZXHardware& machine) { return (void)machine, 0; }
  // The processor stands at #056B of the 48 ROM (the byte loader's entry)
  // with the load trap switched on.
  virtual void TapeTrapLoad(TZXHardware& machine) { (void)machine; }
};

// The Beta disk controller's registers, addressed by their port's low byte:
// #1F command/status, #3F track, #5F sector, #7F data, #FF system latch.
// The machine decides per model when the ports reach the controller. Its own
// FloppyController answers unless another is installed (tests do).
class IBetaDiskPorts {
 public:
  virtual ~IBetaDiskPorts() = default;
  virtual uint8_t ReadRegister(uint8_t port) { return (void)port, 0xFF; }
  virtual void WriteRegister(uint8_t port, uint8_t value) { (void)port, (void)value; }
};
