// The main window on the offscreen platform, booted once with the free ROM:
// the BASIC start-up screen, typing through native scan codes, full screen,
// the 512-pixel mode and the FPS overlay.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTest>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTimer>
#include <QThread>
#include <csignal>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "disk/disk_image.h"
#include "platform/files.h"
#include "platform/qt/input_capture.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/screen_panel.h"
#include "support/recording_dialogs.h"
#include "support/wait_for_events.h"
#include "shell/screen_text.h"
#include "shell/qt/main_form.h"
#include "shell/qt/main_menu_qt.h"
#include "shell/qt/state_hardware_form.h"
#include "shell/program_entry.h"
#include "z80/z80_host.h"

namespace {

namespace fs = std::filesystem;
const char* kRom48 = "/usr/share/spectrum-roms/opense.rom";
const char* kRomStub = "/usr/share/spectrum-roms/opense-stub.rom";

// A program folder of its own whose settings are not a first run's and name
// no ROM, so that nothing is asked at start-up.
std::string QuietProgramFolder(const std::string& general = "") {
  char tmpl[] = "/tmp/ovrin-gui-own-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  platform::SetProgramDirectoryForTesting(dir);
  fs::create_directories(dir + "/OVRIN");
  std::ofstream(dir + "/OVRIN/OVRIN.ini") << "[General]\nInstalled=Yes\n" << general
                                          << "ROMFILE0=\nROMFILE1=\nROMFILE2=\nROMFILE3=\n";
  return dir;
}

// A main window and its machine, shown, with the settings of that folder;
// the machine is detached before either goes.
struct ShownMainForm {
  explicit ShownMainForm(const std::string& dir) : form(Options(dir)), machine(&form) {
    form.AttachMachine(&machine);
    form.FormShow();
  }
  ~ShownMainForm() { form.AttachMachine(nullptr); }
  static TMainFormOptions Options(const std::string& dir) {
    TMainFormOptions options;
    options.SettingsPath = dir + "/OVRIN/OVRIN.ini";
    options.ClockMeasureSleep = std::chrono::milliseconds(10);
    return options;
  }
  TMainForm form;
  TZXHardware machine;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(kRom48) || !fs::exists(kRomStub)) return;
    char tmpl[] = "/tmp/ovrin-gui-XXXXXX";
    dir_ = new std::string(mkdtemp(tmpl));
    platform::SetProgramDirectoryForTesting(*dir_);
    fs::create_directories(*dir_ + "/OVRIN");
    std::ofstream(*dir_ + "/OVRIN/OVRIN.ini") << "[General]\nROMFILE0=" << kRomStub << "\nROMFILE1=" << kRom48
                                              << "\nROMFILE2=\nROMFILE3=\n";
    dialogs_ = new testing_support::RecordingDialogs;
    platform::SetDialogs(dialogs_);
    Z80_SetDialogs(dialogs_);

    TakeProgramEntry(ProgramEntry(), 0, nullptr);
    TMainFormOptions options;
    options.SettingsPath = *dir_ + "/OVRIN/OVRIN.ini";
    options.ClockMeasureSleep = std::chrono::milliseconds(100);
    form_ = new TMainForm(options);
    machine_ = new TZXHardware(form_);
    form_->AttachMachine(machine_);
    form_->FormShow();
  }

  static void TearDownTestSuite() {
    if (!form_) return;
    form_->FormClose();
    form_->AttachMachine(nullptr);
    delete machine_;
    delete form_;
    Z80_SetDialogs(nullptr);
    platform::SetDialogs(nullptr);
    delete dialogs_;
    platform::SetProgramDirectoryForTesting("");
    fs::remove_all(*dir_);
    delete dir_;
  }

  void SetUp() override {
    if (!form_) GTEST_SKIP() << "the opense-basic ROMs are not installed";
  }

  static platform::qt::ScreenPanel& Panel() { return *form_->ScreenPanel(); }

  // Lets the GUI thread work until pred holds or the emulated machine has
  // presented `frames` more frames (the test fails then). The bound counts
  // frames, not time; what the machine sent meanwhile is taken in once more
  // before it is judged, so a GUI thread that was not scheduled for a while
  // still sees the frames' outcome.
  template <typename Pred>
  static bool RunUntil(Pred pred, uint64_t frames) {
    const uint64_t end = form_->Display().presents() + frames;
    while (!pred()) {
      if (form_->Display().presents() >= end) {
        QCoreApplication::processEvents();
        return pred();
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::msleep(1);
    }
    return true;
  }
  static void RunFrames(uint64_t frames) {
    RunUntil([] { return false; }, frames);
  }

  static std::string Screen() {
    static const auto charset =
        testing_support::CharSetFromRom(platform::ReadWholeFile(kRom48).value_or(std::vector<uint8_t>{}));
    return testing_support::JoinLines(testing_support::ScreenText(Panel().picture(), charset));
  }

  // Presses and releases one PC key, by its set-1 scan code, the way the
  // window system delivers it (native code = evdev + 8).
  static void Key(QEvent::Type type, uint8_t scan) {
    QKeyEvent event(type, 0, Qt::NoModifier, scan + 8u, 0, 0);
    QCoreApplication::sendEvent(form_->ScreenPanel(), &event);
  }
  static void Tap(std::initializer_list<uint8_t> scans) {
    for (uint8_t s : scans) Key(QEvent::KeyPress, s);
    RunFrames(3);
    for (uint8_t s : scans) Key(QEvent::KeyRelease, s);
    RunFrames(3);
  }

  static inline std::string* dir_ = nullptr;
  static inline testing_support::RecordingDialogs* dialogs_ = nullptr;
  static inline TMainForm* form_ = nullptr;
  static inline TZXHardware* machine_ = nullptr;
};

TEST_F(MainWindowTest, StartsToTheBasicStartUpScreen) {
  EXPECT_TRUE(form_->isVisible());
  EXPECT_EQ(form_->windowTitle(), "OVRIN Spectrum");
  EXPECT_TRUE(machine_->IsCpuRunning());
  EXPECT_GT(machine_->CPUClockHz, 0u);
  EXPECT_EQ(Panel().size(), QSize(324, 244));
  // The first run greets once, through the dialogs interface.
  auto shown = dialogs_->Messages();
  ASSERT_GE(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Welome");

  // Boot flat out, then go on at the real speed.
  machine_->Limit50Hz = 0;
  const bool booted = RunUntil([] { return Screen().find("\x7f") != std::string::npos; }, 5000);
  machine_->Limit50Hz = 1;
  EXPECT_TRUE(booted) << Screen();
}

TEST_F(MainWindowTest, KeyEventsWithNativeScanCodesReachTheKeyboardRows) {
  Key(QEvent::KeyPress, 0x19);  // P
  EXPECT_TRUE(form_->Input().IsDown(0x19));
  EXPECT_TRUE(RunUntil([] { return machine_->KeyboardRows[2] == 0xFE; }, 10));
  Key(QEvent::KeyRelease, 0x19);
  EXPECT_TRUE(RunUntil([] { return machine_->KeyboardRows[2] == 0xFF; }, 10));

  // Keys held when the window loses focus are released.
  Key(QEvent::KeyPress, 0x1E);  // A
  QFocusEvent out(QEvent::FocusOut);
  QCoreApplication::sendEvent(form_->ScreenPanel(), &out);
  EXPECT_FALSE(form_->Input().IsDown(0x1E));
  EXPECT_TRUE(RunUntil([] { return machine_->KeyboardRows[6] == 0xFF; }, 10));
}

TEST_F(MainWindowTest, TypingPrintTwoPlusTwoShowsFour) {
  RunFrames(10);
  // Backspace clears what earlier cases left in the editor.
  for (int i = 0; i < 4; ++i) Tap({0x0E});
  // P R I N T space 2 + 2 Enter; "+" is the keypad's plus (SYMBOL SHIFT + K).
  for (uint8_t scan : {0x19, 0x13, 0x17, 0x31, 0x14, 0x39, 0x03, 0x4E, 0x03}) Tap({scan});
  // The editor shows the letters as typed; the keyword is taken on Enter.
  EXPECT_TRUE(RunUntil([] { return Screen().find("print 2+2") != std::string::npos; }, 50)) << Screen();
  Tap({0x1C});
  EXPECT_TRUE(RunUntil([] { return Screen().rfind("4\n", 0) == 0; }, 100)) << Screen();
}

TEST_F(MainWindowTest, FullScreenAndBackKeepsSizeAndPosition) {
  form_->move(40, 30);
  QCoreApplication::processEvents();
  const QPoint pos = form_->pos();
  const QSize size = form_->size();
  // A window of fixed size: the window manager offers no resizing or maximising.
  EXPECT_EQ(form_->minimumSize(), size);
  EXPECT_EQ(form_->maximumSize(), size);
  form_->EnterFullScreen();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form_->IsFullScreen());
  EXPECT_TRUE(form_->isFullScreen());
  EXPECT_EQ(machine_->FullScreenFlag, 1);
  EXPECT_GT(form_->width(), size.width());
  EXPECT_EQ(Panel().size(), form_->size());  // the picture is scaled over all of it
  RunFrames(3);
  form_->LeaveFullScreen();
  QCoreApplication::processEvents();
  EXPECT_FALSE(form_->IsFullScreen());
  EXPECT_EQ(form_->pos(), pos);
  EXPECT_EQ(form_->size(), size);
  EXPECT_EQ(form_->maximumSize(), size);
  EXPECT_EQ(Panel().size(), QSize(324, 244));
}

// Full screen shows only the picture: the tool and state windows go while it
// lasts (their clicks would reach the grabbed picture) and come back where
// they were; windows closed before stay closed.
TEST_F(MainWindowTest, FullScreenHidesTheToolWindowsAndBringsThemBack) {
  form_->ShowForm(TFormId::StateHardware);
  form_->ShowForm(TFormId::Timing);
  form_->ShowForm(TFormId::Palette);
  QCoreApplication::processEvents();
  auto* state = form_->findChild<TFormStateHardware*>();
  auto* palette = form_->findChild<QDialog*>(QStringLiteral("PaletteForm"));
  auto* timing = form_->findChild<QDialog*>(QStringLiteral("TimingForm"));
  ASSERT_TRUE(state && timing && palette);
  palette->hide();
  state->move(30, 40);
  timing->move(400, 50);
  QCoreApplication::processEvents();
  const QPoint statePos = state->pos(), timingPos = timing->pos();

  for (int round = 0; round < 2; ++round) {
    form_->EnterFullScreen();
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets())
      EXPECT_TRUE(w == form_ || !w->isVisible()) << w->windowTitle().toStdString();
    form_->LeaveFullScreen();
    QCoreApplication::processEvents();
    EXPECT_TRUE(state->isVisible());
    EXPECT_TRUE(timing->isVisible());
    EXPECT_FALSE(palette->isVisible());
    EXPECT_EQ(state->pos(), statePos);
    EXPECT_EQ(timing->pos(), timingPos);
  }
  state->hide();
  timing->hide();
}

TEST_F(MainWindowTest, HighResolutionModeResizesTheWindowFromTheGuiThread) {
  const QSize before = form_->size();
  machine_->StopCpu();
  // The picture-mode switch comes from the thread that runs the processor.
  std::thread([] { machine_->SetScreenMode(1); }).join();
  EXPECT_TRUE(RunUntil([] { return Panel().size() == QSize(644, 484); }, 1000));
  QCoreApplication::processEvents();
  EXPECT_EQ(Panel().last_resize_thread(), QThread::currentThread());
  EXPECT_EQ(form_->size(), before + QSize(320, 240));
  std::thread([] { machine_->SetScreenMode(0); }).join();
  machine_->StartCpu();
  EXPECT_TRUE(RunUntil([] { return Panel().size() == QSize(324, 244); }, 50));
  QCoreApplication::processEvents();
  EXPECT_EQ(form_->size(), before);
}

TEST_F(MainWindowTest, FpsOverlay) {
  EXPECT_TRUE(Panel().overlay_text().isEmpty());
  machine_->ShowFps = 1;
  EXPECT_TRUE(RunUntil([] { return !Panel().overlay_text().isEmpty(); }, 20));
  RunFrames(10);
  const std::string text = Panel().overlay_text().toStdString();
  ASSERT_EQ(text.rfind("FPS: ", 0), 0u) << text;
  const std::string digits = text.substr(5);
  EXPECT_GE(digits.size(), 2u) << text;
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << text;
  // Yellow text in the top left corner of the picture.
  int yellow = 0;
  for (int y = 6; y < 24; ++y)
    for (int x = 0; x < 60; ++x) yellow += Panel().image().pixel(x, y) == qRgb(255, 255, 0);
  EXPECT_GT(yellow, 10);
  machine_->ShowFps = 0;
  EXPECT_TRUE(RunUntil([] { return Panel().overlay_text().isEmpty(); }, 20));
}

TEST_F(MainWindowTest, WithoutTheLimitTheGuiStaysResponsiveAndFramesCoalesce) {
  machine_->Limit50Hz = 0;
  const uint64_t presents0 = form_->Display().presents();
  const uint64_t taken0 = Panel().pictures_taken();
  int ran = 0;
  // At least 20 passes, and on until the run thread (which may be starved
  // for a while) has presented more frames than were taken.
  const auto coalesced = [&] {
    return form_->Display().presents() - presents0 > Panel().pictures_taken() - taken0;
  };
  QElapsedTimer bound;  // only against a machine that never coalesces
  bound.start();
  for (int i = 0; i < 20 || (!coalesced() && bound.elapsed() < 60000); ++i) {
    QMetaObject::invokeMethod(form_, [&] { ++ran; }, Qt::QueuedConnection);
    // One pass of the event loop runs the posted call: nothing piles up before it.
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, i + 1);
    QThread::msleep(5);
  }
  machine_->Limit50Hz = 1;
  const uint64_t presents = form_->Display().presents() - presents0;
  const uint64_t taken = Panel().pictures_taken() - taken0;
  EXPECT_LE(taken, static_cast<uint64_t>(ran) + 1);
  EXPECT_GT(presents, taken);
}

TEST_F(MainWindowTest, ShowingAgainDoesNotRepeatTheStartUp) {
  const size_t messages = dialogs_->Count();
  form_->hide();
  QCoreApplication::processEvents();
  form_->show();
  form_->FormShow();
  RunFrames(5);
  EXPECT_EQ(dialogs_->Count(), messages);
  EXPECT_TRUE(machine_->IsCpuRunning());
  // The first run left its marker in the settings file.
  std::ifstream in(*dir_ + "/OVRIN/OVRIN.ini");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("Installed=Yes"), std::string::npos) << text;
}

// Every shortcut of the table reaches its own item, with the menu bar shown
// and hidden in full screen; Alt+Enter also from the keypad. Triggering a
// switch's action sets the machine's field and the action's mark together.
TEST_F(MainWindowTest, ShortcutsTriggerTheirItemsAlsoInFullScreen) {
  TMainMenuQt& menu = *form_->Menu();
  const auto items = MainMenuItems();
  std::vector<int> hits;
  menu.SetDispatchForTesting([&](int index) { hits.push_back(index); });
  form_->activateWindow();
  QApplication::setActiveWindow(form_);
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_));

  std::set<int> seen;
  for (bool fullScreen : {false, true}) {
    SCOPED_TRACE(fullScreen ? "full screen" : "window");
    if (fullScreen) form_->EnterFullScreen();
    QCoreApplication::processEvents();
    EXPECT_EQ(form_->menuBar()->isVisible(), !fullScreen);
    int shortcuts = 0;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].IsSeparator() || !*items[i].Shortcut) continue;
      SCOPED_TRACE(items[i].Name);
      QAction* action = menu.Action(items[i].Name);
      ASSERT_NE(action, nullptr);
      EXPECT_EQ(action->text(), QString::fromUtf8(items[i].Caption));
      const QKeyCombination key = QKeySequence::fromString(items[i].Shortcut)[0];
      if (!fullScreen) {
        EXPECT_TRUE(seen.insert(key.toCombined()).second) << "shortcut used twice";
      }
      std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> presses = {{key.key(), key.keyboardModifiers()}};
      if (key.key() == Qt::Key_Enter) {
        // The menu shows "Enter"; the main keyboard's Return and the keypad's
        // Enter both answer.
        EXPECT_EQ(action->shortcut().toString(QKeySequence::NativeText), "Alt+Enter");
        presses = {{Qt::Key_Return, key.keyboardModifiers()},
                   {Qt::Key_Enter, key.keyboardModifiers() | Qt::KeypadModifier}};
      }
      for (const auto& [k, mods] : presses) {
        // Disabled actions ignore their keys (Start while running, Speaker
        // without the plug-in); here every item is to answer.
        form_->Commands()->Enabled.fill(true);
        menu.Sync();
        hits.clear();
        QTest::keyClick(form_->ScreenPanel(), k, mods);
        EXPECT_EQ(hits, std::vector<int>{static_cast<int>(i)}) << QKeySequence(k | mods).toString().toStdString();
      }
      ++shortcuts;
    }
    EXPECT_EQ(shortcuts, 23);
  }
  form_->LeaveFullScreen();
  menu.SetDispatchForTesting(nullptr);

  QAction* fps = menu.Action("SubMenuDisplayFPS");
  EXPECT_FALSE(fps->isChecked());
  fps->trigger();
  EXPECT_TRUE(fps->isChecked());
  EXPECT_EQ(machine_->ShowFps, 1);
  fps->trigger();
  EXPECT_FALSE(fps->isChecked());
  EXPECT_EQ(machine_->ShowFps, 0);
  // The timer keeps Start and Stop current; Start is off while running.
  EXPECT_TRUE(testing_support::WaitFor([&] { return !menu.Action("SubMenuRun")->isEnabled(); }));
  EXPECT_TRUE(menu.Action("SubMenuStop")->isEnabled());
}

// Alt alone, then a cursor key and Enter (CAPS SHIFT + 6, then ENTER on the
// machine) open no menu and run no item.
TEST_F(MainWindowTest, AltAloneHandsNoKeysToTheMenuBar) {
  TMainMenuQt& menu = *form_->Menu();
  std::vector<int> hits;
  menu.SetDispatchForTesting([&](int index) { hits.push_back(index); });
  form_->activateWindow();
  QApplication::setActiveWindow(form_);
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
  QWidget* panel = form_->ScreenPanel();
  QTest::sendKeyEvent(QTest::Press, panel, Qt::Key_Alt, QString(), Qt::AltModifier);
  QTest::sendKeyEvent(QTest::Release, panel, Qt::Key_Alt, QString(), Qt::NoModifier);
  QTest::keyClick(panel, Qt::Key_Down);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_EQ(form_->menuBar()->activeAction(), nullptr);
  QTest::keyClick(panel, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  menu.SetDispatchForTesting(nullptr);
}

// The application losing activation releases every held key and, in full
// screen, the pointer; regaining it captures the pointer again.
TEST_F(MainWindowTest, ApplicationActivationReachesTheDisplay) {
  form_->EnterFullScreen();
  Key(QEvent::KeyPress, 0x1E);  // A
  ASSERT_TRUE(form_->Input().IsDown(0x1E));
  emit qApp->applicationStateChanged(Qt::ApplicationInactive);
  EXPECT_FALSE(form_->Input().IsDown(0x1E));
  auto* capture = form_->findChild<platform::qt::InputCapture*>();
  ASSERT_NE(capture, nullptr);
  EXPECT_FALSE(capture->captured());
  emit qApp->applicationStateChanged(Qt::ApplicationActive);
  EXPECT_TRUE(capture->captured());
  form_->LeaveFullScreen();
  EXPECT_FALSE(capture->captured());
  Key(QEvent::KeyRelease, 0x1E);
}

TEST_F(MainWindowTest, DebugMenuShowsTheStateWindows) {
  const std::pair<const char*, const char*> windows[] = {{"SubMenuHardwareState", "Hardware state"},
                                                         {"SubMenuAYState", "AY-3-8910 state"},
                                                         {"SubMenuVG93State", "KR1818VG93 state"}};
  for (const auto& [item, caption] : windows) {
    QAction* action = form_->Menu()->Action(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
    action->trigger();  // shown again, not built again
    const auto shown = form_->findChildren<TStateForm*>(QString(), Qt::FindDirectChildrenOnly);
    const auto it = std::find_if(shown.begin(), shown.end(),
                                 [&](TStateForm* f) { return f->windowTitle() == caption; });
    ASSERT_NE(it, shown.end()) << caption;
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                            [&](TStateForm* f) { return f->windowTitle() == caption; }), 1);
    EXPECT_TRUE((*it)->isVisible());
    EXPECT_TRUE((*it)->TimerUpdate.isActive());
  }
  EXPECT_TRUE(machine_->StateSlot.Watched());
  RunFrames(2);
  auto* hardware = form_->findChild<TFormStateHardware*>();
  hardware->TimerUpdateTimer();
  EXPECT_FALSE(hardware->findChild<QLabel*>("LabelROM")->text().isEmpty());
  for (TStateForm* f : form_->findChildren<TStateForm*>(QString(), Qt::FindDirectChildrenOnly)) f->close();
  EXPECT_FALSE(machine_->StateSlot.Watched());
}

// Last: closes the shared window.
TEST_F(MainWindowTest, ClosingStopsTheProcessorThenWritesTheCmosFile) {
  machine_->CmosMemory.fill(0x42);
  form_->close();
  EXPECT_FALSE(machine_->IsCpuRunning());
  EXPECT_EQ(platform::ReadWholeFile(*dir_ + "/cmos"), std::vector<uint8_t>(256, 0x42));
  // The input devices are released: a frame end after closing polls nothing.
  Key(QEvent::KeyPress, 0x19);
  machine_->FrameTact = machine_->Timing.timeLoopTime - 1;
  const uint64_t presents = form_->Display().presents();
  machine_->StepCpu();
  EXPECT_EQ(form_->Display().presents(), presents + 1);
  EXPECT_EQ(machine_->KeyboardRows[2] & 1, 1);
  Key(QEvent::KeyRelease, 0x19);
}

TEST(MainWindowStart, FullScreenStartEntersFullScreenBeforeTheProcessorRuns) {
  const std::string dir = QuietProgramFolder("FullScreenStart=1\n");
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> dialogs(&platform::SetDialogs);
  {
    ShownMainForm shown(dir);
    TMainForm& form = shown.form;
    TZXHardware& machine = shown.machine;
    EXPECT_TRUE(form.IsFullScreen());
    EXPECT_TRUE(form.isFullScreen());
    EXPECT_TRUE(form.Switches().FullScreenStart);
    EXPECT_TRUE(machine.IsCpuRunning());
    form.close();
    EXPECT_FALSE(form.IsFullScreen());
  }
  EXPECT_EQ(dialogs.dialogs.Count(), 0u);  // not a first run, no ROM to miss
  platform::SetProgramDirectoryForTesting("");
  fs::remove_all(dir);
}

// Closing with a disk whose folder has gone asks while the window is still
// shown. No keeps the program running with the disk's changes, which the
// save-disks command writes once the folder is back, and closing is then
// quiet; Yes closes and leaves the old file as it was.
TEST(MainWindowStart, ClosingAsksAboutADiskThatCannotBeWrittenBack) {
  const std::string dir = QuietProgramFolder();
  const std::string stick = dir + "/stick";
  const std::string image = stick + "/game.trd";
  const std::vector<uint8_t> old(80 * 2 * 16 * 256, 0);
  // Where the changed byte lies in the file: sector 9 of the first track.
  const size_t changed = 8 * 256;

  struct WatchingDialogs : testing_support::RecordingDialogs {
    std::function<void()> shown;
    platform::MsgResult Message(std::string_view caption, std::string_view text, platform::MsgButtons buttons,
                                platform::MsgIcon icon, platform::MsgResult defaultButton) override {
      if (shown) shown();
      return RecordingDialogs::Message(caption, text, buttons, icon, defaultButton);
    }
  };
  for (const platform::MsgResult answer : {platform::MsgResult::No, platform::MsgResult::Yes}) {
    SCOPED_TRACE(answer == platform::MsgResult::No ? "kept" : "given up");
    fs::create_directories(stick);
    ASSERT_TRUE(platform::WriteFileAtomic(image, old));
    WatchingDialogs dialogs;
    platform::Dialogs* previous = platform::SetDialogs(&dialogs);
    {
      ShownMainForm shown(dir);
      TMainForm& form = shown.form;
      TZXHardware& machine = shown.machine;
      machine.FloppyController.DriveWriteProtect[0] = false;
      ASSERT_TRUE(machine.FloppyController.InsertDisk(0, image));
      disk::TDiskImage& drive = machine.FloppyController.Drive(0);
      ASSERT_FALSE(drive.WriteProtect);
      machine.WithCpuStopped([&] {
        drive.Disk().Track(0, 0)->Data[disk::TrdosDataOffset(9)] = 0x55;
        drive.Modified = true;
      });
      fs::remove_all(stick);

      std::vector<bool> windowShown;
      dialogs.shown = [&] { windowShown.push_back(form.isVisible()); };
      dialogs.Script({platform::MsgResult::Ok, answer});
      form.close();
      const auto msgs = dialogs.Messages();
      ASSERT_EQ(msgs.size(), 2u);
      EXPECT_EQ(msgs[0].text, "Ошибка записи файла!");
      EXPECT_NE(msgs[1].text.find("Отказаться от этих изменений"), std::string::npos);
      EXPECT_EQ(msgs[1].default_button, platform::MsgResult::No);
      EXPECT_EQ(windowShown, (std::vector<bool>{true, true}));
      if (answer == platform::MsgResult::No) {
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(machine.IsCpuRunning());
        EXPECT_TRUE(drive.Modified);
        fs::create_directories(stick);
        form.Commands()->SubMenuSaveDisksClick();
        EXPECT_FALSE(drive.Modified);
        const auto written = platform::ReadWholeFile(image).value_or(std::vector<uint8_t>{});
        ASSERT_EQ(written.size(), old.size());
        EXPECT_EQ(written[changed], 0x55);
        dialogs.Clear();
        form.close();
        EXPECT_EQ(dialogs.Count(), 0u);
      } else {
        // The stick comes back: nothing is written to it on the way out.
        fs::create_directories(stick);
        ASSERT_TRUE(platform::WriteFileAtomic(image, old));
      }
      EXPECT_FALSE(form.isVisible());
    }
    if (answer == platform::MsgResult::Yes) {
      EXPECT_EQ(platform::ReadWholeFile(image), old);
    }
    EXPECT_EQ(dialogs.Count(), answer == platform::MsgResult::No ? 0u : 2u);
    platform::SetDialogs(previous);
  }
  platform::SetProgramDirectoryForTesting("");
  fs::remove_all(dir);
}

// A modified disk in a shown main window's drive, whose folder has been
// renamed away.
struct StrandedDisk {
  StrandedDisk(const std::string& dir, TZXHardware& machine, int drive)
      : stick(dir + "/stick" + std::to_string(drive)), image(stick + "/game.trd"),
        drive_(machine.FloppyController.Drive(drive)) {
    fs::create_directories(stick);
    EXPECT_TRUE(platform::WriteFileAtomic(image, old));
    machine.FloppyController.DriveWriteProtect[static_cast<size_t>(drive)] = false;
    EXPECT_TRUE(machine.FloppyController.InsertDisk(drive, image));
    machine.WithCpuStopped([&] {
      drive_.Disk().Track(0, 0)->Data[disk::TrdosDataOffset(9)] = 0x55;
      drive_.Modified = true;
    });
    fs::rename(stick, stick + ".away");
  }
  void Return() {
    if (fs::exists(stick + ".away")) fs::rename(stick + ".away", stick);
  }
  // The folder back, the file's byte where the change lies (-1: no such file).
  int Changed() {
    Return();
    const auto bytes = platform::ReadWholeFile(image).value_or(std::vector<uint8_t>{});
    return bytes.size() == old.size() ? bytes[8 * 256] : -1;
  }
  bool Modified() const { return drive_.Modified; }

  const std::vector<uint8_t> old = std::vector<uint8_t>(80 * 2 * 16 * 256, 0);
  const std::string stick, image;

 private:
  disk::TDiskImage& drive_;
};

// A signal while the exit question is open is that exit's request: the
// question stays, and after No the next signal takes the way out again,
// writing what it could not write before; the run then ends by that signal.
TEST(MainWindowStart, ASignalDuringTheExitQuestionJoinsThatExit) {
  const std::string dir = QuietProgramFolder();
  signal(SIGTERM, SIG_DFL);
  struct WatchingDialogs : testing_support::RecordingDialogs {
    std::function<void()> shown;
    platform::MsgResult Message(std::string_view caption, std::string_view text, platform::MsgButtons buttons,
                                platform::MsgIcon icon, platform::MsgResult defaultButton) override {
      if (shown && buttons == platform::MsgButtons::YesNo) shown();
      return RecordingDialogs::Message(caption, text, buttons, icon, defaultButton);
    }
  } dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  const auto pumpUntil = [](auto done) {
    for (int i = 0; i < 2000 && !done(); ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
  };
  {
    ShownMainForm shown(dir);
    TMainForm& form = shown.form;
    StrandedDisk stranded(dir, shown.machine, 0);
    fs::remove(dir + "/cmos");
    int signalCloses = 0;
    platform::qt::TerminationSignals termination([&] { ++signalCloses, form.CloseForSignal(); });
    QObject::connect(&form, &TMainForm::CloseDeclined, &termination, &platform::qt::TerminationSignals::Declined);
    // The signal comes while the question is open and is handled there, as
    // the question's own event loop would.
    dialogs.shown = [&] {
      raise(SIGTERM);
      EXPECT_TRUE(pumpUntil([&] { return signalCloses == 1; }));
      EXPECT_TRUE(form.isVisible());
    };
    dialogs.Script({platform::MsgResult::Ok, platform::MsgResult::No});
    form.CloseWindow();
    dialogs.shown = nullptr;
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(stranded.Modified());
    EXPECT_EQ(termination.Ending(), 0);

    stranded.Return();
    raise(SIGTERM);
    EXPECT_TRUE(pumpUntil([&] { return !form.isVisible(); }));
    EXPECT_EQ(signalCloses, 2);
    EXPECT_EQ(termination.Ending(), SIGTERM);
    EXPECT_EQ(stranded.Changed(), 0x55);
    EXPECT_TRUE(fs::exists(dir + "/cmos"));
    EXPECT_EQ(dialogs.Count(), 2u);
  }
  platform::SetDialogs(previous);
  platform::SetProgramDirectoryForTesting("");
  fs::remove_all(dir);
}

// With nobody there to answer (a signal, a lost display), failures are one
// line each on stderr naming the file; the close button keeps its box. The
// lost display's write-back writes what it can and nothing is written again
// by a later close.
TEST(MainWindowStart, WithNobodyToAnswerFailuresGoToStderr) {
  struct Case {
    const char* name;
    std::function<void(TMainForm&)> end;
    bool stranded;  // a disk whose folder has gone in drive B
    std::vector<std::string> lines;
    size_t boxes;
  };
  const Case cases[] = {
      {"signal", [](TMainForm& f) { f.CloseForSignal(); }, false, {"/cmos: CMOS file write failed!"}, 0},
      {"lost display", [](TMainForm& f) { f.WriteBackWithoutDisplay(); }, true,
       {"/stick1/game.trd: Ошибка записи файла!", "/cmos: CMOS file write failed!"}, 0},
      {"close button", [](TMainForm& f) { f.close(); }, false, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = QuietProgramFolder();
    testing_support::RecordingDialogs dialogs;
    platform::Dialogs* previous = platform::SetDialogs(&dialogs);
    {
      ShownMainForm shown(dir);
      StrandedDisk writable(dir, shown.machine, 0);
      writable.Return();
      std::optional<StrandedDisk> stranded;
      if (c.stranded) stranded.emplace(dir, shown.machine, 1);
      ASSERT_TRUE(platform::WriteFileAtomic(dir + "/cmos", std::vector<uint8_t>(256, 0)));
      fs::permissions(dir + "/cmos", fs::perms::owner_read);
      testing::internal::CaptureStderr();
      c.end(shown.form);
      std::string err = testing::internal::GetCapturedStderr();
      std::vector<std::string> lines;
      for (size_t at; (at = err.find('\n')) != std::string::npos; err.erase(0, at + 1)) {
        const std::string line = err.substr(0, at);
        lines.push_back(line.substr(line.find(dir) == std::string::npos ? 0 : line.find(dir) + dir.size()));
      }
      EXPECT_EQ(lines, c.lines);
      EXPECT_EQ(dialogs.Count(), c.boxes);
      EXPECT_EQ(writable.Changed(), 0x55);
      // The window's own end finds everything done.
      if (stranded) stranded->Return();
      shown.form.close();
      EXPECT_EQ(dialogs.Count(), c.boxes);
      if (stranded) {
        EXPECT_EQ(platform::ReadWholeFile(stranded->image), stranded->old);
      }
    }
    platform::SetDialogs(previous);
    platform::SetProgramDirectoryForTesting("");
    fs::remove_all(dir);
  }
}

// Answers the next modal message box with the given button once it shows.
void AnswerNextBox(QMessageBox::StandardButton button, QString* caption, QString* text) {
  QTimer::singleShot(10, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return AnswerNextBox(button, caption, text);
    *caption = box->windowTitle();
    *text = box->text();
    box->button(button)->click();
  });
}

TEST(QtDialogs, QuestionsAnswerWithTheButtonPressed) {
  platform::qt::QtDialogs dialogs;
  QString caption, text;
  AnswerNextBox(QMessageBox::No, &caption, &text);
  EXPECT_EQ(dialogs.Message("Warning", "Сохранить?", platform::MsgButtons::YesNo, platform::MsgIcon::Question,
                            platform::MsgResult::Yes),
            platform::MsgResult::No);
  EXPECT_EQ(caption, "Warning");
  EXPECT_EQ(text, QString::fromUtf8("Сохранить?"));

  // From another thread, a plain message does not wait for the GUI thread.
  AnswerNextBox(QMessageBox::Ok, &caption, &text);
  platform::MsgResult result = platform::MsgResult::Cancel;
  std::thread([&] { result = dialogs.Message("OVRIN", "from the run thread", platform::MsgButtons::Ok,
                                             platform::MsgIcon::None, platform::MsgResult::Ok); }).join();
  EXPECT_EQ(result, platform::MsgResult::Ok);
  EXPECT_TRUE(testing_support::WaitFor([&] { return text == "from the run thread"; })) << text.toStdString();
}

// Presses Enter where the next modal message box has its focus, as a user
// would, once it shows.
void PressEnterInNextBox() {
  QTimer::singleShot(10, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return PressEnterInNextBox();
    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
  });
}

TEST(QtDialogs, EnterAnswersWithTheDefaultButton) {
  using platform::MsgButtons;
  using platform::MsgResult;
  platform::qt::QtDialogs qt;
  platform::Dialogs* previous = platform::SetDialogs(&qt);
  struct Case {
    MsgButtons buttons;
    std::optional<MsgResult> named;
    MsgResult enter;
  };
  const Case cases[] = {
      {MsgButtons::OkCancel, MsgResult::Cancel, MsgResult::Cancel},
      {MsgButtons::OkCancel, std::nullopt, MsgResult::Ok},
      {MsgButtons::YesNo, std::nullopt, MsgResult::Yes},
      {MsgButtons::YesNo, MsgResult::No, MsgResult::No},
      {MsgButtons::YesNoCancel, MsgResult::Cancel, MsgResult::Cancel},
      {MsgButtons::Ok, MsgResult::Cancel, MsgResult::Ok},  // not a button of the set
  };
  for (const Case& c : cases) {
    PressEnterInNextBox();
    EXPECT_EQ(platform::ShowMessage("Warning", "?", c.buttons, platform::MsgIcon::Question, c.named), c.enter)
        << int(c.buttons) << " " << int(c.enter);
  }

  // Enter at the overwrite question keeps the file.
  const fs::path dir = fs::temp_directory_path() / ("ovrin_enter_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string old = (dir / "old.z80").string();
  std::ofstream(old) << "old";
  PressEnterInNextBox();
  EXPECT_FALSE(platform::ConfirmOverwrite(old));
  EXPECT_TRUE(platform::ConfirmOverwrite((dir / "new.z80").string()));  // nothing to ask
  fs::remove_all(dir);
  platform::SetDialogs(previous);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  Z80_Shutdown();
  return status;
}
