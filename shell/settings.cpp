#include "shell/settings.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <variant>
#include <vector>

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

void ReportWriteFailure(platform::SettingsStore& store) {
  platform::ShowMessage(kApplicationTitle, "Settings file write failed!\n" + platform::ShortenForMessage(store.Location()),
                        platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

// ---------------------------------------------------------------------------
// The settings, each described once: where it is kept, its type and default,
// what reading it sets and where saving takes it from. Start-up reads the
// Timing rows first and the top-level rows later; Save params writes the
// top-level rows and then the Timing rows, each part in the table's order.

enum class Kind : uint8_t { Bool, Int, String, Bytes };
using Value = std::variant<int64_t, std::string, std::vector<uint8_t>>;

// What the rows read into and save from. Timing rows use only Timing.
struct Target {
  TZXHardware* Machine = nullptr;
  TShellSwitches* Switches = nullptr;
  TTimingValues* Timing = nullptr;
};

struct Setting {
  const char* Group;
  const char* Name;
  Kind Type;
  // The value when the store has none readable; null: nothing is applied.
  Value (*Default)(Target& t);
  void (*Apply)(Target& t, const Value& v);
  Value (*Source)(Target& t);
};

int64_t Int(const Value& v) { return std::get<int64_t>(v); }
Value Bool(bool on) { return int64_t{on ? 1 : 0}; }
const TTimingValues& FirstPreset() {
  static const TTimingValues preset = TimingFromPreset(0, 0);
  return preset;
}

template <int Index>
Setting RomFile() {
  return {kTop, Index == 0 ? "ROMFILE0" : Index == 1 ? "ROMFILE1" : Index == 2 ? "ROMFILE2" : "ROMFILE3",
          Kind::String, [](Target&) -> Value { return "pentagon.rom," + std::to_string(Index); },
          [](Target& t, const Value& v) { t.Machine->RomFileSpecs[Index] = std::get<std::string>(v); },
          [](Target& t) -> Value { return t.Machine->RomFileSpecs[Index]; }};
}

// A machine switch: on by default or not.
template <TSwitch TZXHardware::*Field, bool On>
Setting MachineSwitch(const char* name) {
  return {kTop, name, Kind::Bool, [](Target&) { return Bool(On); },
          [](Target& t, const Value& v) { t.Machine->*Field = Int(v) != 0; },
          [](Target& t) { return Bool(t.Machine->*Field != 0); }};
}

template <std::atomic<uint8_t> TAYHardware::*Field>
Setting SoundChipSwitch(const char* name) {
  return {kTop, name, Kind::Bool, [](Target&) { return Bool(true); },
          [](Target& t, const Value& v) { (t.Machine->SoundChip.*Field).store(Int(v) != 0); },
          [](Target& t) { return Bool((t.Machine->SoundChip.*Field).load() != 0); }};
}

template <uint32_t TTimingValues::*Field>
Setting TimingValue(const char* name) {
  return {TimingKeyName, name, Kind::Int, [](Target&) -> Value { return int64_t{FirstPreset().*Field}; },
          [](Target& t, const Value& v) { t.Timing->*Field = static_cast<uint32_t>(Int(v)); },
          [](Target& t) -> Value { return int64_t{t.Timing->*Field}; }};
}

const std::vector<Setting>& Settings() {
  static const std::vector<Setting> settings = {
      MachineSwitch<&TZXHardware::EnableCMOS, true>("EnableCMOS"),
      MachineSwitch<&TZXHardware::BetaDiskEmulation, true>("BetaDiskEmulation"),
      MachineSwitch<&TZXHardware::KempstonMouseEmulation, true>("KempstonMouseEmulation"),
      SoundChipSwitch<&TAYHardware::AYMouseEmulation>("AYMouseEmulation"),
      // The bus byte keeps the low 8 bits of whatever was stored.
      {kTop, "VectorBUS", Kind::Int, [](Target&) -> Value { return int64_t{255}; },
       [](Target& t, const Value& v) { t.Machine->Cpu().Req.IntVector = static_cast<uint8_t>(Int(v)); },
       [](Target& t) -> Value { return int64_t{t.Machine->Cpu().Req.IntVector.load()}; }},
      // Saved from what the sound plug-in accepted, not from what was asked.
      {kTop, "BeeperEmulation", Kind::Bool, [](Target&) { return Bool(true); },
       [](Target& t, const Value& v) { t.Machine->SoundChip.SetBeeperEnabled(Int(v) != 0); },
       [](Target& t) { return Bool(t.Machine->SoundChip.BeeperEnabled != 0); }},
      MachineSwitch<&TZXHardware::TapeEmulationEnabled, true>("ZXTapeEmulation"),
      {kTop, "AYHardwareEnable", Kind::Bool, [](Target&) { return Bool(true); },
       [](Target& t, const Value& v) { t.Machine->SoundChip.SetAYEnabled(Int(v) != 0); },
       [](Target& t) { return Bool(t.Machine->SoundChip.AYEnabled != 0); }},
      SoundChipSwitch<&TAYHardware::AYRegistersEmulation>("AYRegistersEmulation"),
      SoundChipSwitch<&TAYHardware::YMRegistersType>("YMRegistersType"),
      {kTop, "FullScreenStart", Kind::Bool, [](Target&) { return Bool(false); },
       [](Target& t, const Value& v) { t.Switches->FullScreenStart = Int(v) != 0; },
       [](Target& t) { return Bool(t.Switches->FullScreenStart); }},
      {kTop, "TapeTrapping", Kind::Bool, [](Target& t) { return Bool(t.Machine->TapeTrapsEnabled != 0); },
       [](Target& t, const Value& v) { t.Machine->TapeTrapsEnabled = Int(v) != 0; },
       [](Target& t) { return Bool(t.Machine->TapeTrapsEnabled != 0); }},
      MachineSwitch<&TZXHardware::SwapMouseButtons, false>("SwapMouseButtons"),
      // Any model outside 0 to 7 is model 0.
      {kTop, "MemoryModel", Kind::Int, [](Target&) -> Value { return int64_t{0}; },
       [](Target& t, const Value& v) {
         const auto model = static_cast<int32_t>(Int(v));
         t.Machine->SetMemoryModel(model < 0 || model > 7 ? 0 : model);
       },
       [](Target& t) -> Value { return int64_t{t.Machine->MemoryModel}; }},
      RomFile<0>(),
      RomFile<1>(),
      RomFile<2>(),
      RomFile<3>(),
      // Read only when present. More than 48 bytes is not ours; a shorter
      // palette sets only the colours it holds and the rest stay.
      {kTop, "Palette", Kind::Bytes, nullptr,
       [](Target& t, const Value& v) {
         const auto& bytes = std::get<std::vector<uint8_t>>(v);
         if (bytes.size() <= 48) std::copy(bytes.begin(), bytes.end(), t.Machine->SpectrumPalette.begin());
       },
       [](Target& t) -> Value {
         return std::vector<uint8_t>(t.Machine->SpectrumPalette.begin(), t.Machine->SpectrumPalette.end());
       }},

      TimingValue<&TTimingValues::timeLoopTime>("timeLoopTime"),
      TimingValue<&TTimingValues::timeInterruptBegin>("timeInterruptBegin"),
      TimingValue<&TTimingValues::timeInterruptEnd>("timeInterruptEnd"),
      TimingValue<&TTimingValues::timeLineTime>("timeLineTime"),
      TimingValue<&TTimingValues::timeScreenBeginLines>("timeScreenBeginLines"),
      TimingValue<&TTimingValues::timeHorzScreenBegin>("timeHorzScreenBegin"),
      // The cycle fix defaults to 0 whatever the preset holds.
      {TimingKeyName, "timeCycleFIX", Kind::Int, [](Target&) -> Value { return int64_t{0}; },
       [](Target& t, const Value& v) { t.Timing->timeCycleFIX = static_cast<int32_t>(Int(v)); },
       [](Target& t) -> Value { return int64_t{t.Timing->timeCycleFIX}; }},
      {TimingKeyName, "execAlignM1", Kind::Bool, [](Target&) { return Bool(FirstPreset().execAlignM1 != 0); },
       [](Target& t, const Value& v) { t.Timing->execAlignM1 = Int(v) != 0 ? 1 : 0; },
       [](Target& t) { return Bool(t.Timing->execAlignM1 != 0); }},
  };
  return settings;
}

std::optional<Value> ReadValue(platform::SettingsStore& store, const Setting& s) {
  switch (s.Type) {
    case Kind::Bool:
    case Kind::Int:
      if (auto v = ReadDword(store, s.Group, s.Name)) return int64_t{*v};
      return std::nullopt;
    case Kind::String:
      if (auto v = store.ReadString(s.Group, s.Name)) return *v;
      return std::nullopt;
    case Kind::Bytes:
      if (auto v = store.ReadBytes(s.Group, s.Name)) return *v;
      return std::nullopt;
  }
  return std::nullopt;
}

// Reads and applies, in the table's order, every row of the group.
void ReadGroup(platform::SettingsStore& store, const char* group, Target& target) {
  for (const Setting& s : Settings()) {
    if (std::string_view(s.Group) != group) continue;
    std::optional<Value> v = ReadValue(store, s);
    if (v && s.Type == Kind::Bool) v = Bool(Int(*v) != 0);
    if (!v && s.Default) v = s.Default(target);
    if (v) s.Apply(target, *v);
  }
}

void WriteGroup(platform::SettingsStore& store, const char* group, Target& target) {
  for (const Setting& s : Settings()) {
    if (std::string_view(s.Group) != group) continue;
    const Value v = s.Source(target);
    switch (s.Type) {
      case Kind::Bool: store.WriteBool(s.Group, s.Name, Int(v) != 0); break;
      case Kind::Int: store.WriteInt(s.Group, s.Name, Int(v)); break;
      case Kind::String: store.WriteString(s.Group, s.Name, std::get<std::string>(v)); break;
      case Kind::Bytes: store.WriteBytes(s.Group, s.Name, std::get<std::vector<uint8_t>>(v)); break;
    }
  }
}

}  // namespace

TTimingValues ReadTimingSettings(platform::SettingsStore& store) {
  TTimingValues t = FirstPreset();
  Target target{nullptr, nullptr, &t};
  ReadGroup(store, TimingKeyName, target);
  // A set the timing dialog would refuse (a frame too long for the screen
  // tables, an INT window outside the frame) would break the renderer.
  if (CheckTimingValues(t)) {
    const uint8_t align = t.execAlignM1;
    t = FirstPreset();
    t.execAlignM1 = align;
  }
  return t;
}

bool CheckFirstRun(platform::SettingsStore& store, const std::function<void()>& showAssociations) {
  if (store.Exists(kTop, "Installed")) return false;
  if (showAssociations) showAssociations();
  store.WriteString(kTop, "Installed", "Yes");
  if (!store.Flush()) ReportWriteFailure(store);
  platform::ShowMessage("Welome",
                        "Welcome to OVRIN\n\nWrite bugreports to ovrin-bugs@example.org",
                        platform::MsgButtons::Ok);
  return true;
}

void ReadKeySettings(platform::SettingsStore& store, TZXHardware& m, TShellSwitches& switches) {
  Target target{&m, &switches, &m.Timing};
  ReadGroup(store, kTop, target);
}

bool SaveSettings(platform::SettingsStore& store, TZXHardware& m, const TShellSwitches& switches) {
  // Saving only reads through the target.
  Target target{&m, const_cast<TShellSwitches*>(&switches), &m.Timing};
  WriteGroup(store, kTop, target);
  WriteGroup(store, TimingKeyName, target);
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

bool WriteCmosFile(const std::array<uint8_t, 256>& cmos, platform::FailureReport report) {
  const std::string path = CmosFilePath();
  if (platform::WriteFileAtomic(path, cmos.data(), cmos.size())) return true;
  if (report == platform::FailureReport::Stderr) {
    platform::ReportOnStderr(path, "CMOS file write failed!");
    return false;
  }
  platform::ShowMessage(kApplicationTitle, "CMOS file write failed!", platform::MsgButtons::Ok,
                        platform::MsgIcon::Error);
  return false;
}
