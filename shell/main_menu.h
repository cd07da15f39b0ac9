// The main window's menu as data, and the commands behind its items. One
// table describes every item once (name, caption, shortcut, the mark it is
// created with, what that mark mirrors, its handler); the Qt window builds
// its menu from that table and shows the marks and enabled states kept here.
// Nothing here needs a toolkit: the window is reached through IMenuWindow,
// the processor's run control through IRunControl.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

class TZXHardware;
class TFileCommands;
struct TShellSwitches;

// The windows of the shell that menu items open.
enum class TFormId : uint8_t {
  Timing,          // "ULA settings..."
  MemorySet,       // "Spectrum memory settings..."
  Palette,         // "Palette settings..."
  Registry,        // "File associations..."
  About,           // "About"
  StateHardware,   // "Hardware state"
  StateAY,         // "AY-3-8910 state"
  StateVG93,       // "KR1818VG93 state"
};

// What the menu needs of the main window.
class IMenuWindow {
 public:
  virtual ~IMenuWindow() = default;
  virtual bool IsFullScreen() = 0;
  virtual void EnterFullScreen() = 0;
  virtual void LeaveFullScreen() = 0;
  // Exit: closes the window, which ends the program.
  virtual void CloseWindow() = 0;
  virtual void ShowForm(TFormId form) = 0;
  // Save params: writes every setting; false when the store failed (the
  // user has been told).
  virtual bool SaveParams() = 0;
};

// The machine operations of the run-control commands.
enum class TMachineAction : uint8_t {
  Reset48,
  Reset128,
  ResetTrdos,
  ResetExtRom,
  Magic,
  ScorpionMagic,
  Int,
  Nmi,
};

// The processor's run control and the machine operations, as the run-control
// commands use them.
class IRunControl {
 public:
  virtual ~IRunControl() = default;
  virtual bool IsCpuRunning() = 0;
  virtual void StopCpu() = 0;
  virtual void StartCpu() = 0;
  // One processor step with its after-step processing, on this thread.
  virtual void StepCpu() = 0;
  virtual void Act(TMachineAction action) = 0;
};

// The program's machine behind IRunControl.
class TMachineRunControl final : public IRunControl {
 public:
  explicit TMachineRunControl(TZXHardware& machine) : machine_(machine) {}
  bool IsCpuRunning() override;
  void StopCpu() override;
  void StartCpu() override;
  void StepCpu() override;
  void Act(TMachineAction action) override;

 private:
  TZXHardware& machine_;
};

// The stop-act-step-restart pattern: a running processor is stopped, the
// action made, one step taken when `stepped` (so the processor takes the
// request just made), and the processor started again only when it was
// running.
void RunControl(IRunControl& cpu, TMachineAction action, bool stepped);

class TMenuCommands;

// The top-level menus, in the menu bar's order.
enum class TMenu : uint8_t { File, Run, View, Debug, Settings, Help };
struct TMenuTitle {
  const char* Name;
  const char* Caption;
};
inline constexpr std::array<TMenuTitle, 6> kMenuTitles = {{{"MenuFile", "File"},
                                                          {"MenuRun", "Run"},
                                                          {"MenuView", "View"},
                                                          {"MenuDebug", "Debug"},
                                                          {"MenuSettings", "Parameters"},
                                                          {"MenuHelp", "?"}}};

// The check mark an item is created with: none (not a switch), off or on.
enum class TMark : uint8_t { None, Off, On };

// What a switch's mark mirrors: the field it reads and writes.
struct TMirror {
  bool (*Get)(TMenuCommands& commands) = nullptr;
  void (*Set)(TMenuCommands& commands, bool on) = nullptr;
};

struct TMenuItem;
using TMenuHandler = void (TMenuCommands::*)(const TMenuItem& item);

struct TMenuItem {
  TMenu Menu;
  // The item's name ("SubMenuOpenAll"); null for a separator line.
  const char* Name = nullptr;
  const char* Caption = "";
  // Portable key text ("Alt+F3", "Alt+Enter"); empty for none. A shortcut
  // on Enter answers both the main keyboard's Return and the keypad's Enter.
  const char* Shortcut = "";
  TMark Mark = TMark::None;
  TMirror Mirror;
  TMenuHandler Handler = nullptr;
  // What the handler does it to: the drive, the TMachineAction, the TFormId.
  uint8_t Arg = 0;
  bool Enabled = true;  // as created
  bool Visible = true;

  bool IsSeparator() const { return Name == nullptr; }
};

// The whole menu, in the order shown, separators included.
std::span<const TMenuItem> MainMenuItems();
// The position of the named item in MainMenuItems(); -1 when there is none.
int MenuItemIndex(std::string_view name);

// The commands of the main menu with the marks and enabled states of its
// items. Every handler runs on the GUI thread; afterwards the window shows
// Checked and Enabled again.
class TMenuCommands {
 public:
  static constexpr size_t kItemCount = 63;

  TMenuCommands(TZXHardware& machine, IRunControl& cpu, TFileCommands& files, TShellSwitches& switches,
                IMenuWindow& window);

  // Runs the handler of item `index` of MainMenuItems() (nothing for an item
  // without one, or a disabled one).
  void Execute(int index);
  void Execute(std::string_view name) { Execute(MenuItemIndex(name)); }

  // Every switch's mark from its field: after the settings are read at
  // start-up (with the enabled states that follow the sound plug-in) and
  // after every command.
  void SyncMarks();
  void SetStartUpStates();

  // The 320 ms screen timer.
  void TimerUpdateSCRTimer();
  uint32_t TickCounter = 0;

  std::array<bool, kItemCount> Checked{};
  std::array<bool, kItemCount> Enabled{};
  bool IsChecked(std::string_view name) const { return Checked[Index(name)]; }
  bool IsEnabled(std::string_view name) const { return Enabled[Index(name)]; }

  // Remembered for the run.
  int32_t ChangeMemAddress = 0x4000;
  int32_t ChangeMemValue = 0;

  TZXHardware& Machine() { return machine_; }
  TShellSwitches& Switches() { return switches_; }

  // ---- handlers (named after their items) --------------------------------
  void Toggle(const TMenuItem& item);
  void OpenAll(const TMenuItem&);
  void LoadBIN(const TMenuItem&);
  void OpenDisk(const TMenuItem& item);
  void SubMenuSaveDisksClick(const TMenuItem& = {});
  void SaveSnapshot(const TMenuItem&);
  void SaveBIN(const TMenuItem&);
  void SubMenuExitClick(const TMenuItem& = {});
  void SubMenuRunClick(const TMenuItem& = {});
  void SubMenuStopClick(const TMenuItem& = {});
  void RunControlItem(const TMenuItem& item);
  void SubMenuFullScreenClick(const TMenuItem& = {});
  void SubMenuCPUClick(const TMenuItem& = {});
  void ShowFormItem(const TMenuItem& item);
  void SubMenuChangeMemClick(const TMenuItem& = {});
  void SubMenuBeeperEmulationClick(const TMenuItem& = {});
  void SubMenuAY8910EmulationClick(const TMenuItem& = {});
  void SubMenuChangeVectorBUSClick(const TMenuItem& = {});
  void SubMenuAY8910SettingsClick(const TMenuItem& = {});
  void SubMenuSaveSettingsClick(const TMenuItem& = {});

 private:
  static size_t Index(std::string_view name);
  void UpdateRunStates();

  TZXHardware& machine_;
  IRunControl& cpu_;
  TFileCommands& files_;
  TShellSwitches& switches_;
  IMenuWindow& window_;
};
