#include "shell/machine_devices.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class Sink final : public platform::DisplaySink {
 public:
  void PictureReady() override { ++ready; }
  void PictureSizeChanged(int w, int h) override { width = w, height = h; }
  int ready = 0, width = 0, height = 0;
};

TEST(MachineDisplay, FrameEndHandsThePictureAndPaletteOver) {
  auto m = std::make_unique<TZXHardware>();
  platform::DisplayOutput out;
  Sink sink;
  out.set_sink(&sink);
  TDisplayDevice display(out);
  m->SetDisplayOutput(&display);
  m->Limit50Hz = 0;
  m->BorderLatch = 2;  // red border
  m->SpectrumPalette[2 * 3] = 0xAB;
  m->EndFrame();
  ASSERT_EQ(sink.ready, 1);
  platform::Picture pic;
  ASSERT_TRUE(out.slot().Take(pic));
  EXPECT_EQ(pic.width, 320);
  EXPECT_EQ(pic.height, 240);
  EXPECT_EQ(pic.pixels[0], 16 + 2);
  EXPECT_EQ(pic.palette[18] >> 16, 0xABu);
  EXPECT_EQ(pic.palette[8], 0x808080u);  // interface grey

  // The 512-pixel mode: the GUI hears of the new size.
  m->SetScreenMode(1);
  EXPECT_EQ(sink.width, 640);
  EXPECT_EQ(sink.height, 480);
  m->EndFrame();
  ASSERT_TRUE(out.slot().Take(pic));
  EXPECT_EQ(pic.width, 640);
  EXPECT_EQ(pic.pixels.size(), 640u * 480u);
  m->SetScreenMode(0);
  EXPECT_EQ(sink.width, 320);
  m->SetDisplayOutput(nullptr);
}

// A command through the disk ports lights the disk icon (top right, 5 rows
// down) on the next picture only.
TEST(MachineDisplay, DiskWorkShowsTheIconForOneFrame) {
  auto m = std::make_unique<TZXHardware>();
  platform::DisplayOutput out;
  TDisplayDevice display(out);
  m->SetDisplayOutput(&display);
  m->Limit50Hz = 0;
  m->BorderLatch = 2;
  m->TrdosActive = 1;
  m->Out(0x001F, 0x80);  // Read Sector
  const size_t iconCorner = 5 * 320 + 320 - 18;
  platform::Picture pic;
  for (int expected : {9, 16 + 2}) {
    m->EndFrame();
    ASSERT_TRUE(out.slot().Take(pic));
    EXPECT_EQ(pic.pixels[iconCorner], expected);
  }
  m->ShowDiskActivity = 0;
  m->Out(0x001F, 0x80);
  m->BorderLatch = 3;  // a new picture: a still one is not handed over again
  m->EndFrame();
  ASSERT_TRUE(out.slot().Take(pic));
  EXPECT_EQ(pic.pixels[iconCorner], 16 + 3);
  m->SetDisplayOutput(nullptr);
}

TEST(MachineInput, PollsFillTheMachinesBytes) {
  auto m = std::make_unique<TZXHardware>();
  platform::InputState state;
  platform::InputDevices devices(state);
  TInputDevice input(devices);
  devices.Create();
  m->KempstonMouseButtons = 0xFF;
  state.KeyDown(0x19);  // P
  state.KeyDown(0x47);  // keypad 7
  state.AddMouseMotion(4, -1);
  state.SetMouseButton(platform::kMouseLeft, true);
  m->SwapMouseButtons = 1;
  input.PollKeyboard(*m);
  input.PollKeypadJoystick(*m);
  {
    // Busy display: the mouse waits.
    std::lock_guard<std::mutex> busy(m->DisplayBusy);
    input.PollMouse(*m);
    EXPECT_EQ(m->KempstonMouseX, 0x80);
  }
  input.PollMouse(*m);
  EXPECT_EQ(m->KeyboardRows[2], 0xFE);
  EXPECT_EQ(m->KempstonJoystick, 0x0A);
  EXPECT_EQ(m->KempstonMouseX, 0x84);
  EXPECT_EQ(m->KempstonMouseY, 0x81);
  EXPECT_EQ(m->KempstonMouseButtons, 0xFE);  // swapped: left is bit 0
  EXPECT_EQ(AyMouseX & 0x30, 0x10);
}

}  // namespace
