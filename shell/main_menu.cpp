#include "shell/main_menu.h"

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "shell/memory_files.h"
#include "shell/number_input.h"
#include "shell/open_file.h"
#include "shell/settings.h"
#include "z80/z80.h"

// ---------------------------------------------------------------------------
// Run control

bool TMachineRunControl::IsCpuRunning() { return machine_.IsCpuRunning(); }
void TMachineRunControl::StopCpu() { machine_.StopCpu(); }
void TMachineRunControl::StartCpu() { machine_.StartCpu(); }
void TMachineRunControl::StepCpu() { machine_.StepCpu(); }

void TMachineRunControl::Act(TMachineAction action) {
  switch (action) {
    case TMachineAction::Reset48: machine_.ResetTo48Rom(); break;
    case TMachineAction::Reset128: machine_.ResetTo128Rom(); break;
    case TMachineAction::ResetTrdos: machine_.ResetToTrdos(); break;
    case TMachineAction::ResetExtRom: machine_.ResetToExtRom(); break;
    case TMachineAction::Magic: machine_.PressMagic(); break;
    case TMachineAction::ScorpionMagic: machine_.PressScorpionMagic(); break;
    case TMachineAction::Int: machine_.RaiseInt(); break;
    case TMachineAction::Nmi: machine_.RaiseNmi(); break;
  }
}

void RunControl(IRunControl& cpu, TMachineAction action, bool stepped) {
  const bool running = cpu.IsCpuRunning();
  if (running) cpu.StopCpu();
  cpu.Act(action);
  if (stepped) cpu.StepCpu();
  if (running) cpu.StartCpu();
}

// ---------------------------------------------------------------------------
// The table

namespace {

template <TSwitch TZXHardware::*Field>
constexpr TMirror MachineSwitch() {
  return {[](TMenuCommands& c) { return (c.Machine().*Field) != 0; },
          [](TMenuCommands& c, bool on) { c.Machine().*Field = on ? 1 : 0; }};
}

template <std::atomic<uint8_t> TAYHardware::*Field>
constexpr TMirror SoundChipSwitch() {
  return {[](TMenuCommands& c) { return (c.Machine().SoundChip.*Field).load() != 0; },
          [](TMenuCommands& c, bool on) { (c.Machine().SoundChip.*Field).store(on ? 1 : 0); }};
}

// Marks that only show what the plug-in accepted; their handlers set it.
constexpr TMirror kBeeperAccepted = {[](TMenuCommands& c) { return c.Machine().SoundChip.BeeperEnabled != 0; },
                                     nullptr};
constexpr TMirror kAYAccepted = {[](TMenuCommands& c) { return c.Machine().SoundChip.AYEnabled != 0; }, nullptr};
constexpr TMirror kSclAddBoot = {[](TMenuCommands& c) { return c.Machine().FloppyController.SclAddBoot; },
                                 [](TMenuCommands& c, bool on) { c.Machine().FloppyController.SclAddBoot = on; }};
constexpr TMirror kFullScreenStart = {[](TMenuCommands& c) { return c.Switches().FullScreenStart; },
                                      [](TMenuCommands& c, bool on) { c.Switches().FullScreenStart = on; }};

using C = TMenuCommands;
using M = TMenu;
using A = TMachineAction;
using F = TFormId;
constexpr uint8_t Act(A a) { return static_cast<uint8_t>(a); }
constexpr uint8_t Form(F f) { return static_cast<uint8_t>(f); }

// Each row names only what its item has; the rest keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
constexpr TMenuItem kMainMenu[] = {
    {.Menu = M::File, .Name = "SubMenuOpenAll", .Caption = "Open...", .Shortcut = "Alt+F3", .Handler = &C::OpenAll},
    {.Menu = M::File, .Name = "SubMenuLoadBIN", .Caption = "Load memory...", .Handler = &C::LoadBIN},
    {.Menu = M::File},
    {.Menu = M::File, .Name = "SubMenuOpenDiskA", .Caption = "Open disk A:", .Shortcut = "F6",
     .Handler = &C::OpenDisk, .Arg = 0},
    {.Menu = M::File, .Name = "SubMenuOpenDiskB", .Caption = "Open disk B:", .Handler = &C::OpenDisk, .Arg = 1},
    {.Menu = M::File, .Name = "SubMenuOpenDiskC", .Caption = "Open disk C:", .Handler = &C::OpenDisk, .Arg = 2},
    {.Menu = M::File, .Name = "SubMenuOpenDiskD", .Caption = "Open disk D:", .Handler = &C::OpenDisk, .Arg = 3},
    {.Menu = M::File, .Name = "SubMenuSCLAddBOOT", .Caption = "Add boot to SCL", .Mark = TMark::On,
     .Mirror = kSclAddBoot, .Handler = &C::Toggle},
    {.Menu = M::File, .Name = "SubMenuSaveDisks", .Caption = "Выгрузить буфер записи дисков",
     .Handler = &C::SubMenuSaveDisksClick, .Enabled = false},
    {.Menu = M::File},
    {.Menu = M::File, .Name = "SubMenuSaveSnapshot", .Caption = "Save snapshot...", .Shortcut = "Ctrl+F3",
     .Handler = &C::SaveSnapshot},
    {.Menu = M::File, .Name = "SubMenuSaveBIN", .Caption = "Save memory...", .Handler = &C::SaveBIN},
    {.Menu = M::File},
    {.Menu = M::File, .Name = "SubMenuExit", .Caption = "Exit", .Shortcut = "F10", .Handler = &C::SubMenuExitClick},

    {.Menu = M::Run, .Name = "SubMenuRun", .Caption = "Start", .Shortcut = "F9", .Handler = &C::SubMenuRunClick},
    {.Menu = M::Run, .Name = "SubMenuStop", .Caption = "Stop", .Shortcut = "F5", .Handler = &C::SubMenuStopClick},
    {.Menu = M::Run},
    {.Menu = M::Run, .Name = "SubMenuReset48", .Caption = "Reset 48K", .Shortcut = "F2",
     .Handler = &C::RunControlItem, .Arg = Act(A::Reset48)},
    {.Menu = M::Run, .Name = "SubMenuReset128", .Caption = "Reset 128K", .Shortcut = "F3",
     .Handler = &C::RunControlItem, .Arg = Act(A::Reset128)},
    {.Menu = M::Run, .Name = "SubMenuResetTRDOS", .Caption = "Reset TR-DOS", .Shortcut = "F4",
     .Handler = &C::RunControlItem, .Arg = Act(A::ResetTrdos)},
    {.Menu = M::Run, .Name = "SubMenuResetEXTROM", .Caption = "Reset Profi", .Shortcut = "F12",
     .Handler = &C::RunControlItem, .Arg = Act(A::ResetExtRom)},
    {.Menu = M::Run},
    {.Menu = M::Run, .Name = "SubMenuMagic", .Caption = "Magic", .Shortcut = "F11", .Handler = &C::RunControlItem,
     .Arg = Act(A::Magic)},
    {.Menu = M::Run, .Name = "SubMenuScorpionMagic", .Caption = "Scorpion Magic", .Shortcut = "Ctrl+F11",
     .Handler = &C::RunControlItem, .Arg = Act(A::ScorpionMagic)},

    {.Menu = M::View, .Name = "SubMenuFullScreen", .Caption = "Fullscreen mode", .Shortcut = "Alt+Enter",
     .Handler = &C::SubMenuFullScreenClick},
    {.Menu = M::View},
    {.Menu = M::View, .Name = "SubMenuDisplayFPS", .Caption = "FPS led", .Shortcut = "Alt+End", .Mark = TMark::Off,
     .Mirror = MachineSwitch<&TZXHardware::ShowFps>(), .Handler = &C::Toggle},
    {.Menu = M::View, .Name = "SubMenuDisplayDisk", .Caption = "Disk drive led", .Mark = TMark::On,
     .Mirror = MachineSwitch<&TZXHardware::ShowDiskActivity>(), .Handler = &C::Toggle},
    {.Menu = M::View},
    {.Menu = M::View, .Name = "SubMenuVideoSync", .Caption = "Video sync", .Shortcut = "Alt+Home",
     .Mark = TMark::Off, .Mirror = MachineSwitch<&TZXHardware::VideoSync>(), .Handler = &C::Toggle},
    {.Menu = M::View, .Name = "SubMenuLimit50Hz", .Caption = "Limit 50 Hz", .Shortcut = "Alt+PgUp",
     .Mark = TMark::On, .Mirror = MachineSwitch<&TZXHardware::Limit50Hz>(), .Handler = &C::Toggle},

    {.Menu = M::Debug, .Name = "SubMenuCPU", .Caption = "CPU", .Shortcut = "Alt+F12", .Handler = &C::SubMenuCPUClick},
    {.Menu = M::Debug, .Name = "SubMenuINT", .Caption = "INT", .Shortcut = "Ctrl+F1", .Handler = &C::RunControlItem,
     .Arg = Act(A::Int)},
    {.Menu = M::Debug, .Name = "SubMenuNMI", .Caption = "NMI", .Shortcut = "Ctrl+F2", .Handler = &C::RunControlItem,
     .Arg = Act(A::Nmi)},
    {.Menu = M::Debug, .Name = "SubMenuHardwareState", .Caption = "Hardware state", .Handler = &C::ShowFormItem,
     .Arg = Form(F::StateHardware)},
    {.Menu = M::Debug, .Name = "SubMenuAYState", .Caption = "AY-3-8910 state", .Handler = &C::ShowFormItem,
     .Arg = Form(F::StateAY)},
    {.Menu = M::Debug, .Name = "SubMenuVG93State", .Caption = "KR1818VG93 state", .Handler = &C::ShowFormItem,
     .Arg = Form(F::StateVG93)},
    {.Menu = M::Debug, .Name = "SubMenuChangeMem", .Caption = "Change memory byte...",
     .Handler = &C::SubMenuChangeMemClick},

    {.Menu = M::Settings, .Name = "SubMenuBeeperEmulation", .Caption = "Speaker", .Shortcut = "Alt+F5",
     .Mark = TMark::Off, .Mirror = kBeeperAccepted, .Handler = &C::SubMenuBeeperEmulationClick},
    {.Menu = M::Settings, .Name = "SubMenuAY8910Emulation", .Caption = "Sound AY", .Mark = TMark::Off,
     .Mirror = kAYAccepted, .Handler = &C::SubMenuAY8910EmulationClick},
    {.Menu = M::Settings, .Name = "SubMenuAY8910RegEmulation", .Caption = "AY registers emulation",
     .Mark = TMark::Off, .Mirror = SoundChipSwitch<&TAYHardware::AYRegistersEmulation>(), .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuYMRegType", .Caption = "YM2149F registes emulation", .Mark = TMark::Off,
     .Mirror = SoundChipSwitch<&TAYHardware::YMRegistersType>(), .Handler = &C::Toggle},
    {.Menu = M::Settings},
    {.Menu = M::Settings, .Name = "SubMenuTapeEmulation", .Caption = "Tape emulation", .Mark = TMark::Off,
     .Mirror = MachineSwitch<&TZXHardware::TapeEmulationEnabled>(), .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuTapeTraps", .Caption = "Tape turbo-load (traps)", .Mark = TMark::Off,
     .Mirror = MachineSwitch<&TZXHardware::TapeTrapsEnabled>(), .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuBetaDiskEmulation", .Caption = "Beta Disk Interface emulation",
     .Shortcut = "Alt+F7", .Mark = TMark::On, .Mirror = MachineSwitch<&TZXHardware::BetaDiskEmulation>(),
     .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuKempstonMouseEmulation", .Caption = "Kempston Mouse emulation",
     .Shortcut = "Alt+F8", .Mark = TMark::On, .Mirror = MachineSwitch<&TZXHardware::KempstonMouseEmulation>(),
     .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuAYMouseEmulation", .Caption = "AY-Mouse emulation", .Shortcut = "Ctrl+F5",
     .Mark = TMark::Off, .Mirror = SoundChipSwitch<&TAYHardware::AYMouseEmulation>(), .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuSwapMButtons", .Caption = "Reverse mouse buttons", .Mark = TMark::Off,
     .Mirror = MachineSwitch<&TZXHardware::SwapMouseButtons>(), .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuEnableCMOS", .Caption = "CMOS emulation", .Mark = TMark::On,
     .Mirror = MachineSwitch<&TZXHardware::EnableCMOS>(), .Handler = &C::Toggle},
    {.Menu = M::Settings},
    {.Menu = M::Settings, .Name = "SubMenuMemorySet", .Caption = "Spectrum memory settings...",
     .Handler = &C::ShowFormItem, .Arg = Form(F::MemorySet)},
    {.Menu = M::Settings, .Name = "SubMenuULASettings", .Caption = "ULA settings...", .Handler = &C::ShowFormItem,
     .Arg = Form(F::Timing)},
    {.Menu = M::Settings, .Name = "SubMenuChangeVectorBUS", .Caption = "Z80 Free BUS setting..",
     .Handler = &C::SubMenuChangeVectorBUSClick},
    {.Menu = M::Settings, .Name = "SubMenuChangePalette", .Caption = "Palette settings...",
     .Handler = &C::ShowFormItem, .Arg = Form(F::Palette)},
    {.Menu = M::Settings, .Name = "SubMenuAY8910Settings", .Caption = "Sound settings...",
     .Handler = &C::SubMenuAY8910SettingsClick},
    {.Menu = M::Settings},
    {.Menu = M::Settings, .Name = "SubMenuFullScreenStart", .Caption = "Start in FullScreen mode", .Mark = TMark::Off,
     .Mirror = kFullScreenStart, .Handler = &C::Toggle},
    {.Menu = M::Settings, .Name = "SubMenuSaveSettings", .Caption = "Save params...",
     .Handler = &C::SubMenuSaveSettingsClick},

    {.Menu = M::Help, .Name = "SubMenuRegisterFileExt", .Caption = "File associations...",
     .Handler = &C::ShowFormItem, .Arg = Form(F::Registry)},
    {.Menu = M::Help},
    {.Menu = M::Help, .Name = "SubMenuAbout", .Caption = "About", .Handler = &C::ShowFormItem, .Arg = Form(F::About)},
    {.Menu = M::Help, .Name = "DebugDisplay1", .Caption = "DebugDisplay", .Visible = false},
};
#pragma GCC diagnostic pop
static_assert(std::size(kMainMenu) == TMenuCommands::kItemCount, "the menu has 63 lines, separators included");

}  // namespace

std::span<const TMenuItem> MainMenuItems() { return kMainMenu; }

int MenuItemIndex(std::string_view name) {
  for (size_t i = 0; i < std::size(kMainMenu); ++i)
    if (kMainMenu[i].Name && name == kMainMenu[i].Name) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// The commands

TMenuCommands::TMenuCommands(TZXHardware& machine, IRunControl& cpu, TFileCommands& files,
                             TShellSwitches& switches, IMenuWindow& window)
    : machine_(machine), cpu_(cpu), files_(files), switches_(switches), window_(window) {
  for (size_t i = 0; i < kItemCount; ++i) {
    Checked[i] = kMainMenu[i].Mark == TMark::On;
    Enabled[i] = kMainMenu[i].Enabled;
  }
}

size_t TMenuCommands::Index(std::string_view name) {
  const int i = MenuItemIndex(name);
  return i < 0 ? 0 : static_cast<size_t>(i);
}

void TMenuCommands::Execute(int index) {
  if (index < 0 || index >= static_cast<int>(kItemCount)) return;
  const TMenuItem& item = kMainMenu[index];
  if (!item.Handler || !Enabled[static_cast<size_t>(index)]) return;
  (this->*item.Handler)(item);
  SyncMarks();
}

void TMenuCommands::SyncMarks() {
  for (size_t i = 0; i < kItemCount; ++i)
    if (kMainMenu[i].Mirror.Get) Checked[i] = kMainMenu[i].Mirror.Get(*this);
}

void TMenuCommands::SetStartUpStates() {
  TAYHardware& chip = machine_.SoundChip;
  Enabled[Index("SubMenuBeeperEmulation")] = chip.BeeperSupported != 0;
  Enabled[Index("SubMenuAY8910Emulation")] = chip.AYSupported != 0;
  Enabled[Index("SubMenuAY8910Settings")] = chip.PluginReady.load() != 0;
  SyncMarks();
}

void TMenuCommands::UpdateRunStates() {
  const bool running = cpu_.IsCpuRunning();
  Enabled[Index("SubMenuRun")] = !running;
  Enabled[Index("SubMenuStop")] = running;
}

void TMenuCommands::Toggle(const TMenuItem& item) {
  if (!item.Mirror.Get || !item.Mirror.Set) return;
  item.Mirror.Set(*this, !item.Mirror.Get(*this));
}

void TMenuCommands::OpenAll(const TMenuItem&) { files_.SubMenuOpenAllClick(); }
void TMenuCommands::LoadBIN(const TMenuItem&) {
  files_.SubMenuLoadBINClick();
  machine_.RefreshDebugger(false);
}
void TMenuCommands::OpenDisk(const TMenuItem& item) { files_.OpenDiskForDrive(item.Arg); }
void TMenuCommands::SaveSnapshot(const TMenuItem&) { files_.SubMenuSaveSnapshotClick(); }
void TMenuCommands::SaveBIN(const TMenuItem&) { files_.SubMenuSaveBINClick(); }

void TMenuCommands::SubMenuSaveDisksClick(const TMenuItem&) {
  files_.SubMenuSaveDisksClick();
  Enabled[Index("SubMenuSaveDisks")] = false;
}

void TMenuCommands::SubMenuExitClick(const TMenuItem&) { window_.CloseWindow(); }

void TMenuCommands::SubMenuRunClick(const TMenuItem&) {
  cpu_.StartCpu();
  UpdateRunStates();
}

void TMenuCommands::SubMenuStopClick(const TMenuItem&) {
  cpu_.StopCpu();
  UpdateRunStates();
}

void TMenuCommands::RunControlItem(const TMenuItem& item) {
  const auto action = static_cast<TMachineAction>(item.Arg);
  // A Magic button only raises its request: the processor takes it when it
  // next runs or steps.
  const bool stepped = action != TMachineAction::Magic && action != TMachineAction::ScorpionMagic;
  RunControl(cpu_, action, stepped);
}

void TMenuCommands::SubMenuFullScreenClick(const TMenuItem&) {
  if (window_.IsFullScreen())
    window_.LeaveFullScreen();
  else
    window_.EnterFullScreen();
}

void TMenuCommands::SubMenuCPUClick(const TMenuItem&) {
  if (window_.IsFullScreen()) window_.LeaveFullScreen();
  Z80_ShowCPU(&machine_.CpuHandle);
}

void TMenuCommands::ShowFormItem(const TMenuItem& item) { window_.ShowForm(static_cast<TFormId>(item.Arg)); }

void TMenuCommands::SubMenuChangeMemClick(const TMenuItem&) {
  int32_t address = ChangeMemAddress;
  if (!InputNumber("Change memory byte", "Enter address:", address, "#%04X", 0, 65535)) return;
  ChangeMemAddress = address;
  int32_t value = ChangeMemValue;
  if (!InputNumber("Change memory byte", "Enter value:", value, "#%02X", 0, 255)) return;
  ChangeMemValue = value;
  // The write may draw the picture and lands in memory the run thread is
  // using: made with the processor stopped, like the file commands' writes.
  machine_.ChangeWithCpuStopped([&] {
    PatchVisibleMemory(machine_, static_cast<uint16_t>(address), static_cast<uint8_t>(value));
  });
}

void TMenuCommands::SubMenuBeeperEmulationClick(const TMenuItem&) {
  // The mark then shows what the plug-in accepted; a refusal is not reported.
  machine_.SoundChip.SetBeeperEnabled(Checked[Index("SubMenuBeeperEmulation")] ? 0 : 1);
}

void TMenuCommands::SubMenuAY8910EmulationClick(const TMenuItem&) {
  TAYHardware& chip = machine_.SoundChip;
  const bool on = !Checked[Index("SubMenuAY8910Emulation")];
  chip.SetAYEnabled(on ? 1 : 0);
  if (on && !chip.AYEnabled) platform::ShowMessage(kApplicationTitle, "KELVORA.DLL initialization failed!");
}

void TMenuCommands::SubMenuChangeVectorBUSClick(const TMenuItem&) {
  int32_t value = machine_.Cpu().Req.IntVector.load();
  if (!InputNumber("Z80 free BUS value changing", "Enter new value", value, "#%02X", 0, 255)) return;
  machine_.Cpu().Req.IntVector = static_cast<uint8_t>(value & 0xFF);
  machine_.RefreshDebugger(false);  // the IM 2 vector it shows
}

void TMenuCommands::SubMenuAY8910SettingsClick(const TMenuItem&) { machine_.SoundChip.ShowSettingDialog(); }

void TMenuCommands::SubMenuSaveSettingsClick(const TMenuItem&) { window_.SaveParams(); }

void TMenuCommands::TimerUpdateSCRTimer() {
  Enabled[Index("SubMenuAY8910Settings")] = machine_.SoundChip.PluginReady.load() != 0;
  UpdateRunStates();
  // The disks' state is looked at on four ticks of every eight.
  if (TickCounter++ & 4) {
    bool modified = false;
    for (int drive = 0; drive < disk::T1818VG93::kDrives; ++drive)
      modified |= machine_.FloppyController.Drive(drive).Modified.load();
    Enabled[Index("SubMenuSaveDisks")] = modified;
  }
  if (!cpu_.IsCpuRunning()) {
    // A stopped machine keeps showing its picture, with the flash alternating.
    machine_.FlashPhase ^= 1;
    machine_.RefreshScreen();
  }
}
