#include "shell/memory_files.h"

#include <fstream>
#include <vector>

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "shell/open_file.h"
#include "shell/settings.h"

void PatchVisibleMemory(TZXHardware& m, uint16_t address, uint8_t value) {
  if (address >= 0x4000 || (!m.ExtRomActive && m.RamAtZero))
    TZXHardware::MemoryWrite(address, value, &m);
  else if (m.ExtRomActive)
    m.ExtRomSlot[address] = value;
  else if (m.TrdosActive)
    m.TrdosRomSlot[address] = value;
  else
    m.RomWindow()[address] = value;
}

std::optional<uint32_t> LoadMemoryBlock(IFileMachine& machine, const std::string& fileName,
                                        uint16_t start) {
  const uint32_t room = 65536u - start;
  std::vector<uint8_t> buffer(room);
  std::ifstream file;
  if (platform::FileExists(fileName)) file.open(fileName, std::ios::binary);
  if (!file.is_open()) {
    platform::ShowMessage(kApplicationTitle, "Cannot open file \"" + platform::ShortenForMessage(fileName) + "\"");
    return std::nullopt;
  }
  file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(room));
  const auto count = static_cast<uint32_t>(file.gcount());

  const bool running = machine.IsCpuRunning();
  if (running) machine.StopCpu();
  for (uint32_t i = 0; i < count; ++i)
    machine.PatchMemory(static_cast<uint16_t>(start + i), buffer[i]);
  if (running) machine.StartCpu();
  return count;
}

bool SaveMemoryBlock(IFileMachine& machine, const std::string& fileName, uint16_t start,
                     uint32_t length) {
  if (length == 0 || length > 65536u - start) return false;
  std::vector<uint8_t> buffer(length);
  const bool running = machine.IsCpuRunning();
  if (running) machine.StopCpu();
  for (uint32_t i = 0; i < length; ++i) buffer[i] = machine.ReadMemory(static_cast<uint16_t>(start + i));
  if (running) machine.StartCpu();

  const bool existed = platform::FileExists(fileName);
  if (platform::WriteFileAtomic(fileName, buffer)) return true;
  std::string text = "Cannot create file \"" + platform::ShortenForMessage(fileName) + "\"";
  if (existed) text += "\nThe existing file is unchanged.";
  platform::ShowMessage(kApplicationTitle, text);
  return false;
}
