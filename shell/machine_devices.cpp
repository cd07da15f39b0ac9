#include "shell/machine_devices.h"

platform::Palette MachinePalette(const TZXHardware& machine) {
  TPaletteEntry entries[platform::kPaletteEntries];
  machine.FillPaletteEntries(entries, platform::kPaletteEntries);
  platform::Palette palette;
  for (int i = 0; i < platform::kPaletteEntries; ++i)
    palette[i] = (uint32_t{entries[i].Red} << 16) | (uint32_t{entries[i].Green} << 8) | entries[i].Blue;
  return palette;
}

void TDisplayDevice::PresentFrame(TZXHardware& m) {
  const platform::Palette palette = MachinePalette(m);
  platform::PresentRequest r;
  r.pixels = m.FrameBuffer;
  r.width = static_cast<int>(m.ScreenWidth);
  r.height = static_cast<int>(m.PictureLines);
  r.palette = &palette;
  r.limit_50hz = m.Limit50Hz != 0;
  r.video_sync = m.VideoSync != 0;
  r.show_fps = m.ShowFps != 0;
  r.show_disk_activity = m.ShowDiskActivity != 0;
  // The controller marks disk work as it happens; the icon then counts its
  // frames down from the machine's counter.
  if (m.FloppyController.DiskActivity.exchange(0, std::memory_order_relaxed) > 0) m.DiskActivity = 1;
  r.disk_activity = &m.DiskActivity;
  r.frame_period_ticks = m.FramePeriodTicks;
  r.clock_hz = m.CPUClockHz;
  output_->Present(r);
}

void TDisplayDevice::SetScreenMode(TZXHardware& m, int) {
  output_->PictureSizeChanged(static_cast<int>(m.ScreenWidth), static_cast<int>(m.PictureLines));
}

void TDisplayDevice::LeaveFullScreen(TZXHardware&) {
  if (leave_full_screen_) leave_full_screen_();
}

void TInputDevice::PollKeyboard(TZXHardware& m) { devices_->PollKeyboard(m.KeyboardRows); }

void TInputDevice::PollKeypadJoystick(TZXHardware& m) { devices_->PollKeypadJoystick(m.KempstonJoystick); }

void TInputDevice::PollMouse(TZXHardware& m) {
  // Skipped while the display is being set up; the motion waits for the next poll.
  std::unique_lock<std::mutex> busy(m.DisplayBusy, std::try_to_lock);
  if (!busy.owns_lock()) return;
  platform::MouseBytes b;
  b.kempston_x = m.KempstonMouseX;
  b.kempston_y = m.KempstonMouseY;
  b.kempston_buttons = m.KempstonMouseButtons;
  b.ay_x = AyMouseX;
  b.ay_y = AyMouseY;
  devices_->PollMouse(b, m.SwapMouseButtons != 0);
  m.KempstonMouseX = b.kempston_x;
  m.KempstonMouseY = b.kempston_y;
  m.KempstonMouseButtons = b.kempston_buttons;
  AyMouseX = b.ay_x;
  AyMouseY = b.ay_y;
}
