// The debugger window over a flat test machine: the keys against a running
// and a stopped processor, a breakpoint set in the window, writes made while
// the processor runs, the vector label, and listing files from the menu.
#include "z80/debugger/qt/cpu_form.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "support/scripted_dialogs.h"
#include "support/wait_for_events.h"
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

  const struct {
    std::string file;
    bool failWrite;
    const char* message;
  } cases[] = {
      {(dir / "none" / "x.lst").string(), false, "Ошибка открытия файла!"},
      {(dir / "failed.lst").string(), true, "Ошибка записи файла!"},
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
  std::filesystem::remove_all(dir);
}

}  // namespace
