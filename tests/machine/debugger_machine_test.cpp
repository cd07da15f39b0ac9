// The debugger window of the running machine, driven as a user drives it:
// keys, its menus and its viewers, found by name in the window the library
// made. A breakpoint at a CALL stops the run, the window steps over the call
// and runs on, and edited registers and memory are what the program uses.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>

#include "machine/snapshot_loader.h"
#include "machine_test_util.h"
#include "support/scripted_dialogs.h"
#include "support/wait_for_events.h"
#include "z80/z80_host.h"

using namespace machine_test;
using testing_support::WaitFor;

namespace {

QWidget* CpuWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("CPUForm")) return w;
  return nullptr;
}

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

TEST(DebuggerOnTheMachine, StepOverACallThenRunAndEdit) {
  testing_support::ScriptedDialogs dialogs;
  platform::Dialogs* previous = Z80_SetDialogs(&dialogs);
  auto m = MakeMachine();
  QWidget* form = CpuWindow();
  ASSERT_NE(form, nullptr);

  // DI; LD HL,#9000; loop: CALL count; JR loop; count: INC (HL); RET
  Poke(*m, 0x8000, {0xF3, 0x21, 0x00, 0x90, 0xCD, 0x0A, 0x80, 0x18, 0xFB, 0x00, 0x34, 0xC9});
  m->Cpu().PC = 0x8000;
  m->Cpu().SP = 0xFF00;
  ASSERT_EQ(m->StartCpu(), Z80_OK);
  Key(form, Qt::Key_F5);
  ASSERT_FALSE(m->IsCpuRunning());

  // A breakpoint on the CALL, set through the code display's menu.
  auto action = [&](const char* name) {
    return form->findChild<QAction*>(QString::fromUtf8(name));
  };
  dialogs.Answer({"#8004"});
  action("PopupViewAddress")->trigger();
  ASSERT_TRUE(WaitFor([&] { return action("PopupBreakpoint")->isEnabled(); }));
  action("PopupBreakpoint")->trigger();
  Key(form, Qt::Key_F9);
  ASSERT_TRUE(WaitFor([&] { return form->isVisible(); }));
  EXPECT_FALSE(m->IsCpuRunning());
  EXPECT_EQ(m->Cpu().PC, 0x8004);
  const uint8_t count = m->Windows[2][0x1000];

  Key(form, Qt::Key_F8);
  EXPECT_EQ(m->Cpu().PC, 0x8007);
  EXPECT_EQ(m->Windows[2][0x1000], uint8_t(count + 1));

  Key(form, Qt::Key_F9);  // runs, and stops on the CALL a lap later
  ASSERT_TRUE(WaitFor([&] { return !m->IsCpuRunning() && m->Cpu().PC == 0x8004; }));
  EXPECT_EQ(m->Windows[2][0x1000], uint8_t(count + 1));

  // HL (the fifth row) and the byte at #9100, edited in their viewers.
  QWidget* registers = form->findChild<QWidget*>(QStringLiteral("RegistersPanel"));
  for (int i = 0; i < 4; ++i) Key(registers, Qt::Key_Down);
  dialogs.Answer({"#9100"});
  Key(registers, Qt::Key_Return);
  dialogs.Answer({"#9100"});
  action("SubMenuMemViewAddress")->trigger();
  QWidget* memory = form->findChild<QWidget*>(QStringLiteral("MemoryViewer"));
  form->activateWindow();
  memory->setFocus();  // the dump edits its cell only with the focus
  ASSERT_TRUE(WaitFor([&] { return memory->hasFocus(); }));
  dialogs.Answer({"#40"});
  Key(memory, Qt::Key_Return);
  EXPECT_EQ(dialogs.Unanswered(), 0u);

  Key(form, Qt::Key_F9);
  ASSERT_TRUE(WaitFor([&] { return !m->IsCpuRunning() && m->Cpu().PC == 0x8004; }));
  EXPECT_EQ(m->Windows[2][0x1100], 0x41);
  EXPECT_EQ(m->Windows[2][0x1000], uint8_t(count + 1));

  m.reset();
  EXPECT_EQ(CpuWindow(), nullptr);  // destroyed with its instance
  Z80_SetDialogs(previous);
}

// A 48K .SNA image in IM 2: PC and the word above it on the loaded stack.
std::vector<uint8_t> Sna48(uint16_t sp, uint16_t pc, uint16_t above) {
  std::vector<uint8_t> file(27 + 49152, 0);
  file[23] = uint8_t(sp);
  file[24] = uint8_t(sp >> 8);
  file[25] = 2;
  const size_t top = 27 + sp - 0x4000;
  file[top] = uint8_t(pc);
  file[top + 1] = uint8_t(pc >> 8);
  file[top + 2] = uint8_t(above);
  file[top + 3] = uint8_t(above >> 8);
  return file;
}

// Changes of a stopped machine made from outside the debugger (a snapshot,
// a register set by a loader, memory): the shown window follows at once,
// and moves its code display only when the change moved PC.
TEST(DebuggerOnTheMachine, FollowsChangesOfAStoppedMachine) {
  testing_support::ScriptedDialogs dialogs;
  platform::Dialogs* previous = Z80_SetDialogs(&dialogs);
  auto m = MakeMachine();
  QWidget* form = CpuWindow();
  ASSERT_NE(form, nullptr);
  const auto shown = [&](const char* label) {
    return form->findChild<QLabel*>(QString::fromLatin1(label))->text().toStdString();
  };
  // Where the code display stands: the address its "view address" query offers.
  auto* viewAddress = form->findChild<QAction*>(QStringLiteral("PopupViewAddress"));
  const auto codeAt = [&] {
    dialogs.Answer({std::nullopt});
    viewAddress->trigger();
    return dialogs.queries.back().shown;
  };

  QTemporaryDir dir;
  const std::string sna = QDir(dir.path()).filePath("game.sna").toStdString();
  {
    const auto bytes = Sna48(0xFE00, 0x9123, 0xBEEF);
    std::ofstream(sna, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               std::streamsize(bytes.size()));
  }

  struct Case {
    const char* what;
    std::function<void(TZXHardware&)> change;
    const char *im, *stack, *code;
  };
  const Case cases[] = {
      {"snapshot", [&](TZXHardware& t) { ASSERT_TRUE(LoadSnapshot(t, sna)); }, "IM: 2", "(SP) = #BEEF",
       "#9123"},
      {"register", [](TZXHardware& t) { t.ChangeWithCpuStopped([&] { t.Cpu().Req.IM = 2; }); }, "IM: 2",
       "(SP) = #0000", "#8010"},
      {"memory", [](TZXHardware& t) { t.ChangeWithCpuStopped([&] { Poke(t, 0xFF00, {0xCD, 0xAB}); }); },
       "IM: 0", "(SP) = #ABCD", "#8010"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Poke(*m, 0xFF00, {0, 0});
    m->Cpu().PC = 0x8000;
    m->Cpu().SP = 0xFF00;
    m->Cpu().Req.IM = 0;
    ASSERT_EQ(Z80_ShowCPU(&m->CpuHandle), Z80_OK);
    dialogs.Answer({"#8010"});  // the user looks elsewhere
    viewAddress->trigger();

    c.change(*m);
    EXPECT_FALSE(m->IsCpuRunning());
    EXPECT_EQ(shown("LabelIM"), c.im);
    EXPECT_EQ(shown("LabelStack"), c.stack);
    EXPECT_EQ(codeAt(), c.code);
  }
  m.reset();
  Z80_SetDialogs(previous);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  Z80_Shutdown();
  return status;
}
