// The debugger window over a flat test machine: the keys against a running
// and a stopped processor, a breakpoint set in the window, edits the machine
// then uses, and listing files written through the window's menu.
#include "z80/debugger/qt/cpu_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "support/scripted_dialogs.h"
#include "z80/debugger/qt/disassembly_viewer.h"
#include "z80/debugger/qt/registers_viewer.h"
#include "z80_test_bus.h"

namespace {

using testing_support::ScriptedDialogs;
using z80test::TestBus;

// Processes events until done() holds; a generous bound keeps a fault from
// hanging the suite (it is no timing assertion: done() is what is checked).
template <typename Done>
bool WaitFor(Done done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 20000) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

struct Host {
  TestBus bus;
  TZ80Object object;
  ScriptedDialogs dialogs;
  platform::Dialogs* previous;
  std::atomic<int> breakpointCalls{0};
  std::atomic<bool> wroteWhileRunning{false};
  std::thread::id gui = std::this_thread::get_id();

  explicit Host(std::initializer_list<uint8_t> program) {
    bus.record = false;
    bus.Load(0, program);
    current = this;
    previous = platform::SetDialogs(&dialogs);
    EXPECT_EQ(Z80_Create("test", TestBus::Fetch, TestBus::Read, &Host::GuardedWrite, TestBus::In,
                         TestBus::Out, TestBus::IntCheck, TestBus::AfterStep, &Host::Breakpoint,
                         &bus, &object),
              Z80_OK);
  }
  ~Host() {
    Z80_Destroy(&object);
    platform::SetDialogs(previous);
  }
  // The callbacks get the test bus; the one host of a test is found here.
  static inline Host* current = nullptr;
  // Every write from the GUI thread notes whether a run thread was going.
  static void GuardedWrite(uint32_t a, uint8_t v, void*) {
    Host& h = *current;
    if (std::this_thread::get_id() == h.gui && h.object.Running.load()) h.wroteWhileRunning = true;
    h.bus.memory[a & 0xFFFF] = v;
  }
  static void Breakpoint(void*) { ++current->breakpointCalls; }

  TCPUForm& form() { return *dynamic_cast<TCPUForm*>(object.Form); }
  TZ80State& cpu() { return *object.StateRecord; }
  bool running() { return object.Running.load() != 0; }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { form().FormKeyDown(k, m); }
};

}  // namespace

namespace {

// LD A,#00 / LD (HL),A / JR back to the start.
const std::initializer_list<uint8_t> kStoreLoop = {0x3E, 0x00, 0x77, 0x18, 0xFB};

TEST(CPUForm, KeysFollowTheRunState) {
  Host h(kStoreLoop);
  ASSERT_NE(dynamic_cast<TCPUForm*>(h.object.Form), nullptr);
  struct Step {
    int key;
    Qt::KeyboardModifiers mods;
    bool runningAfter;
    int pcAfter;  // -1: not checked (running)
  };
  // Stopped: F5 does nothing, F7 and F8 step once, Shift or Ctrl make them
  // no keys; F9 runs; running: F7, F8, F9 are refused; F5 stops.
  const Step steps[] = {
      {Qt::Key_F5, Qt::NoModifier, false, 0},      {Qt::Key_F7, Qt::NoModifier, false, 2},
      {Qt::Key_F7, Qt::ShiftModifier, false, 2},   {Qt::Key_F8, Qt::NoModifier, false, 3},
      {Qt::Key_F8, Qt::ControlModifier, false, 3}, {Qt::Key_F9, Qt::NoModifier, true, -1},
      {Qt::Key_F7, Qt::NoModifier, true, -1},      {Qt::Key_F8, Qt::NoModifier, true, -1},
      {Qt::Key_F9, Qt::NoModifier, true, -1},      {Qt::Key_F5, Qt::NoModifier, false, -1},
  };
  for (const Step& s : steps) {
    const int before = h.bus.afterSteps;
    h.key(s.key, s.mods);
    EXPECT_EQ(h.running(), s.runningAfter) << s.key;
    if (s.pcAfter >= 0) {
      EXPECT_EQ(h.cpu().PC, s.pcAfter) << s.key;
      EXPECT_LE(h.bus.afterSteps - before, 1) << s.key;
    }
  }
}

TEST(CPUForm, BreakpointSetInTheWindowStopsTheRunAndShowsIt) {
  Host h(kStoreLoop);
  h.cpu().HL = 0x9000;
  TCPUForm& form = h.form();
  h.key(Qt::Key_F9);
  ASSERT_TRUE(h.running());
  EXPECT_FALSE(form.isVisible());
  ASSERT_TRUE(WaitFor([&] { return !form.PopupBreakpoint->isEnabled(); }));

  form.DasmPanelSetBreakpoint(0x0002);  // the gutter's double click, while running
  EXPECT_TRUE(form.PopupResetBreakpoints->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }));
  EXPECT_EQ(h.breakpointCalls, 1);
  EXPECT_FALSE(h.running());
  EXPECT_EQ(h.object.BreakpointHit.load(), 0);
  EXPECT_EQ(h.cpu().PC, 2);
  EXPECT_EQ(form.RegistersPanel->CurrentRegs.GetPC(), 2);
  EXPECT_EQ(form.RegistersPanel->CurrentRegs.GetHL(), 0x9000);
  EXPECT_EQ(form.DasmPanel->GetSelectedAddress(), 2);
  EXPECT_TRUE(WaitFor([&] { return form.PopupBreakpoint->isEnabled(); }));

  // Run from the breakpoint: it is passed once and met again a lap later.
  h.bus.memory[0x9000] = 0x11;
  h.cpu().AF = 0x2200;
  h.key(Qt::Key_F9);
  ASSERT_TRUE(WaitFor([&] { return h.breakpointCalls == 2 && !h.object.BreakpointHit.load(); }));
  EXPECT_EQ(h.cpu().PC, 2);
  EXPECT_EQ(h.bus.memory[0x9000], 0x22);  // LD (HL),A ran once
  EXPECT_EQ(h.cpu().AF >> 8, 0x00);       // and LD A,#00 after it

  // Toggled off, and reset: the run is no longer stopped.
  form.DasmPanelSetBreakpoint(0x0002);
  EXPECT_FALSE(form.PopupResetBreakpoints->isEnabled());
  form.DasmPanelSetBreakpoint(0x0003);
  form.PopupResetBreakpointsClick();
  EXPECT_EQ(h.object.HasBreakpoints.load(), 0);
  h.key(Qt::Key_F9);
  EXPECT_TRUE(h.running());
  h.key(Qt::Key_F5);
}

TEST(CPUForm, EditsAreWhatTheMachineThenUses) {
  Host h(kStoreLoop);
  TCPUForm& form = h.form();
  Z80_ShowCPU(&h.object);
  // Stopped: HL and the carry flag are edited; refused while running.
  h.dialogs.Answer({"#9000"});
  form.RegistersPanelRegisterDblClick(4);
  EXPECT_EQ(h.dialogs.queries.back().caption, "Изменение регистра HL");
  EXPECT_EQ(h.dialogs.queries.back().shown, "#0000");
  EXPECT_EQ(h.cpu().HL, 0x9000);
  EXPECT_EQ(form.RegistersPanel->CurrentRegs.GetHL(), 0x9000);
  form.FlagsPanelFlagDblClick(0x01);
  EXPECT_EQ(h.cpu().AF & 0xFF, 0x01);

  h.key(Qt::Key_F9);
  h.dialogs.Answer({"#1234"});
  form.RegistersPanelRegisterDblClick(4);
  form.FlagsPanelFlagDblClick(0x01);
  EXPECT_EQ(h.dialogs.Unanswered(), 1u);
  h.dialogs.Reset();

  // Running: the operand of LD A,n is changed, then the instruction itself
  // through the line assembler; both are written with the run stopped, and
  // the run goes on.
  h.dialogs.Answer({"#5A"});
  form.MemoryViewerMemoryCellDblClick(0x0001);
  EXPECT_EQ(h.dialogs.queries.back().caption, "Изменение байта памяти #0001");
  EXPECT_TRUE(h.running());
  ASSERT_TRUE(WaitFor([&] { return h.bus.memory[0x9000] == 0x5A; }));

  h.dialogs.Answer({"LD Q,1", "LD A,#77"});  // the first is refused, then asked again
  form.DasmPanelMnemonicClick(0x10000);
  EXPECT_EQ(h.dialogs.queries[1].caption, "Встроенный ассемблер (#0000)");
  EXPECT_EQ(h.dialogs.queries[1].shown, "LD A,#5A");
  EXPECT_TRUE(h.running());
  ASSERT_TRUE(WaitFor([&] { return h.bus.memory[0x9000] == 0x77; }));
  h.key(Qt::Key_F5);
  EXPECT_FALSE(h.wroteWhileRunning);
}

TEST(CPUForm, StatusLabels) {
  Host h({0x00});
  TCPUForm& form = h.form();
  Z80_ShowCPU(&h.object);
  h.cpu().IR = 0x8000;
  h.cpu().SP = 0x7000;
  h.bus.Load(0x7000, {0xCD, 0xAB});
  h.bus.Load(0x80FF, {0x34, 0x12});
  // Modes from 2 up read the table; below, the fixed restart address.
  const std::pair<uint32_t, const char*> cases[] = {
      {0, "Vector: #0038"}, {1, "Vector: #0038"}, {2, "Vector: #1234"}, {3, "Vector: #1234"}};
  for (const auto& [im, text] : cases) {
    h.cpu().Req.IM = im;
    form.RefreshView(false);
    EXPECT_EQ(form.LabelVector->text().toStdString(), text);
  }
  EXPECT_EQ(form.LabelStack->text().toStdString(), "(SP) = #ABCD");
  h.cpu().Req.IM = 0;
  for (const char* want : {"IM: 1", "IM: 2", "IM: 0"}) {
    form.LabelIMClick();
    EXPECT_EQ(form.LabelIM->text().toStdString(), want);
  }
  form.LabelIFF1Click();
  EXPECT_EQ(form.LabelIFF2->text().toStdString(), "IFF2: On");
}

TEST(CPUForm, ListingFromTheMenu) {
  Host h({0x01, 0x00, 0x40, 0x00});
  TCPUForm& form = h.form();
  const auto dir = std::filesystem::temp_directory_path() / "ovrin_cpu_form_listing";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "code.lst").string();
  const std::string banner = "--- Memory dump, generated by Z80 engine (ovrin) ------\r\n\r\n";

  h.dialogs.Answer({path, "#0000", "#0000"});
  form.PopupSaveListingClick();
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), banner + ":0000  010040                 LD     BC,#4000     ; 10 T\r\n");
  EXPECT_EQ(h.dialogs.queries[0].shown, "dump");

  struct Case {
    const char* name;
    std::string file;
    bool failWrite;
    const char* message;
  };
  const Case cases[] = {
      {"no such directory", (dir / "none" / "x.lst").string(), false, "Ошибка открытия файла!"},
      {"the write fails", (dir / "failed.lst").string(), true, "Ошибка записи файла!"},
  };
  std::string lastFile = path, lastStart = "#0000";
  for (const Case& c : cases) {
    h.dialogs.Reset();
    h.dialogs.Answer({c.file, "#0003", "#0000"});
    platform::FileWriter previousWriter;
    if (c.failWrite)
      previousWriter = platform::SetFileWriterForTesting([](auto&, auto, auto) { return false; });
    form.PopupSaveListingClick();
    if (c.failWrite) platform::SetFileWriterForTesting(previousWriter);
    // The dialogs start from what was given last time.
    ASSERT_EQ(h.dialogs.queries.size(), 3u) << c.name;
    EXPECT_EQ(h.dialogs.queries[0].shown, lastFile) << c.name;
    EXPECT_EQ(h.dialogs.queries[1].shown, lastStart) << c.name;
    lastFile = c.file;
    lastStart = "#0003";
    ASSERT_EQ(h.dialogs.Count(), 1u) << c.name;
    EXPECT_EQ(h.dialogs.Messages()[0].text, c.message) << c.name;
    EXPECT_FALSE(std::filesystem::exists(c.file)) << c.name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
