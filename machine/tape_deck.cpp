#include "machine/tape_deck.h"

#include <new>

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "platform/files.h"

uint8_t TTapeDeck::TapeGetEarBit(TZXHardware& machine) {
  return player_.TapeGetEarBit(machine.GlobalTact);
}

void TTapeDeck::TapeTrapLoad(TZXHardware& machine) {
  TZ80State& cpu = machine.Cpu();
  tape::TrapRegisters regs{cpu.PC, cpu.DE, cpu.IX, cpu.BC, cpu.HL};
  if (!player_.TapeTrapLoad(regs, TZXHardware::MemoryWrite, &machine)) return;
  cpu.PC = regs.PC;
  cpu.DE = regs.DE;
  cpu.IX = regs.IX;
  cpu.BC = regs.BC;
  cpu.HL = regs.HL;
}

bool TTapeDeck::OpenTapeFile(TZXHardware& machine, const std::string& fileName) {
  tape::TapeReadResult result;
  try {
    platform::InputFile input(fileName);
    if (input.ok() && input.size() > tape::kLargestTapeFile) {
      platform::ShowMessage(tape::kTapeCaption, tape::kTapeCorrupt);
      return false;
    }
    auto file = input.ReadAll();
    if (!file) {
      platform::ShowMessage(tape::kTapeCaption, "File open error!");
      return false;
    }
    result = tape::ReadTapeImage(std::move(*file));
  } catch (const std::bad_alloc&) {
    platform::ShowMessage(tape::kTapeCaption, "File open error!");
    return false;
  }
  if (!result.ok()) {
    platform::ShowMessage(tape::kTapeCaption, result.error);
    return false;
  }
  machine.WithCpuStopped([&] {
    player_.Open(std::move(*result.image), machine.GlobalTact);
    machine.SetTapeDeck(this);
  });
  return true;
}
