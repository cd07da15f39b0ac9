#include "shell/state_monitors.h"

#include "platform/dialogs.h"
#include "shell/number_input.h"
#include "shell/settings.h"

const std::array<TLatchInput, kLatchCount> kLatchInputs = {{
    {"Port #7FFD:", "Port #7FFD change", "Enter new value:", &TZXHardware::ChangePort7FFD},
    {"Port #DFFD:", "Port #DFFD change", "Enter new value:", &TZXHardware::ChangePortDFFD},
    {"Port #1FFD:", "Port #1FFD change", "Enter new value", &TZXHardware::ChangePort1FFD},
    {"Port #FDFD:", "Port #FDFD change", "Enter new value", &TZXHardware::ChangePortFDFD},
}};

std::variant<uint32_t, std::string> CheckFrameTickEntry(const std::string& text,
                                                        uint32_t frameLength) {
  // The plain integer conversion: decimal or "$"/"0x" hexadecimal; the
  // number input's "#" form is not one of them.
  std::string entry = text;
  const size_t first = entry.find_first_not_of(" \t");
  std::optional<int32_t> value;
  if (first != std::string::npos && entry[first] != '#') value = ConvertNumber(entry);
  if (!value) return std::string(kNumberRequiredMessage);
  // Compared unsigned, so a negative entry is out of range too.
  if (static_cast<uint32_t>(*value) >= frameLength)
    return "The specified tick is out of count module (" + std::to_string(frameLength) + ")!";
  return static_cast<uint32_t>(*value);
}

bool THardwareStateMonitor::Refresh() {
  if (!machine_.ReadState(state_)) return false;
  haveState_ = true;
  texts_ = HardwareStateTexts(state_, TickReference);
  return true;
}

void THardwareStateMonitor::ResetTick() {
  TickReference = state_.GlobalTact;
  texts_.Tick = GroupDigits(0);
}

bool THardwareStateMonitor::InputFrameTick() {
  for (;;) {
    // Every question, the first and each after a refused entry, proposes
    // the tick as it is now rather than what the user typed.
    Refresh();
    if (!haveState_) return false;  // nothing shown yet, so nothing to change
    std::string text = std::to_string(state_.FrameTact);
    if (!platform::CurrentDialogs().InputQuery(kFrameTickCaption, kFrameTickPrompt, text))
      return false;
    const auto verdict = CheckFrameTickEntry(text, state_.FrameLength);
    if (const auto* message = std::get_if<std::string>(&verdict)) {
      platform::ShowMessage(kApplicationTitle, *message);
      continue;
    }
    machine_.ChangeFrameTact(std::get<uint32_t>(verdict));
    return true;
  }
}

bool THardwareStateMonitor::InputLatch(TLatch latch) {
  const TLatchInput& input = kLatchInputs[latch];
  Refresh();
  if (!haveState_) return false;
  int32_t value = LatchValue(state_, latch);
  if (!InputNumber(input.caption, input.prompt, value, "#%02X", 0, 255)) return false;
  (machine_.*input.change)(static_cast<uint8_t>(value));
  return true;
}

bool ReadAyStateTexts(TZXHardware& machine, std::array<std::string, kAyBoxes>& texts) {
  TMachineState state;
  if (!machine.ReadState(state)) return false;
  texts = AyStateTexts(state);
  return true;
}

bool ReadFloppyStateTexts(TZXHardware& machine, TFloppyStateTexts& texts) {
  TMachineState state;
  if (!machine.ReadState(state)) return false;
  texts = FloppyStateTexts(machine.FloppyController.ReadForStateWindow(state.GlobalTact));
  return true;
}
