// The debugger window of the running machine, driven as a user drives it:
// keys, its menus and its viewers, found by name in the window the library
// made. A breakpoint at a CALL stops the run, the window steps over the call
// and runs on, and edited registers and memory are what the program uses.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QWidget>

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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  Z80_Shutdown();
  return status;
}
