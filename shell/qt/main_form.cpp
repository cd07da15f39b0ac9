#include "shell/qt/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScreen>
#include <QThread>

#include "platform/qt/input_capture.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/screen_panel.h"
#include "shell/qt/file_dialogs_qt.h"
#include "shell/qt/forms.h"
#include "shell/qt/main_menu_qt.h"
#include "shell/program_entry.h"

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  setWindowTitle("OVRIN Spectrum");
  // A fixed single border with the system menu and the minimise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // the window fits the panel
  screen_panel_ = new platform::qt::ScreenPanel(display_.slot(), central);
  layout->addWidget(screen_panel_);
  setCentralWidget(central);
  // The window keeps the picture's size: it cannot be resized or maximised.
  QMainWindow::layout()->setSizeConstraint(QLayout::SetFixedSize);
  connect(screen_panel_, &platform::qt::ScreenPanel::PanelResized, this, &TMainForm::PanelResized);

  capture_ = new platform::qt::InputCapture(input_state_, this, this);
  capture_->Watch(screen_panel_);
  capture_->Watch(central);
  setFocusProxy(screen_panel_);

  TimerUpdateSCR.setInterval(320);
  connect(&TimerUpdateSCR, &QTimer::timeout, this, &TMainForm::TimerUpdateSCRTimer);

  display_device_.set_leave_full_screen([this] { LeaveFullScreen(); });

  // The menu bar never takes the keys: they belong to the emulated machine.
  menuBar()->setFocusPolicy(Qt::NoFocus);
  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) { ActivateDisplay(state == Qt::ApplicationActive); });
}

TMainForm::~TMainForm() { FormClose(); }

void TMainForm::AttachMachine(TZXHardware* machine) {
  menu_.reset();
  commands_.reset();
  run_control_.reset();
  files_.reset();
  machine_ = machine;
  if (!machine_) return;
  files_ = std::make_unique<TShellFiles>(*machine_, this,
                                         TScreenModeHooks{[this] { return IsFullScreen(); },
                                                          [this] { LeaveFullScreen(); },
                                                          [this] { EnterFullScreen(); }});
  run_control_ = std::make_unique<TMachineRunControl>(*machine_);
  commands_ = std::make_unique<TMenuCommands>(*machine_, *run_control_, files_->Commands, switches_, *this);
  menu_ = std::make_unique<TMainMenuQt>(*this, *commands_);
}

std::string TMainForm::SettingsPath() const {
  return options_.SettingsPath.empty() ? platform::qt::DefaultSettingsPath() : options_.SettingsPath;
}

void TMainForm::FormShow() {
  if (shown_ || !machine_) return;
  shown_ = true;
  TZXHardware& m = *machine_;

  // The picture goes to the panel (the processor has not started, so the
  // devices can be installed freely).
  display_.set_sink(screen_panel_);
  m.DisplayWindow = screen_panel_;
  m.SetDisplayOutput(&display_device_);

  // Input devices. The mouse buttons start released.
  input_devices_.Create();
  m.SetInputDevices(&input_device_);
  m.InputReady = 1;
  m.KempstonMouseButtons = 0xFF;

  // One step above normal where the system allows it (raising needs privileges).
  QThread::currentThread()->setPriority(QThread::HighPriority);

  ReadCmosFile(m.CmosMemory);

  platform::qt::IniSettings store(SettingsPath());
  m.Timing = ReadTimingSettings(store);
  m.InitScreenTiming();

  CheckFirstRun(store, [this] {
    if (options_.FirstRunAssociations) options_.FirstRunAssociations(*this);
  });
  ReadKeySettings(store, m, switches_);
  // The marks and the sound items' states as the settings left the machine.
  commands_->SetStartUpStates();
  menu_->Sync();

  m.LoadRoms();

  files_->Commands.OpenCommandLine(ProgramEntry().CommandLine);

  m.CPUClockHz = MeasureCpuClock(ProgramEntry(), options_.ClockMeasureSleep);
  m.InitScreenTiming();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desk = screen->availableGeometry();
    const QSize size = sizeHint();
    move(desk.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  show();
  screen_panel_->setFocus();

  if (switches_.FullScreenStart && !IsFullScreen()) EnterFullScreen();

  SubMenuRunClick();
  TimerUpdateSCR.start();
}

void TMainForm::SubMenuRunClick() {
  if (!commands_) return;
  commands_->SubMenuRunClick();
  menu_->Sync();
}

void TMainForm::ShowForm(TFormId form) {
  switch (form) {
    case TFormId::Timing: ShowTimingForm(*this); break;
    case TFormId::MemorySet: ShowMemorySetForm(*this); break;
    case TFormId::Palette: ShowPaletteForm(*this); break;
    case TFormId::Registry: ShowFormRegistry(*this); break;
    case TFormId::About: ShowAboutForm(*this); break;
    case TFormId::StateHardware: ShowFormStateHardware(*this); break;
    case TFormId::StateAY: ShowFormStateAY(*this); break;
    case TFormId::StateVG93: ShowFormStateVG93(*this); break;
  }
}

bool TMainForm::SubMenuSaveSettingsClick() {
  if (!machine_) return false;
  platform::qt::IniSettings store(SettingsPath());
  return SaveSettings(store, *machine_, switches_);
}

void TMainForm::FormClose(platform::FailureReport report) {
  if (closed_ || !shown_ || !machine_) return;
  closed_ = true;
  TZXHardware& m = *machine_;
  if (m.IsCpuRunning()) m.StopCpu();
  m.SoundChip.ShutdownPlugin();
  if (IsFullScreen()) LeaveFullScreen();
  input_devices_.Release();
  m.InputReady = 0;
  TimerUpdateSCR.stop();
  WriteCmosFile(m.CmosMemory, report);
}

void TMainForm::CloseForSignal() {
  const bool outer = std::exchange(signal_close_, true);
  close();
  signal_close_ = outer;
}

void TMainForm::WriteBackWithoutDisplay() {
  if (closed_ || !shown_ || !machine_) return;
  closed_ = true;
  TZXHardware& m = *machine_;
  if (m.IsCpuRunning()) m.StopCpu();
  FlushAllDrives(m.FloppyController, platform::FailureReport::Stderr);
  WriteCmosFile(m.CmosMemory, platform::FailureReport::Stderr);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!WriteBackBeforeClosing()) {
    event->ignore();
    emit CloseDeclined();
    return;
  }
  FormClose(signal_close_ ? platform::FailureReport::Stderr : platform::FailureReport::Box);
  event->accept();
}

bool TMainForm::WriteBackBeforeClosing() {
  // While the window is still there: a write-back that fails once it has
  // gone could only report the loss. The user who keeps a disk's changes
  // keeps the program running to save them.
  if (closed_ || !shown_ || !files_) return true;
  return files_->Commands.WriteBackBeforeExit();
}

void TMainForm::ActivateDisplay(bool active) {
  // Nothing stays held while another application has the keyboard, and in
  // full screen the pointer is ours only while we are active.
  if (!active) input_state_.ReleaseAll();
  if (IsFullScreen()) capture_->SetCaptured(active);
}

void TMainForm::TimerUpdateSCRTimer() {
  if (!commands_) return;
  commands_->TimerUpdateSCRTimer();
  menu_->Sync();
}

void TMainForm::PanelResized() {
  if (IsFullScreen()) return;
  centralWidget()->layout()->activate();
  layout()->activate();
  setFixedSize(sizeHint());
}

bool TMainForm::IsFullScreen() const { return machine_ ? machine_->FullScreenFlag != 0 : false; }

void TMainForm::EnterFullScreen() {
  if (!machine_ || IsFullScreen()) return;
  SavedFormBounds = geometry();
  QMainWindow::layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
  centralWidget()->layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
  // The fixed-size constraints left their sizes on the widgets: free them
  // so that the panel can fill the screen.
  for (QWidget* w : {static_cast<QWidget*>(this), centralWidget()}) {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  HideToolWindows();
  screen_panel_->SetFullScreen(true);
  menuBar()->hide();
  showFullScreen();
  capture_->SetCaptured(true);
  machine_->FullScreenFlag = 1;
}

void TMainForm::LeaveFullScreen() {
  if (!machine_ || !IsFullScreen()) return;
  capture_->SetCaptured(false);
  showNormal();
  menuBar()->show();
  screen_panel_->SetFullScreen(false);
  centralWidget()->layout()->setSizeConstraint(QLayout::SetFixedSize);
  QMainWindow::layout()->setSizeConstraint(QLayout::SetFixedSize);
  machine_->FullScreenFlag = 0;  // the window takes the picture's size again
  PanelResized();
  setGeometry(SavedFormBounds);
  ShowToolWindows();
}

void TMainForm::HideToolWindows() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    const Qt::WindowType type = w->windowType();
    if (w == this || !w->isVisible() || type == Qt::Popup || type == Qt::ToolTip) continue;
    hidden_tools_.emplace_back(w, w->pos());
    w->hide();
  }
}

void TMainForm::ShowToolWindows() {
  auto hidden = std::exchange(hidden_tools_, {});
  if (closed_) return;  // the program is ending
  for (auto& [window, pos] : hidden) {
    if (!window) continue;
    window->move(pos);
    window->show();
  }
  // The keys stay with the picture, as they were in full screen.
  if (!hidden.empty()) activateWindow();
}
