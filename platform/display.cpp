#include "platform/display.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform {

std::string FpsText(uint32_t fps) {
  char text[32];
  std::snprintf(text, sizeof text, "FPS: %02u", fps);
  return text;
}

bool PictureSlot::SameAsLast(const uint8_t* pixels, int width, int height, const Palette& palette,
                             bool show_fps, uint32_t fps) const {
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
  return last_.serial != 0 && last_.width == width && last_.height == height &&
         last_.show_fps == show_fps && (!show_fps || last_.fps == fps) && last_.palette == palette &&
         std::memcmp(last_.pixels.data(), pixels, size) == 0;
}

bool PictureSlot::Put(const uint8_t* pixels, int width, int height, const Palette& palette,
                      bool show_fps, uint32_t fps) {
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
  last_.width = width;
  last_.height = height;
  last_.pixels.assign(pixels, pixels + size);
  last_.palette = palette;
  last_.show_fps = show_fps;
  last_.fps = fps;
  last_.serial = put_serial_.load(std::memory_order_relaxed) + 1;
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.width = width;
  pending_.height = height;
  pending_.pixels.resize(size);
  std::memcpy(pending_.pixels.data(), pixels, size);
  pending_.palette = palette;
  pending_.show_fps = show_fps;
  pending_.fps = fps;
  pending_.serial = last_.serial;
  put_serial_.store(pending_.serial, std::memory_order_release);
  const bool notify = !has_pending_;
  has_pending_ = true;
  return notify;
}

bool PictureSlot::Take(Picture& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!has_pending_) return false;
  std::swap(out, pending_);
  has_pending_ = false;
  return true;
}

void PictureSlot::MarkShown(uint64_t serial) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (serial > shown_serial_.load(std::memory_order_relaxed))
      shown_serial_.store(serial, std::memory_order_release);
  }
  shown_cv_.notify_all();
}

bool PictureSlot::WaitShown(uint64_t serial, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return shown_cv_.wait_for(lock, timeout, [&] {
    return shown_serial_.load(std::memory_order_relaxed) >= serial;
  });
}

uint64_t FramePacer::Pace(uint64_t period_ticks, uint64_t clock_hz) {
  uint64_t now = clock_->Now();
  uint64_t elapsed = now - last_stamp_;
  if (elapsed < period_ticks && clock_hz != 0) {
    // One sleep to the deadline. The kernel's wake-up comes a little late,
    // never early; the schedule below absorbs the lateness, so spinning for
    // the last microseconds would only burn the processor.
    const auto ns = static_cast<int64_t>(
        static_cast<unsigned __int128>(period_ticks - elapsed) * 1'000'000'000u / clock_hz);
    clock_->SleepFor(std::chrono::nanoseconds(ns));
    now = clock_->Now();
    elapsed = now - last_stamp_;
  }
  // The next deadline counts from this one, not from when the wait ended, so
  // a sleep that overshoots does not slow the frame rate; a frame more than
  // a period late starts the schedule afresh.
  if (clock_hz != 0 && period_ticks != 0 && elapsed < 2 * period_ticks)
    last_stamp_ += period_ticks;
  else
    last_stamp_ = now;
  return now;
}

void FpsMeter::FramePresented(uint64_t now, uint64_t clock_hz) {
  if (++count_ < 4) return;
  const uint64_t t = (now - stamp_) / 4;
  if (t != 0) value_ = static_cast<uint32_t>(clock_hz / t + ((clock_hz % t) >= t / 2 ? 1 : 0));
  stamp_ = now;
  count_ = 0;
}

// Rows of the icon: a frame of interface colour 9 around colour 7 (the
// shutter), then the label in colours 14 and 1.
const uint8_t kDiskIcon[14][14] = {
    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9},
    {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9},
    {9, 9, 9, 14, 14, 14, 14, 14, 14, 14, 1, 1, 1, 9},
    {9, 9, 9, 14, 1, 1, 14, 14, 14, 14, 1, 1, 1, 9},
    {9, 9, 9, 14, 1, 1, 14, 14, 14, 14, 1, 1, 1, 9},
    {9, 9, 9, 14, 1, 1, 14, 14, 14, 14, 1, 1, 1, 9},
    {9, 9, 9, 14, 14, 14, 14, 14, 14, 14, 1, 1, 1, 9},
};

void DrawDiskIcon(uint8_t* pixels, int width) {
  for (int y = 0; y < 14; ++y)
    std::memcpy(pixels + static_cast<size_t>(5 + y) * width + (width - 18), kDiskIcon[y], 14);
}

DisplayOutput::DisplayOutput() : clock_(&default_clock_), pacer_(default_clock_), sink_(&null_sink_) {}

DisplayOutput::DisplayOutput(PaceClock& clock) : clock_(&clock), pacer_(clock), sink_(&null_sink_) {}

void DisplayOutput::Present(const PresentRequest& r) {
  if (r.show_disk_activity && r.disk_activity && *r.disk_activity > 0) {
    DrawDiskIcon(r.pixels, r.width);
    --*r.disk_activity;
  }
  uint64_t now = r.limit_50hz ? pacer_.Pace(r.frame_period_ticks, r.clock_hz) : clock_->Now();
  static const Palette kBlack{};
  const Palette& palette = r.palette ? *r.palette : kBlack;
  // A still picture (a program waiting for a key) is not handed over again:
  // the GUI already shows it and need not wake up. Video sync waits for each
  // picture to be shown, so it still hands every one over.
  if (r.video_sync || !slot_.SameAsLast(r.pixels, r.width, r.height, palette, r.show_fps, fps_.value())) {
    const bool notify = slot_.Put(r.pixels, r.width, r.height, palette, r.show_fps, fps_.value());
    const uint64_t serial = slot_.last_put();
    if (notify) sink_.load()->PictureReady();
    if (r.video_sync) {
      slot_.WaitShown(serial, kVideoSyncTimeout);
      now = clock_->Now();
    }
  }
  if (r.show_fps) fps_.FramePresented(now, r.clock_hz);
  presents_.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace platform
