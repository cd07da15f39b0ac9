#include "shell/settings.h"

#include <algorithm>
#include <limits>

#include "platform/dialogs.h"
#include "platform/files.h"

namespace {

constexpr const char* kTop = "";

// A 32-bit value as the registry kept it: signed or unsigned readings of 32
// bits are both accepted, anything wider is unreadable.
std::optional<uint32_t> ReadDword(platform::SettingsStore& store, const char* group, const char* name) {
  auto v = store.ReadInt(group, name);
  if (!v || *v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<uint32_t>::max())
    return std::nullopt;
  return static_cast<uint32_t>(*v);
}

uint32_t ReadIntegerDef(platform::SettingsStore& store, const char* group, const char* name,
                        uint32_t def) {
  return ReadDword(store, group, name).value_or(def);
}

bool ReadBoolDef(platform::SettingsStore& store, const char* group, const char* name, bool def) {
  auto v = ReadDword(store, group, name);
  return v ? *v != 0 : def;
}

void ReportWriteFailure(platform::SettingsStore& store) {
  platform::ShowMessage(kApplicationTitle, "Settings file write failed!\n" + platform::ShortenForMessage(store.Location()),
                        platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

std::string RomValueName(int index) { return "ROMFILE" + std::to_string(index); }

}  // namespace

TTimingValues ReadTimingSettings(platform::SettingsStore& store) {
  const TTimingValues def = TimingFromPreset(0, 0);
  TTimingValues t;
  t.timeLoopTime = ReadIntegerDef(store, TimingKeyName, "timeLoopTime", def.timeLoopTime);
  t.timeInterruptBegin = ReadIntegerDef(store, TimingKeyName, "timeInterruptBegin", def.timeInterruptBegin);
  t.timeInterruptEnd = ReadIntegerDef(store, TimingKeyName, "timeInterruptEnd", def.timeInterruptEnd);
  t.timeLineTime = ReadIntegerDef(store, TimingKeyName, "timeLineTime", def.timeLineTime);
  t.timeScreenBeginLines =
      ReadIntegerDef(store, TimingKeyName, "timeScreenBeginLines", def.timeScreenBeginLines);
  t.timeHorzScreenBegin =
      ReadIntegerDef(store, TimingKeyName, "timeHorzScreenBegin", def.timeHorzScreenBegin);
  t.timeCycleFIX = static_cast<int32_t>(
      ReadIntegerDef(store, TimingKeyName, "timeCycleFIX", static_cast<uint32_t>(def.timeCycleFIX)));
  t.execAlignM1 = ReadBoolDef(store, TimingKeyName, "execAlignM1", def.execAlignM1 != 0) ? 1 : 0;
  // A set the timing dialog would refuse (a frame too long for the screen
  // tables, an INT window outside the frame) would break the renderer.
  if (CheckTimingValues(t)) {
    const uint8_t align = t.execAlignM1;
    t = def;
    t.execAlignM1 = align;
  }
  return t;
}

bool CheckFirstRun(platform::SettingsStore& store) {
  if (store.Exists(kTop, "Installed")) return false;
  store.WriteString(kTop, "Installed", "Yes");
  if (!store.Flush()) ReportWriteFailure(store);
  platform::ShowMessage("Welome",
                        "Welcome to OVRIN\n\nWrite bugreports to ovrin-bugs@example.org",
                        platform::MsgButtons::Ok, platform::MsgIcon::Information);
  return true;
}

void ReadKeySettings(platform::SettingsStore& store, TZXHardware& m, TShellSwitches& switches) {
  m.EnableCMOS = ReadBoolDef(store, kTop, "EnableCMOS", true);
  m.BetaDiskEmulation = ReadBoolDef(store, kTop, "BetaDiskEmulation", true);
  m.KempstonMouseEmulation = ReadBoolDef(store, kTop, "KempstonMouseEmulation", true);
  m.SoundChip.AYMouseEmulation = ReadBoolDef(store, kTop, "AYMouseEmulation", true);
  // The bus byte keeps the low 8 bits of whatever was stored.
  m.Cpu().Req.IntVector = static_cast<uint8_t>(ReadIntegerDef(store, kTop, "VectorBUS", 255));
  m.SoundChip.SetBeeperEnabled(ReadBoolDef(store, kTop, "BeeperEmulation", true));
  m.TapeEmulationEnabled = ReadBoolDef(store, kTop, "ZXTapeEmulation", true);
  m.SoundChip.SetAYEnabled(ReadBoolDef(store, kTop, "AYHardwareEnable", true));
  m.SoundChip.AYRegistersEmulation = ReadBoolDef(store, kTop, "AYRegistersEmulation", true);
  m.SoundChip.YMRegistersType = ReadBoolDef(store, kTop, "YMRegistersType", true);
  switches.FullScreenStart = ReadBoolDef(store, kTop, "FullScreenStart", false);
  m.TapeTrapsEnabled = ReadBoolDef(store, kTop, "TapeTrapping", m.TapeTrapsEnabled != 0);
  m.SwapMouseButtons = ReadBoolDef(store, kTop, "SwapMouseButtons", false);
  auto model = ReadDword(store, kTop, "MemoryModel");
  int32_t memory_model = model ? static_cast<int32_t>(*model) : 0;
  if (memory_model < 0 || memory_model > 7) memory_model = 0;
  m.SetMemoryModel(memory_model);

  for (int i = 0; i < 4; ++i) {
    auto spec = store.ReadString(kTop, RomValueName(i));
    m.RomFileSpecs[i] = spec ? *spec : "pentagon.rom," + std::to_string(i);
  }

  // A palette of more than 48 bytes is not ours; a shorter one sets only the
  // colours it holds and the rest stay as they are.
  if (auto palette = store.ReadBytes(kTop, "Palette"); palette && palette->size() <= 48)
    std::copy(palette->begin(), palette->end(), m.SpectrumPalette.begin());
}

bool SaveSettings(platform::SettingsStore& store, TZXHardware& m, const TShellSwitches& switches) {
  store.WriteBool(kTop, "EnableCMOS", m.EnableCMOS != 0);
  store.WriteBool(kTop, "BetaDiskEmulation", m.BetaDiskEmulation != 0);
  store.WriteBool(kTop, "KempstonMouseEmulation", m.KempstonMouseEmulation != 0);
  store.WriteBool(kTop, "AYMouseEmulation", m.SoundChip.AYMouseEmulation != 0);
  store.WriteInt(kTop, "VectorBUS", m.Cpu().Req.IntVector.load());
  // What the sound plug-in accepted, not what was asked for.
  store.WriteBool(kTop, "BeeperEmulation", m.SoundChip.BeeperEnabled != 0);
  store.WriteBool(kTop, "ZXTapeEmulation", m.TapeEmulationEnabled != 0);
  store.WriteBool(kTop, "AYHardwareEnable", m.SoundChip.AYEnabled != 0);
  store.WriteBool(kTop, "AYRegistersEmulation", m.SoundChip.AYRegistersEmulation != 0);
  store.WriteBool(kTop, "YMRegistersType", m.SoundChip.YMRegistersType != 0);
  store.WriteBool(kTop, "FullScreenStart", switches.FullScreenStart);
  store.WriteBool(kTop, "TapeTrapping", m.TapeTrapsEnabled != 0);
  store.WriteBool(kTop, "SwapMouseButtons", m.SwapMouseButtons != 0);
  store.WriteInt(kTop, "MemoryModel", m.MemoryModel);
  for (int i = 0; i < 4; ++i) store.WriteString(kTop, RomValueName(i), m.RomFileSpecs[i]);
  store.WriteBytes(kTop, "Palette", std::vector<uint8_t>(m.SpectrumPalette.begin(), m.SpectrumPalette.end()));

  const TTimingValues& t = m.Timing;
  store.WriteInt(TimingKeyName, "timeLoopTime", t.timeLoopTime);
  store.WriteInt(TimingKeyName, "timeInterruptBegin", t.timeInterruptBegin);
  store.WriteInt(TimingKeyName, "timeInterruptEnd", t.timeInterruptEnd);
  store.WriteInt(TimingKeyName, "timeLineTime", t.timeLineTime);
  store.WriteInt(TimingKeyName, "timeScreenBeginLines", t.timeScreenBeginLines);
  store.WriteInt(TimingKeyName, "timeHorzScreenBegin", t.timeHorzScreenBegin);
  store.WriteInt(TimingKeyName, "timeCycleFIX", t.timeCycleFIX);
  store.WriteBool(TimingKeyName, "execAlignM1", t.execAlignM1 != 0);
  if (store.Flush()) return true;
  ReportWriteFailure(store);
  return false;
}

std::string CmosFilePath() { return platform::ProgramDirectory() + "/" + kCmosFileName; }

void ReadCmosFile(std::array<uint8_t, 256>& cmos) {
  // Only the store's 256 bytes are read, whatever lies at the path.
  auto data = platform::InputFile(CmosFilePath()).ReadHead(cmos.size());
  if (!data) return;
  std::copy_n(data->begin(), std::min<size_t>(data->size(), cmos.size()), cmos.begin());
}

bool WriteCmosFile(const std::array<uint8_t, 256>& cmos) {
  if (platform::WriteFileAtomic(CmosFilePath(), cmos.data(), cmos.size())) return true;
  platform::ShowMessage(kApplicationTitle, "CMOS file write failed!", platform::MsgButtons::Ok,
                        platform::MsgIcon::Error);
  return false;
}
