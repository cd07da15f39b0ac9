// What the three state windows do apart from drawing: each refresh reads one
// copy of the machine's state (ReadState) and turns it into texts; the
// machine window's inputs change the machine through its stop-act-restart
// operations. No toolkit: the questions go through the platform dialogs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "machine/hardware.h"
#include "shell/state_texts.h"

inline constexpr const char* kFrameTickCaption = "Current tick setting";
inline constexpr const char* kFrameTickPrompt = "Enter tick number:";

// The frame tick input's verdict on an entry: the tick, or the message that
// refuses it (the question is then asked again).
std::variant<uint32_t, std::string> CheckFrameTickEntry(const std::string& text,
                                                        uint32_t frameLength);

struct TLatchInput {
  const char* label;    // the caption label beside the box
  const char* caption;  // the input's caption and prompt
  const char* prompt;
  void (TZXHardware::*change)(uint8_t);
};
extern const std::array<TLatchInput, kLatchCount> kLatchInputs;

// The machine state window's refresh and inputs.
class THardwareStateMonitor {
 public:
  explicit THardwareStateMonitor(TZXHardware& machine) : machine_(machine) {}

  // Reads the machine; false (texts unchanged) when no new copy is there.
  bool Refresh();
  const THardwareStateTexts& Texts() const { return texts_; }

  // The "Tick:" box counts from the GlobalTact of the last refresh on.
  void ResetTick();
  // Asks for a new frame tick and sets it with the processor stopped. True
  // when it was set. Both inputs ask nothing before a state has been read.
  bool InputFrameTick();
  // Asks for a new latch value and writes it with the processor stopped.
  bool InputLatch(TLatch latch);

  uint64_t TickReference = 0;

 private:
  TZXHardware& machine_;
  bool haveState_ = false;
  TMachineState state_;
  THardwareStateTexts texts_;
};

// The sound chip window's refresh; false (texts unchanged) when no new copy.
bool ReadAyStateTexts(TZXHardware& machine, std::array<std::string, kAyBoxes>& texts);

// The floppy window's refresh: the controller's registers read at the time
// of the machine's copy; false (texts unchanged) when no copy is there.
bool ReadFloppyStateTexts(TZXHardware& machine, TFloppyStateTexts& texts);
