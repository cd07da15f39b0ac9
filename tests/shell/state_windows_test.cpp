// The three state windows refreshing, and the machine window's inputs
// applied, while the machine's run thread runs a program that pages memory,
// writes the sound chip and reads a disk (state_windows.asm). Also run under
// ThreadSanitizer: the windows must read nothing the run thread writes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "disk/formats.h"
#include "platform/dialogs.h"
#include "shell/qt/state_ay_form.h"
#include "shell/qt/state_hardware_form.h"
#include "shell/qt/state_vg93_form.h"
#include "state_test_util.h"

namespace {

using state_test::MakeMachine;

QString Box(const QWidget& form, const char* name) {
  const auto* box = form.findChild<QLabel*>(name);
  return box ? box->text() : QString("<no %1>").arg(name);
}

void InsertBlankDisk(TZXHardware& m) {
  const std::vector<uint8_t> trd(80 * 2 * 16 * 256, 0);
  disk::LoadResult disk = disk::LoadTrd(trd, {});
  ASSERT_TRUE(disk.Ok);
  m.FloppyController.InsertDisk(0, std::move(disk.Disk), disk::ImageFormat::Trd, true, "state.trd");
}

TEST(StateWindows, RefreshWhileTheMachineRuns) {
  state_test::ScriptedInput dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  auto m = MakeMachine();
  std::ifstream file(STATE_WINDOWS_PROGRAM, std::ios::binary);
  const std::vector<char> program{std::istreambuf_iterator<char>(file), {}};
  ASSERT_FALSE(program.empty());
  std::copy(program.begin(), program.end(), m->TrdosRomSlot);
  m->SoundChip.AYRegistersEmulation = 1;
  InsertBlankDisk(*m);
  m->ResetToTrdos();

  TFormStateHardware hardware(*m);
  TFormStateAY ay(*m);
  TFormStateVG93 vg93(*m);
  hardware.show();
  ay.show();
  vg93.show();
  EXPECT_TRUE(m->StateSlot.Watched());
  ASSERT_EQ(m->StartCpu(), Z80_OK);

  std::set<QString> pages, r4r5, motors, selected;
  bool inputsDone = false;
  for (int i = 0; i < 20000 && (pages.size() < 3 || r4r5.size() < 3 || !motors.count("ON") ||
                                !inputsDone);
       ++i) {
    hardware.TimerUpdateTimer();
    ay.TimerUpdateTimer();
    vg93.TimerUpdateTimer();
    pages.insert(Box(hardware, "LabelPage"));
    r4r5.insert(Box(ay, "LabelR4R5"));
    selected.insert(Box(ay, "LabelCurReg"));
    motors.insert(Box(vg93, "LabelMotor"));
    if (!inputsDone && !Box(hardware, "LabelTaktFrame").isEmpty()) {
      // Each input stops the processor, acts and restarts it.
      dialogs.entries = {"100", "#03"};
      hardware.LabelTaktFrameClick();
      hardware.LatchClick(kLatch7FFD);
      hardware.LabelTaktGlobalClick();
      EXPECT_TRUE(m->IsCpuRunning());
      inputsDone = true;
    }
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(m->IsCpuRunning());
  ASSERT_EQ(m->StopCpu(), Z80_OK);

  EXPECT_GE(pages.size(), 3u);
  EXPECT_GE(r4r5.size(), 3u);
  EXPECT_TRUE(motors.count("ON"));
  EXPECT_TRUE(selected.count("#07"));
  EXPECT_EQ(dialogs.queries.size(), 2u);
  EXPECT_TRUE(dialogs.Messages().empty());

  // Stopped, a refresh shows the machine as it stands.
  hardware.TimerUpdateTimer();
  EXPECT_EQ(Box(hardware, "LabelMap0"), "ROM seg3");
  EXPECT_EQ(Box(hardware, "Label7FFD"), QString::asprintf("#%02X", unsigned(m->Port7FFD)));

  hardware.hide();
  ay.hide();
  vg93.hide();
  EXPECT_FALSE(m->StateSlot.Watched());
  EXPECT_FALSE(hardware.TimerUpdate.isActive());
  platform::SetDialogs(previous);
}

// Two-digit pages of the 1024K models show whole in the narrow map boxes.
TEST(StateWindows, MemoryMapBoxesHoldTwoDigitPages) {
  auto m = MakeMachine();
  m->SetMemoryModel(2);  // Pentagon 1024
  m->ChangePort7FFD(0xFF);
  TFormStateHardware hardware(*m);
  hardware.show();
  hardware.TimerUpdateTimer();
  EXPECT_EQ(Box(hardware, "LabelPage"), "#3F");
  const auto* box = hardware.findChild<QLabel*>("LabelMap3");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "RAM seg63");
  EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), box->contentsRect().width());
  hardware.hide();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
