// Display output without a toolkit: the run thread finishes a picture of
// 8-bit palette indices and hands it to whoever shows it. The hand-over never
// waits for the GUI thread (which itself waits for the run thread when it
// stops the processor); a picture the GUI has not taken yet is simply
// replaced by the newer one, so nothing queues up when the GUI is slow.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host_clock.h"

namespace platform {

inline constexpr int kPaletteEntries = 32;  // 0-15 interface colours, 16-31 Spectrum colours
using Palette = std::array<uint32_t, kPaletteEntries>;  // 0xRRGGBB

// One finished picture with everything needed to show it.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height palette indices, top row first
  Palette palette{};
  bool show_fps = false;
  uint32_t fps = 0;
  uint64_t serial = 0;  // 1 for the first picture handed over
};

// "FPS: %02d": the overlay text drawn over the picture.
std::string FpsText(uint32_t fps);

// The single-picture hand-over between the run thread and the GUI thread.
class PictureSlot {
 public:
  // Run thread. Copies the picture in; returns true when the GUI has taken
  // every earlier picture and so must be told about this one.
  bool Put(const uint8_t* pixels, int width, int height, const Palette& palette, bool show_fps,
           uint32_t fps);
  // Run thread. True when this is the picture put last (same size, palette,
  // overlay and pixels), which the GUI therefore has already.
  bool SameAsLast(const uint8_t* pixels, int width, int height, const Palette& palette,
                  bool show_fps, uint32_t fps) const;
  // GUI thread. Moves the newest picture into out (reusing its buffer);
  // false when nothing arrived since the last take.
  bool Take(Picture& out);
  // GUI thread, once the picture with this serial is on screen.
  void MarkShown(uint64_t serial);
  // Run thread: waits until the picture with this serial (or a later one)
  // was shown, at most timeout. False on timeout.
  bool WaitShown(uint64_t serial, std::chrono::milliseconds timeout);

  uint64_t last_put() const { return put_serial_.load(std::memory_order_acquire); }
  uint64_t last_shown() const { return shown_serial_.load(std::memory_order_acquire); }

 private:
  std::mutex mutex_;
  std::condition_variable shown_cv_;
  Picture pending_;
  bool has_pending_ = false;
  Picture last_;  // the run thread's copy of the picture put last
  std::atomic<uint64_t> put_serial_{0};
  std::atomic<uint64_t> shown_serial_{0};
};

// Keeps presents at one per frame period (Limit 50 Hz): each present leaves
// no earlier than a full period after the previous one's deadline, reached
// by sleeping.
class FramePacer {
 public:
  explicit FramePacer(PaceClock& clock) : clock_(&clock) {}
  void set_clock(PaceClock& clock) { clock_ = &clock; }
  // period_ticks and clock_hz in time-stamp ticks. Returns the reading at
  // which the present may go.
  uint64_t Pace(uint64_t period_ticks, uint64_t clock_hz);
  uint64_t last_stamp() const { return last_stamp_; }

 private:
  PaceClock* clock_;
  uint64_t last_stamp_ = 0;
};

// Frames per second over groups of four presents, rounded to the nearest
// integer with halves going up.
class FpsMeter {
 public:
  void FramePresented(uint64_t now, uint64_t clock_hz);
  uint32_t value() const { return value_; }

 private:
  uint32_t value_ = 0;
  uint32_t count_ = 0;
  uint64_t stamp_ = 0;
};

// The receiving side of the display, implemented by the GUI. Every call may
// come from the run thread and must return without waiting for the GUI.
class DisplaySink {
 public:
  virtual ~DisplaySink() = default;
  // A new picture is in the slot.
  virtual void PictureReady() = 0;
  // The picture size changed (320 x 240 or 640 x 480); the window follows.
  virtual void PictureSizeChanged(int width, int height) = 0;
};

class NullDisplaySink final : public DisplaySink {
 public:
  void PictureReady() override {}
  void PictureSizeChanged(int, int) override {}
};

// The 14 x 14 disk-activity icon in interface colours.
extern const uint8_t kDiskIcon[14][14];
// Copies the disk icon into the top right corner of a picture.
void DrawDiskIcon(uint8_t* pixels, int width);

// Everything a present needs from the machine.
struct PresentRequest {
  uint8_t* pixels = nullptr;  // the finished picture; the disk icon is drawn into it
  int width = 320;
  int height = 240;
  const Palette* palette = nullptr;
  bool limit_50hz = true;
  bool video_sync = false;
  bool show_fps = false;
  bool show_disk_activity = true;
  int32_t* disk_activity = nullptr;  // frames the disk icon still shows; counted down
  uint64_t frame_period_ticks = 0;   // time-stamp ticks per 1/50 s
  uint64_t clock_hz = 0;             // time-stamp ticks per second
};

// The display output of the run thread: disk icon, pacing, hand-over to the
// GUI, video sync and the FPS measurement, in that order.
class DisplayOutput {
 public:
  DisplayOutput();
  explicit DisplayOutput(PaceClock& clock);

  void set_sink(DisplaySink* sink) { sink_.store(sink ? sink : &null_sink_); }
  void set_clock(PaceClock& clock) { pacer_.set_clock(clock); clock_ = &clock; }
  // Upper bound of the video-sync wait, so that a hidden window cannot stall
  // the emulation.
  static constexpr std::chrono::milliseconds kVideoSyncTimeout{40};

  void Present(const PresentRequest& request);
  // The picture size changed; forwarded to the GUI without waiting.
  void PictureSizeChanged(int width, int height) { sink_.load()->PictureSizeChanged(width, height); }

  PictureSlot& slot() { return slot_; }
  const FpsMeter& fps() const { return fps_; }
  uint64_t presents() const { return presents_.load(std::memory_order_acquire); }

 private:
  TimeStampClock default_clock_;
  PaceClock* clock_;
  FramePacer pacer_;
  FpsMeter fps_;
  PictureSlot slot_;
  NullDisplaySink null_sink_;
  std::atomic<DisplaySink*> sink_;
  std::atomic<uint64_t> presents_{0};
};

}  // namespace platform
