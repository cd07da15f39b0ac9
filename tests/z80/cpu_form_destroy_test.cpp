// A Qt host whose OnRead destroys its own instance, once, from inside the
// debugger window's own handlers: Ctrl+4, the refresh items, the status
// labels, the edits and a paint after a resize. Each
// destroy is refused with code 2 and no box, and the window lives through
// the handler (this runs under AddressSanitizer too).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/scripted_dialogs.h"
#include "support/wait_for_events.h"
#include "z80/debugger/qt/cpu_form.h"
#include "z80/debugger/qt/disassembly_viewer.h"
#include "z80/debugger/qt/memory_viewer.h"
#include "z80/debugger/qt/registers_viewer.h"
#include "z80_test_bus.h"

namespace {

using testing_support::WaitFor;
using z80test::TestBus;

struct Host {
  static inline Host* current = nullptr;
  TestBus bus;
  TZ80Object object;
  testing_support::ScriptedDialogs dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  bool armed = false;
  int destroyCode = -1;

  Host() {
    current = this;
    bus.record = false;
    bus.Load(0, {0x00, 0x00, 0x00, 0x18, 0xFB});
    Z80_Create("destroy", TestBus::Fetch, &Read, TestBus::Write, TestBus::In, TestBus::Out,
               TestBus::IntCheck, nullptr, nullptr, &bus, &object);
  }
  ~Host() {
    Z80_Destroy(&object);
    platform::SetDialogs(previous);
    current = nullptr;
  }
  static uint8_t Read(uint32_t a, void* u) {
    Host& h = *current;
    if (h.armed) {
      h.armed = false;
      h.destroyCode = Z80_Destroy(&h.object);
    }
    return TestBus::Read(a, u);
  }
  TCPUForm& form() { return *dynamic_cast<TCPUForm*>(object.Form); }
};

void Send(QWidget* to, QEvent&& event) { QCoreApplication::sendEvent(to, &event); }

void LeftClick(QLabel* label) {
  const QPointF at = label->rect().center();
  const QPointF global = label->mapToGlobal(at);
  Send(label, QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier));
  Send(label, QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier));
}

void Trigger(TCPUForm& form, const char* item) {
  QAction* action = form.findChild<QAction*>(QString::fromUtf8(item));
  ASSERT_NE(action, nullptr) << item;
  ASSERT_TRUE(action->isEnabled()) << item;
  action->trigger();
}

TEST(CPUFormDestroy, FromOnReadInsideTheWindowsOwnHandlersIsRefused) {
  const struct {
    const char* name;
    std::vector<std::optional<std::string>> answers;
    std::function<void(TCPUForm&)> act;
  } cases[] = {
      {"Ctrl+4 in the code view", {}, [](TCPUForm& f) {
         Send(f.DasmPanel, QKeyEvent(QEvent::KeyPress, Qt::Key_4, Qt::ControlModifier));
       }},
      {"code refresh item", {}, [](TCPUForm& f) { Trigger(f, "SubMenuDasmRefresh"); }},
      {"register refresh item", {}, [](TCPUForm& f) { Trigger(f, "SubMenuRefreshRegs"); }},
      {"memory refresh item", {}, [](TCPUForm& f) { Trigger(f, "SubMenuMemRefresh"); }},
      {"IFF1 label", {}, [](TCPUForm& f) { LeftClick(f.LabelIFF1); }},
      {"IFF2 label", {}, [](TCPUForm& f) { LeftClick(f.LabelIFF2); }},
      {"IM label", {}, [](TCPUForm& f) { LeftClick(f.LabelIM); }},
      {"Halted label", {}, [](TCPUForm& f) { LeftClick(f.LabelHLT); }},
      {"memory edit", {"#12"}, [](TCPUForm& f) {
         f.MemoryViewer->OnMemoryCellDblClick(f.MemoryViewer, 0x8000);
       }},
      {"assembler", {"LD A,1"}, [](TCPUForm& f) {
         f.DasmPanel->OnMnemonicClick(f.DasmPanel, 0x8000);
       }},
      {"register edit", {"#1234"}, [](TCPUForm& f) {
         f.RegistersPanel->OnRegisterDblClick(f.RegistersPanel, 4);
       }},
      {"flag edit", {}, [](TCPUForm& f) { f.FlagsPanel->OnFlagDblClick(f.FlagsPanel, 0x80); }},
      {"paint after a resize", {}, [](TCPUForm& f) {
         f.resize(f.size() + QSize(60, 40));
         f.DasmPanel->repaint();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Host h;
    ASSERT_EQ(Z80_ShowCPU(&h.object), Z80_OK);
    TCPUForm& form = h.form();
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }));
    QApplication::processEvents();
    for (const auto& answer : c.answers) h.dialogs.Answer({answer});
    h.armed = true;
    c.act(form);
    // Some reads come with the paint that follows.
    EXPECT_TRUE(WaitFor([&] { return !h.armed; })) << "the handler read through OnRead";
    EXPECT_EQ(h.destroyCode, Z80_BUSY);
    EXPECT_NE(h.object.StateRecord, nullptr);
    EXPECT_EQ(h.object.Form, &form);
    EXPECT_EQ(h.dialogs.Unanswered(), 0u) << "the handler went on to its end";
    EXPECT_TRUE(h.dialogs.Messages().empty()) << "refused without a box";
    QApplication::processEvents();
    EXPECT_EQ(Z80_Destroy(&h.object), Z80_OK);
  }
}

}  // namespace
