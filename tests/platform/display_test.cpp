#include "platform/display.h"
#include "platform/picture_fit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A clock that moves only when asked: each reading advances it one tick
// (spinning therefore ends), each sleep by the slept time.
class FakeClock final : public platform::PaceClock {
 public:
  explicit FakeClock(uint64_t hz) : hz_(hz) {}
  uint64_t Now() override { return now_++; }
  void SleepFor(std::chrono::nanoseconds d) override {
    slept_ += d;
    now_ += static_cast<uint64_t>(d.count()) * hz_ / 1'000'000'000u;
  }
  uint64_t now_ = 1'000'000;
  uint64_t hz_;
  std::chrono::nanoseconds slept_{0};
};

constexpr uint64_t kHz = 10'000'000;  // 10 MHz: a tick is 100 ns
constexpr uint64_t kPeriod = kHz / 50;

class CountingSink final : public platform::DisplaySink {
 public:
  void PictureReady() override { ++ready; }
  void PictureSizeChanged(int w, int h) override { width = w, height = h; }
  int ready = 0;
  int width = 0, height = 0;
};

platform::PresentRequest Request(std::vector<uint8_t>& pixels, bool limit, const platform::Palette& pal) {
  platform::PresentRequest r;
  pixels.assign(320 * 240, 16);
  r.pixels = pixels.data();
  r.palette = &pal;
  r.limit_50hz = limit;
  r.frame_period_ticks = kPeriod;
  r.clock_hz = kHz;
  return r;
}

TEST(FramePacing, PresentWaitsForTheDeadlineOnlyWithLimit50Hz) {
  for (bool limit : {true, false}) {
    SCOPED_TRACE(limit ? "Limit 50 Hz on" : "Limit 50 Hz off");
    FakeClock clock(kHz);
    platform::DisplayOutput out(clock);
    platform::Palette pal{};
    std::vector<uint8_t> pixels;
    auto r = Request(pixels, limit, pal);
    out.Present(r);  // the first present has no previous one to wait for
    const uint64_t first = clock.now_;
    out.Present(r);
    out.Present(r);
    if (limit) {
      // Two further presents: each a full period after the one before it.
      EXPECT_GE(clock.now_ - first, 2 * kPeriod - 10);
      EXPECT_LT(clock.now_ - first, 2 * kPeriod + 100);
      // Most of the wait is slept, not spun.
      EXPECT_GT(clock.slept_, std::chrono::milliseconds(39));
    } else {
      EXPECT_EQ(clock.slept_.count(), 0);
      EXPECT_LT(clock.now_ - first, 10u);
    }
  }
}

TEST(FramePacing, ALateFrameDoesNotDelayTheSchedule) {
  FakeClock clock(kHz);
  platform::FramePacer pacer(clock);
  const uint64_t start = pacer.Pace(kPeriod, kHz);
  clock.now_ += kPeriod + kPeriod / 4;  // the emulation overran this frame
  pacer.Pace(kPeriod, kHz);
  EXPECT_EQ(clock.slept_.count(), 0);
  // The next one keeps to the 1/50 s grid: it leaves at start + 2 periods.
  const uint64_t third = pacer.Pace(kPeriod, kHz);
  EXPECT_GE(third, start + 2 * kPeriod);
  EXPECT_LT(third, start + 2 * kPeriod + 10);
}

TEST(FramePacing, PresentAfterALongGapDoesNotWait) {
  FakeClock clock(kHz);
  platform::FramePacer pacer(clock);
  pacer.Pace(kPeriod, kHz);
  clock.now_ += 3 * kPeriod;
  const uint64_t before = clock.now_;
  pacer.Pace(kPeriod, kHz);
  EXPECT_EQ(clock.slept_.count(), 0);
  EXPECT_LE(clock.now_ - before, 1u);
}

TEST(FpsMeter, RoundsToNearestWithHalvesUp) {
  struct Case {
    uint64_t ticks_per_frame;
    uint32_t fps;
  };
  // 1 MHz clock: 20000 ticks a frame is 50 fps; 1e6/20202 = 49.50 gives 50;
  // 1e6/20203 = 49.497 gives 49.
  for (Case c : {Case{20000, 50}, Case{20202, 50}, Case{20203, 49}, Case{10000, 100}}) {
    platform::FpsMeter meter;
    uint64_t now = 0;
    for (int i = 0; i < 4; ++i) meter.FramePresented(now += c.ticks_per_frame, 1'000'000);
    for (int i = 0; i < 4; ++i) meter.FramePresented(now += c.ticks_per_frame, 1'000'000);
    EXPECT_EQ(meter.value(), c.fps) << c.ticks_per_frame;
  }
  EXPECT_EQ(platform::FpsText(50), "FPS: 50");
  EXPECT_EQ(platform::FpsText(7), "FPS: 07");
}

TEST(DisplayOutput, CoalescesPicturesTheGuiHasNotTaken) {
  FakeClock clock(kHz);
  platform::DisplayOutput out(clock);
  CountingSink sink;
  out.set_sink(&sink);
  platform::Palette pal{};
  pal[16] = 0x123456;
  std::vector<uint8_t> pixels;
  auto r = Request(pixels, false, pal);
  for (int i = 0; i < 100; ++i) {
    pixels[0] = static_cast<uint8_t>(i);
    out.Present(r);
  }
  // One notification for the whole burst; the GUI finds only the newest picture.
  EXPECT_EQ(sink.ready, 1);
  platform::Picture pic;
  ASSERT_TRUE(out.slot().Take(pic));
  EXPECT_EQ(pic.pixels[0], 99);
  EXPECT_EQ(pic.serial, 100u);
  EXPECT_EQ(pic.palette[16], 0x123456u);
  EXPECT_FALSE(out.slot().Take(pic));
  pixels[0] = 100;
  out.Present(r);
  EXPECT_EQ(sink.ready, 2);
}

TEST(DisplayOutput, AStillPictureIsHandedOverOnceUnlessVideoSyncWaitsForIt) {
  FakeClock clock(kHz);
  platform::DisplayOutput out(clock);
  CountingSink sink;
  out.set_sink(&sink);
  platform::Palette pal{};
  std::vector<uint8_t> pixels;
  auto r = Request(pixels, false, pal);
  platform::Picture pic;
  out.Present(r);
  ASSERT_TRUE(out.slot().Take(pic));
  out.Present(r);
  EXPECT_FALSE(out.slot().Take(pic));
  EXPECT_EQ(sink.ready, 1);
  EXPECT_EQ(out.presents(), 2u);
  // Whatever changes the picture as shown hands it over again.
  struct Change {
    const char* what;
    void (*apply)(platform::PresentRequest&, std::vector<uint8_t>&, platform::Palette&);
  };
  const Change changes[] = {
      {"pixel", [](auto&, auto& px, auto&) { px.back() = 17; }},
      {"palette", [](auto&, auto&, auto& p) { p[16] = 0xFFFFFF; }},
      {"overlay", [](auto& req, auto&, auto&) { req.show_fps = true; }},
      {"size", [](auto& req, auto& px, auto&) { px.assign(640 * 480, 16); req.pixels = px.data(); req.width = 640; req.height = 480; }},
  };
  for (const Change& c : changes) {
    c.apply(r, pixels, pal);
    out.Present(r);
    EXPECT_TRUE(out.slot().Take(pic)) << c.what;
    out.Present(r);
    EXPECT_FALSE(out.slot().Take(pic)) << c.what;
  }
  r.video_sync = true;
  out.slot().MarkShown(out.slot().last_put() + 1);  // nothing to wait for
  out.Present(r);
  EXPECT_TRUE(out.slot().Take(pic));
}

TEST(DisplayOutput, DiskIconShowsForTheCountedFramesInTheTopRightCorner) {
  FakeClock clock(kHz);
  platform::DisplayOutput out(clock);
  platform::Palette pal{};
  std::vector<uint8_t> pixels;
  auto r = Request(pixels, false, pal);
  int32_t activity = 2;
  r.disk_activity = &activity;
  for (int frame = 0; frame < 3; ++frame) {
    pixels.assign(320 * 240, 16);
    pixels[0] = static_cast<uint8_t>(frame);  // a new picture each frame
    out.Present(r);
    platform::Picture pic;
    ASSERT_TRUE(out.slot().Take(pic));
    const bool icon = frame < 2;
    // Corner pixels of the icon: rows 5 and 18, columns 302 and 315.
    EXPECT_EQ(pic.pixels[5 * 320 + 302], icon ? 9 : 16) << frame;
    EXPECT_EQ(pic.pixels[18 * 320 + 315], icon ? 9 : 16) << frame;
    EXPECT_EQ(pic.pixels[15 * 320 + 307], icon ? 1 : 16) << frame;
    EXPECT_EQ(pic.pixels[4 * 320 + 302], 16);
    EXPECT_EQ(pic.pixels[5 * 320 + 316], 16);
  }
  EXPECT_EQ(activity, 0);
  // Switched off, the icon is not drawn and the count stays.
  activity = 5;
  r.show_disk_activity = false;
  out.Present(r);
  EXPECT_EQ(activity, 5);
}

TEST(DisplayOutput, VideoSyncWaitIsBounded) {
  FakeClock clock(kHz);
  platform::DisplayOutput out(clock);
  platform::Palette pal{};
  std::vector<uint8_t> pixels;
  auto r = Request(pixels, false, pal);
  r.video_sync = true;
  // Nobody shows the picture: the present still returns.
  const auto t0 = std::chrono::steady_clock::now();
  out.Present(r);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, platform::DisplayOutput::kVideoSyncTimeout);
  EXPECT_EQ(out.presents(), 1u);
}

// What holds however the two threads are scheduled: pictures are taken in
// order and whole; a present with video sync returns only once its picture
// was shown or its wait's bound ran out, and never long after that bound.
TEST(PictureSlotThreads, GuiTakesWhileRunThreadPutsAndVideoSyncReturnsOnceShown) {
  using Clock = std::chrono::steady_clock;
  // Far beyond any wait the code allows; only a wait that ignores its bound
  // reaches it, however busy the machine.
  constexpr auto kSlack = std::chrono::seconds(10);
  FakeClock clock(kHz);
  platform::DisplayOutput out(clock);
  platform::Palette pal{};
  std::atomic<bool> done{false};
  std::thread gui([&] {
    platform::Picture pic;
    uint64_t last = 0;
    while (!done.load()) {
      if (out.slot().Take(pic)) {
        EXPECT_GT(pic.serial, last);
        last = pic.serial;
        EXPECT_EQ(pic.pixels.front(), pic.pixels.back());
        out.slot().MarkShown(pic.serial);
      }
      std::this_thread::yield();
    }
  });
  std::vector<uint8_t> pixels;
  auto r = Request(pixels, false, pal);
  r.video_sync = true;
  for (int i = 0; i < 200; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(i));
    const auto start = Clock::now();
    out.Present(r);
    const auto waited = Clock::now() - start;
    if (out.slot().last_shown() < out.slot().last_put()) {
      EXPECT_GE(waited, platform::DisplayOutput::kVideoSyncTimeout) << "returned unshown before the bound, " << i;
    }
    EXPECT_LT(waited, platform::DisplayOutput::kVideoSyncTimeout + kSlack) << i;
  }
  done = true;
  gui.join();

  // A shown picture ends the wait: with a bound no machine reaches, the
  // wait can only end because the GUI thread showed it.
  platform::PictureSlot slot;
  std::vector<uint8_t> one(4, 1);
  slot.Put(one.data(), 2, 2, pal, false, 0);
  std::thread show([&] {
    platform::Picture pic;
    while (!slot.Take(pic)) std::this_thread::yield();
    slot.MarkShown(pic.serial);
  });
  EXPECT_TRUE(slot.WaitShown(slot.last_put(), std::chrono::minutes(1)));
  show.join();
}

TEST(FitPicture, WholeMultiplesCentredOrShrunkWhenTheScreenIsSmaller) {
  struct Case {
    int pictureWidth, pictureHeight, screenWidth, screenHeight;
    platform::PictureArea want;
  };
  const Case cases[] = {
      {320, 240, 1280, 1024, {0, 32, 1280, 960}},   // 4 times, bars above and below
      {320, 240, 1920, 1080, {320, 60, 1280, 960}}, // the height allows 4, not 4.5
      {640, 480, 1280, 1024, {0, 32, 1280, 960}},   // the 512-pixel mode: twice
      {320, 240, 320, 240, {0, 0, 320, 240}},
      {320, 240, 639, 479, {159, 119, 320, 240}},   // 2 does not fit yet
      {640, 480, 320, 200, {27, 0, 266, 200}},      // smaller: shrunk to the height
      {640, 480, 600, 480, {0, 15, 600, 450}},      // smaller: shrunk to the width
      {320, 240, 0, 0, {}},
      {0, 0, 1280, 1024, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::FitPicture(c.pictureWidth, c.pictureHeight, c.screenWidth, c.screenHeight), c.want)
        << c.pictureWidth << "x" << c.pictureHeight << " on " << c.screenWidth << "x" << c.screenHeight;
}

}  // namespace
