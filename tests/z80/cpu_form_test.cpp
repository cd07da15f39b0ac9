// The debugger window over a flat test machine: the keys against a running
// and a stopped processor, a breakpoint set in the window, writes made while
// the processor runs, the vector label, and listing files from the menu.
#include "z80/debugger/qt/cpu_form.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <array>
#include <atomic>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "support/scripted_dialogs.h"
#include "support/wait_for_events.h"
#include "z80/debugger/qt/disassembly_viewer.h"
#include "z80/debugger/qt/memory_viewer.h"
#include "z80/debugger/qt/registers_viewer.h"
#include "z80_test_bus.h"

namespace {

using testing_support::WaitFor;
using z80test::TestBus;

// LD A,#00 / LD (HL),A / JR back to the start.
const std::initializer_list<uint8_t> kStoreLoop = {0x3E, 0x00, 0x77, 0x18, 0xFB};

struct Host {
  static inline Host* current = nullptr;  // the callbacks' way back here
  TestBus bus;
  TZ80Object object;
  testing_support::ScriptedDialogs dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  std::atomic<int> breakpointCalls{0};
  std::atomic<bool> wroteWhileRunning{false};
  std::thread::id gui = std::this_thread::get_id();

  explicit Host(std::initializer_list<uint8_t> program = kStoreLoop) {
    current = this;
    bus.record = false;
    bus.Load(0, program);
    Z80_Create("test", TestBus::Fetch, TestBus::Read, &Write, TestBus::In, TestBus::Out,
               TestBus::IntCheck, TestBus::AfterStep, &Breakpoint, &bus, &object);
  }
  ~Host() {
    Z80_Destroy(&object);
    platform::SetDialogs(previous);
  }
  static void Write(uint32_t a, uint8_t v, void*) {
    if (std::this_thread::get_id() == current->gui && current->object.Running.load())
      current->wroteWhileRunning = true;
    current->bus.memory[a & 0xFFFF] = v;
  }
  static void Breakpoint(void*) { ++current->breakpointCalls; }

  TCPUForm& form() { return *dynamic_cast<TCPUForm*>(object.Form); }
  TZ80State& cpu() { return *object.StateRecord; }
  bool running() { return object.Running.load() != 0; }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { form().FormKeyDown(k, m); }
};

TEST(CPUForm, KeysFollowTheRunState) {
  Host h;
  // Stopped: F5 does nothing, F7 and F8 step once (not with Shift or Ctrl),
  // F9 runs; running: F7, F8 and F9 are refused and F5 stops.
  const struct {
    int key;
    Qt::KeyboardModifiers mods;
    bool runningAfter;
    int pcAfter;  // -1: not looked at
  } steps[] = {
      {Qt::Key_F5, Qt::NoModifier, false, 0},      {Qt::Key_F7, Qt::NoModifier, false, 2},
      {Qt::Key_F7, Qt::ShiftModifier, false, 2},   {Qt::Key_F8, Qt::NoModifier, false, 3},
      {Qt::Key_F8, Qt::ControlModifier, false, 3}, {Qt::Key_F9, Qt::NoModifier, true, -1},
      {Qt::Key_F7, Qt::NoModifier, true, -1},      {Qt::Key_F8, Qt::NoModifier, true, -1},
      {Qt::Key_F9, Qt::NoModifier, true, -1},      {Qt::Key_F5, Qt::NoModifier, false, -1},
  };
  h.form().Show();  // a shown window follows every step
  for (const auto& s : steps) {
    h.key(s.key, s.mods);
    EXPECT_EQ(h.running(), s.runningAfter) << s.key;
    if (s.pcAfter >= 0) {
      EXPECT_EQ(h.cpu().PC, s.pcAfter) << s.key;
      EXPECT_EQ(h.form().RegistersPanel->CurrentRegs.GetPC(), s.pcAfter) << s.key;
    }
  }
}

TEST(CPUForm, BreakpointSetInTheWindowStopsTheRunAndShowsIt) {
  Host h;
  h.cpu().HL = 0x9000;
  TCPUForm& form = h.form();
  h.key(Qt::Key_F9);
  ASSERT_TRUE(WaitFor([&] { return !form.PopupBreakpoint->isEnabled(); }));
  form.DasmPanelSetBreakpoint(0x0002);  // the margin's double click, while running
  ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }));
  EXPECT_EQ(h.breakpointCalls, 1);
  EXPECT_FALSE(h.running());
  EXPECT_EQ(h.object.BreakpointHit.load(), 0);
  EXPECT_EQ(h.cpu().PC, 2);
  EXPECT_EQ(form.RegistersPanel->CurrentRegs.GetPC(), 2);
  EXPECT_EQ(form.RegistersPanel->CurrentRegs.GetHL(), 0x9000);
  EXPECT_TRUE(WaitFor([&] { return form.PopupBreakpoint->isEnabled(); }));

  // Run from the breakpoint: passed once, met again a lap later.
  h.cpu().AF = 0x2200;
  h.key(Qt::Key_F9);
  ASSERT_TRUE(WaitFor([&] { return h.breakpointCalls == 2 && !h.object.BreakpointHit; }));
  EXPECT_EQ(h.cpu().PC, 2);
  EXPECT_EQ(h.bus.memory[0x9000], 0x22);  // LD (HL),A ran once

  form.DasmPanelSetBreakpoint(0x0002);  // toggled off
  EXPECT_FALSE(form.PopupResetBreakpoints->isEnabled());
}

TEST(CPUForm, WritesWhileRunningAreMadeStopped) {
  Host h;
  h.cpu().HL = 0x9000;
  TCPUForm& form = h.form();
  h.key(Qt::Key_F9);
  // The operand of LD A,n from the memory dump, then the whole instruction
  // from the line assembler (a refused line is asked again).
  h.dialogs.Answer({"#5A"});
  form.MemoryViewerMemoryCellDblClick(0x0001);
  EXPECT_EQ(h.dialogs.queries.back().caption, "Изменение байта памяти #0001");
  EXPECT_TRUE(WaitFor([&] { return h.bus.memory[0x9000] == 0x5A; }));
  h.dialogs.Answer({"LD Q,1", "LD A,#77"});
  form.DasmPanelMnemonicClick(0x10000);
  EXPECT_EQ(h.dialogs.queries[1].caption, "Встроенный ассемблер (#0000)");
  EXPECT_EQ(h.dialogs.queries[1].shown, "LD A,#5A");
  EXPECT_EQ(h.dialogs.Messages().at(0).text, "Неверная инструкция: LD Q,1");
  EXPECT_TRUE(WaitFor([&] { return h.bus.memory[0x9000] == 0x77; }));
  EXPECT_TRUE(h.running());
  // Register edits wait for a stop.
  h.dialogs.Answer({"#1234"});
  form.RegistersPanelRegisterDblClick(4);
  EXPECT_EQ(h.dialogs.Unanswered(), 1u);
  h.key(Qt::Key_F5);
  EXPECT_FALSE(h.wroteWhileRunning);
}

// The register rows as the list shows them, from the viewer or the processor.
std::array<uint16_t, 13> Rows(const TZ80Registers& r) {
  return {r.GetPC(), r.GetIR(), r.GetSP(), r.GetAF(), r.GetHL(), r.GetDE(), r.GetBC(),
          r.GetIX(), r.GetIY(), r.Get_AF(), r.Get_HL(), r.Get_DE(), r.Get_BC()};
}
std::array<uint16_t, 13> Rows(const TZ80State& s) {
  return {s.PC, s.IR, s.SP, s.AF, s.HL, s.DE, s.BC, s.IX, s.IY, s._AF, s._HL, s._DE, s._BC};
}
uint8_t FlagsByte(const TZ80Flags& f) {
  return static_cast<uint8_t>(f.GetS() << 7 | f.GetZ() << 6 | f.GetF5() << 5 | f.GetH() << 4 |
                              f.GetF3() << 3 | f.GetP_V() << 2 | f.GetN() << 1 | f.GetC());
}

TEST(CPUForm, EditsWhileRunningKeepTheViewAndTheMarks) {
  Host h;
  h.cpu().HL = 0x9100;  // the loop stores away from the code being edited
  TCPUForm& form = h.form();
  form.Show();
  h.dialogs.Answer({"#9000"});
  form.PopupViewAddressClick();
  const auto marksBefore = Rows(form.RegistersPanel->OldRegs);
  h.key(Qt::Key_F9);
  ASSERT_TRUE(h.running());
  // Two edits: the second would see the first one's refresh as "old".
  h.dialogs.Answer({"LD A,#77", "#12"});
  form.DasmPanelMnemonicClick(0x9000);
  form.MemoryViewerMemoryCellDblClick(0x9002);
  EXPECT_TRUE(h.running());
  EXPECT_EQ(h.bus.memory[0x9000], 0x3E);
  EXPECT_EQ(h.bus.memory[0x9001], 0x77);
  EXPECT_EQ(h.bus.memory[0x9002], 0x12);
  EXPECT_EQ(form.DasmPanel->GetSelectedAddress(), 0x9000);
  EXPECT_EQ(Rows(form.RegistersPanel->OldRegs), marksBefore);

  // Stopped and stepped: red is exactly what the step changed.
  h.key(Qt::Key_F5);
  ASSERT_FALSE(h.running());
  for (int step = 0; step < 3; ++step) {
    const auto regsBefore = Rows(h.cpu());
    const uint8_t flagsBefore = h.cpu().AF & 0xFF;
    h.key(Qt::Key_F7);
    const auto regsAfter = Rows(h.cpu());
    const auto shown = Rows(form.RegistersPanel->CurrentRegs);
    const auto old = Rows(form.RegistersPanel->OldRegs);
    EXPECT_EQ(shown, regsAfter);
    for (size_t row = 0; row < 13; ++row)
      EXPECT_EQ(old[row] != shown[row], regsBefore[row] != regsAfter[row])
          << RegisterRowNames[row] << " step " << step;
    EXPECT_EQ(FlagsByte(form.FlagsPanel->OldFlags), flagsBefore) << step;
    EXPECT_EQ(FlagsByte(form.FlagsPanel->CurrentFlags), h.cpu().AF & 0xFF) << step;
  }
}

TEST(CPUForm, OnlyALeftClickChangesTheStatusLabels) {
  Host h({0x00});
  TCPUForm& form = h.form();
  form.Show();
  const auto state = [&] {
    const TZ80Requests& r = h.cpu().Req;
    return std::array<int, 4>{r.IFF1, r.IFF2, static_cast<int>(r.IM), r.Halted};
  };
  const auto click = [](QLabel* label, Qt::MouseButton button, QPoint releaseAt) {
    const QPoint at = label->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, label->mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, releaseAt, label->mapToGlobal(releaseAt),
                        button, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &press);
    QCoreApplication::sendEvent(label, &release);
  };
  const struct {
    Qt::MouseButton button;
    bool inside;  // let go over the label, not dragged off it
    bool changes;
  } clicks[] = {{Qt::RightButton, true, false},
                {Qt::MiddleButton, true, false},
                {Qt::LeftButton, false, false},
                {Qt::LeftButton, true, true}};
  for (QLabel* label : {form.LabelIFF1, form.LabelIFF2, form.LabelIM, form.LabelHLT}) {
    for (const auto& c : clicks) {
      const auto before = state();
      click(label, c.button, c.inside ? label->rect().center() : QPoint(-5, -5));
      EXPECT_EQ(state() != before, c.changes)
          << label->objectName().toStdString() << " button " << c.button;
    }
  }
}

TEST(CPUForm, PanesKeepTheirSizeOnResize) {
  Host h({0x00});
  TCPUForm& form = h.form();
  form.Show();
  QWidget* registersPane = form.RegistersPanel->parentWidget();
  const int paneHeight = registersPane->height();
  const int paneWidth = registersPane->width();
  const int memoryHeight = form.MemoryViewer->height();
  EXPECT_EQ(paneHeight, 185);
  EXPECT_EQ(memoryHeight, 120);
  for (const QSize size : {QSize(627, 600), QSize(900, 347), QSize(700, 400), QSize(627, 347)}) {
    form.resize(size);
    EXPECT_EQ(registersPane->height(), paneHeight) << size.width() << "x" << size.height();
    EXPECT_EQ(registersPane->width(), paneWidth) << size.width() << "x" << size.height();
    EXPECT_EQ(form.MemoryViewer->height(), memoryHeight) << size.width() << "x" << size.height();
  }
}

TEST(CPUForm, OpensWholeOnTheScreenBesideTheWindowInUse) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const struct {
    const char* name;
    QRect window;   // the window the user works in; empty: none
    bool besideIt;  // room enough to leave it uncovered
  } cases[] = {
      {"none", {}, false},
      {"small, top left", QRect(area.topLeft(), QSize(200, 100)), true},
      {"bottom right", QRect(area.bottomRight() - QPoint(299, 199), QSize(300, 200)), false},
      {"the whole screen", area, false},
  };
  for (const auto& c : cases) {
    QWidget other;
    if (!c.window.isEmpty()) {
      other.setGeometry(c.window);
      other.show();
      other.activateWindow();
    }
    Host h({0x00});
    TCPUForm& form = h.form();
    form.Show();
    EXPECT_TRUE(area.contains(form.frameGeometry())) << c.name;
    if (c.besideIt) {
      EXPECT_FALSE(form.frameGeometry().intersects(other.frameGeometry())) << c.name;
    }
  }
}

// The user's main window takes the activation while a dialog is up, as a
// window manager may give it when the dialog closes.
class DialogsElsewhere : public testing_support::ScriptedDialogs {
 public:
  QWidget* elsewhere = nullptr;
  bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text) override {
    Away();
    return ScriptedDialogs::InputQuery(caption, prompt, text);
  }
  bool SaveFileName(const platform::SaveFileRequest& request, std::string& fileName) override {
    Away();
    return ScriptedDialogs::SaveFileName(request, fileName);
  }

 private:
  void Away() {
    elsewhere->activateWindow();
    testing_support::WaitFor([&] { return QApplication::activeWindow() == elsewhere; });
  }
};

TEST(CPUForm, TheKeyboardComesBackAfterEachDialog) {
  Host h({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  QWidget mainWindow;
  mainWindow.show();
  DialogsElsewhere dialogs;
  dialogs.elsewhere = &mainWindow;
  platform::SetDialogs(&dialogs);
  TCPUForm& form = h.form();
  form.Show();
  const struct {
    const char* name;
    std::function<void()> open;
    std::vector<std::optional<std::string>> answers;
  } cases[] = {
      {"assembler", [&] { form.DasmPanelMnemonicClick(0x8000); }, {"NOP"}},
      {"assembler cancelled", [&] { form.DasmPanelMnemonicClick(0x8000); }, {std::nullopt}},
      {"code address", [&] { form.PopupViewAddressClick(); }, {"#0000"}},
      {"memory byte", [&] { form.MemoryViewerMemoryCellDblClick(0x8000); }, {"#00"}},
      {"memory address", [&] { form.SubMenuMemViewAddressClick(); }, {"#8000"}},
      {"columns", [&] { form.SubMenuMemSetBytesLineClick(); }, {"8"}},
      {"register", [&] { form.RegistersPanelRegisterDblClick(4); }, {"#1234"}},
      {"listing", [&] { form.PopupSaveListingClick(); }, {"/nonexistent/x.lst", std::nullopt}},
  };
  const auto codeViewHasKeys = [&] {
    return testing_support::WaitFor([&] { return QApplication::focusWidget() == form.DasmPanel; });
  };
  for (const auto& c : cases) {
    form.DasmPanel->setFocus();
    ASSERT_TRUE(codeViewHasKeys());
    for (const auto& a : c.answers) dialogs.Answer({a});
    c.open();
    EXPECT_TRUE(codeViewHasKeys()) << c.name;
    const int pc = h.cpu().PC;
    QKeyEvent f7(QEvent::KeyPress, Qt::Key_F7, Qt::NoModifier);
    if (QWidget* focus = QApplication::focusWidget()) QCoreApplication::sendEvent(focus, &f7);
    EXPECT_EQ(h.cpu().PC, pc + 1) << c.name;
  }
  platform::SetDialogs(&h.dialogs);
}

TEST(CPUForm, VectorLabelReadsTheTableFromMode2Up) {
  Host h({0x00});
  Z80_ShowCPU(&h.object);
  h.cpu().IR = 0x8000;
  h.bus.Load(0x80FF, {0x34, 0x12});
  const char* const want[] = {"Vector: #0038", "Vector: #0038", "Vector: #1234", "Vector: #1234"};
  for (uint32_t im = 0; im < 4; ++im) {
    h.cpu().Req.IM = im;
    h.form().RefreshView(false);
    EXPECT_EQ(h.form().LabelVector->text().toStdString(), want[im]) << im;
  }
}

TEST(CPUForm, ListingFromTheMenu) {
  Host h({0x01, 0x00, 0x40, 0x00});
  const auto dir = std::filesystem::temp_directory_path() / "ovrin_cpu_form_listing";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "code.lst").string();
  h.dialogs.Answer({path, "#0000", "#0000"});
  h.form().PopupSaveListingClick();
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(text.str(),
            "--- Memory dump, generated by Z80 engine (ovrin) ------\r\n\r\n"
            ":0000  010040                 LD     BC,#4000     ; 10 T\r\n");
  // "All files" shows names without a dot too.
  const auto& filters = h.dialogs.queries.at(0).filters;
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[1].first, "Все файлы");
  for (const char* name : {"dump", "code.lst", "a.b.c"})
    EXPECT_TRUE(QRegularExpression::fromWildcard(QString::fromStdString(filters[1].second))
                    .match(QString::fromUtf8(name))
                    .hasMatch())
        << name;

  const struct {
    std::string file;
    bool failWrite;
    const char* message;
  } cases[] = {
      {(dir / "none" / "x.lst").string(), false, "Ошибка открытия файла!"},
      {(dir / "failed.lst").string(), true, "Ошибка открытия файла!"},
  };
  std::string lastFile = path;
  for (const auto& c : cases) {
    h.dialogs.Reset();
    h.dialogs.Answer({c.file, "#0003", "#0000"});
    const auto failing = [](auto&, auto, auto) { return false; };
    const platform::FileWriter kept = platform::SetFileWriterForTesting(
        c.failWrite ? platform::FileWriter(failing) : platform::FileWriter());
    h.form().PopupSaveListingClick();
    platform::SetFileWriterForTesting(kept);
    ASSERT_EQ(h.dialogs.queries.size(), 3u) << c.message;
    EXPECT_EQ(h.dialogs.queries[0].shown, lastFile);  // the dialogs keep the last answers
    EXPECT_EQ(h.dialogs.Messages().at(0).text, c.message);
    EXPECT_FALSE(std::filesystem::exists(c.file)) << c.message;
    lastFile = c.file;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

  // Over a read-only file: told as a file that cannot be opened, and kept.
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  h.dialogs.Reset();
  h.dialogs.Answer({path, "#0003", "#0000"});
  h.form().PopupSaveListingClick();
  ASSERT_EQ(h.dialogs.Messages().size(), 1u);
  EXPECT_EQ(h.dialogs.Messages()[0].text, "Ошибка открытия файла!");
  std::stringstream kept;
  kept << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(kept.str(), text.str());
  std::filesystem::remove_all(dir);
}

}  // namespace
