// The main window: the sunken picture panel, the menu, the start-up sequence
// of its first showing, full screen, and the shutdown when it closes. The
// menu's commands and the dialogs are units of their own and join through
// the public operations.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "machine/hardware.h"
#include "platform/display.h"
#include "platform/input.h"
#include "shell/machine_devices.h"
#include "shell/main_menu.h"
#include "shell/settings.h"

struct TShellFiles;
class TMainMenuQt;

namespace platform::qt {
class ScreenPanel;
class InputCapture;
}  // namespace platform::qt

class TMainForm;

struct TMainFormOptions {
  // The settings file; empty means $XDG_CONFIG_HOME/OVRIN/OVRIN.ini.
  std::string SettingsPath;
  // How long the host clock measurement sleeps (from the program entry on).
  std::chrono::milliseconds ClockMeasureSleep{1020};
  // Shows the file-association dialog on the first run and waits for it
  // (nothing when empty, as in tests).
  std::function<void(TMainForm&)> FirstRunAssociations;
};

class TMainForm final : public QMainWindow, public IMenuWindow {
  Q_OBJECT

 public:
  explicit TMainForm(TMainFormOptions options = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The machine, created right after this window. It must outlive FormClose.
  void AttachMachine(TZXHardware* machine);
  TZXHardware* machine() const { return machine_; }

  // The first showing: turns the freshly built machine into a running
  // emulator. Later calls return at once.
  void FormShow();
  // Stops the processor, releases the input devices and writes the CMOS
  // file. Runs once, from closing the window or from the program's end.
  void FormClose(platform::FailureReport report = platform::FailureReport::Box);
  // A termination signal's way out: the close button's, except that a
  // failed CMOS write is told on stderr, as nobody may be there to answer.
  void CloseForSignal();
  // The display has gone and the toolkit is ending the process: stops the
  // processor and writes every modified disk that can be written and the
  // CMOS file, failures on stderr; no window or dialog is touched. Nothing
  // when the window's own way out has already run.
  void WriteBackWithoutDisplay();
  // The way out (File > Exit, the close button, Alt+F4, a signal): writes
  // back the modified disks; false when the user keeps changes that could
  // not be written, and the window stays.
  bool WriteBackBeforeClosing();

  // Full screen hides the menu bar; the window's actions keep the shortcuts.
  void EnterFullScreen() override;
  void LeaveFullScreen() override;
  bool IsFullScreen() override { return static_cast<const TMainForm*>(this)->IsFullScreen(); }
  bool IsFullScreen() const;

  void CloseWindow() override { close(); }
  // Opens one of the shell's windows (shell/qt/forms.h).
  void ShowForm(TFormId form) override;
  bool SaveParams() override { return SubMenuSaveSettingsClick(); }

  // Save params.
  bool SubMenuSaveSettingsClick();
  // Start: starts the processor and sets the enabled states of Start and Stop.
  void SubMenuRunClick();

  // The menu's commands with its marks and states, and the menu showing
  // them; made with the machine.
  TMenuCommands* Commands() const { return commands_.get(); }
  TMainMenuQt* Menu() const { return menu_.get(); }

  // The File menu's work (opening, disks, memory blocks, snapshots); made
  // with the machine.
  TShellFiles* Files() const { return files_.get(); }

  platform::qt::ScreenPanel* ScreenPanel() const { return screen_panel_; }
  platform::DisplayOutput& Display() { return display_; }
  platform::InputState& Input() { return input_state_; }
  TShellSwitches& Switches() { return switches_; }
  std::string SettingsPath() const;

 signals:
  // The way out was refused (a disk's changes kept): the program goes on.
  void CloseDeclined();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void TimerUpdateSCRTimer();
  void PanelResized();

 private:
  void ActivateDisplay(bool active);
  // Full screen shows only the picture: the tool and state windows (and the
  // debugger) go while it lasts and come back where they were.
  void HideToolWindows();
  void ShowToolWindows();

  TMainFormOptions options_;
  TZXHardware* machine_ = nullptr;
  platform::DisplayOutput display_;
  TDisplayDevice display_device_{display_};
  platform::InputState input_state_;
  platform::InputDevices input_devices_{input_state_};
  TInputDevice input_device_{input_devices_};
  TShellSwitches switches_;
  std::unique_ptr<TShellFiles> files_;
  std::unique_ptr<TMachineRunControl> run_control_;
  std::unique_ptr<TMenuCommands> commands_;
  std::unique_ptr<TMainMenuQt> menu_;

  platform::qt::ScreenPanel* screen_panel_ = nullptr;
  platform::qt::InputCapture* capture_ = nullptr;
  QTimer TimerUpdateSCR;
  bool shown_ = false;
  bool closed_ = false;
  bool signal_close_ = false;
  QRect SavedFormBounds;
  std::vector<std::pair<QPointer<QWidget>, QPoint>> hidden_tools_;
};
