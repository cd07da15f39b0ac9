#include "sound/engine.h"

#include <algorithm>
#include <chrono>

namespace kelvora {

namespace {
constexpr int kDefaultRate = 48000;
constexpr int kFramesPerSecond = 50;
// Frame lengths the plug-in accepts: anything a timing dialog can produce.
constexpr int32_t kMinFrameLength = 16;
constexpr int32_t kMaxFrameLength = 10'000'000;

int64_t SteadyMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

Engine::Engine(std::unique_ptr<AudioOutput> output, Clock clock)
    : output_(std::move(output)),
      clock_(clock ? std::move(clock) : Clock(SteadyMicros)),
      synth_(output_ ? output_->Rate() : kDefaultRate) {
  events_.reserve(8192);
  audio_.reserve(static_cast<size_t>(synth_.OutputRate()) / 10);
  synth_.SetVolume(settings_.volume / 100.0);
  synth_.SetStereo(settings_.stereo);
}

Engine::~Engine() = default;

int32_t Engine::Initialize(int32_t frameLength) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (frameLength < kMinFrameLength || frameLength > kMaxFrameLength) return 1;
  // Re-initialisation only changes the frame length: the chip, the mode and
  // the frame being collected carry on, since the machine does not send its
  // registers again.
  frameLength_ = static_cast<uint32_t>(frameLength);
  lastStamp_ = std::min(lastStamp_, frameLength_ - 1);
  if (!everInitialised_) {
    everInitialised_ = true;
    lastWindowCall_ = clock_();
  }
  initialised_ = true;
  return 0;
}

int32_t Engine::Destroy() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!initialised_) return 1;
  initialised_ = false;
  return 0;
}

bool Engine::Initialised() {
  std::lock_guard<std::mutex> lock(mutex_);
  return initialised_;
}

uint32_t Engine::ClampTactLocked(int32_t tact) const {
  if (tact < 0) return 0;
  return std::min(static_cast<uint32_t>(tact), frameLength_ - 1);
}

void Engine::AddEventLocked(int32_t tact, SoundEvent::Kind kind, uint8_t reg, uint8_t value) {
  const uint32_t t = ClampTactLocked(tact);
  // Within a frame the stamps never go back; going back means the frame
  // wrapped. Repeats (calls made while the processor is stopped) stay put.
  if (t < lastStamp_ || events_.size() >= kMaxEventsPerFrame) EndFrameLocked();
  lastStamp_ = t;
  if (windowSeen_ && t >= stampAtWindow_ + frameLength_ / 8) movedOnSinceWindow_ = true;
  events_.push_back({t, kind, reg, value});
}

int32_t Engine::SetMode(int32_t mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!initialised_) return 1;
  mode_ = mode & 3;
  // Takes effect where the machine is now, not at the start of the frame.
  events_.push_back({lastStamp_, SoundEvent::kMode, static_cast<uint8_t>(mode_), 0});
  return 0;
}

int32_t Engine::SetSpeakerState(int32_t tact, int32_t level) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!initialised_) return 1;
  AddEventLocked(tact, SoundEvent::kSpeaker, 0, level ? 1 : 0);
  return 0;
}

int32_t Engine::SetAYRegister(int32_t tact, int32_t reg, int32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!initialised_) return 1;
  if (reg < 0 || reg > 15) return 1;
  AddEventLocked(tact, SoundEvent::kAYRegister, static_cast<uint8_t>(reg),
                 static_cast<uint8_t>(value));
  return 0;
}

// The host calls this after every instruction that ends inside the INT
// window at the start of a frame: the first call of a window ends the frame
// before it; the window's further calls must not. A call opens a new frame
// when the current frame has already had its window and either the machine
// has moved well past that window since (an event stamped later in the
// frame), or enough wall time has passed that this cannot be the same window.
int32_t Engine::FrameLoop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!initialised_) return 1;
  const int64_t now = clock_();
  if (windowSeen_ && (movedOnSinceWindow_ || now - lastWindowCall_ >= kFrameGapMicros))
    EndFrameLocked();
  windowSeen_ = true;
  movedOnSinceWindow_ = false;
  stampAtWindow_ = lastStamp_;
  // Measured from the end of this call: rendering (or a slow file) must not
  // make the window's next call look like a new frame.
  lastWindowCall_ = clock_();
  return 0;
}

void Engine::EndFrameLocked() {
  const int rate = synth_.OutputRate();
  double samples = static_cast<double>(rate) / kFramesPerSecond;
  const int queued = output_ ? output_->Queued() : -1;
  if (queued >= 0) {
    // Steer the queue towards its target by stretching the frame a little.
    smoothedFill_ = smoothedFill_ < 0 ? queued : smoothedFill_ + 0.1 * (queued - smoothedFill_);
    const double target = rate * kTargetFillSeconds;
    rateFactor_ =
        1.0 + std::clamp(0.01 * (target - smoothedFill_) / target, -kMaxRateAdjust, kMaxRateAdjust);
    samples *= rateFactor_;
  } else {
    rateFactor_ = 1.0;
  }
  audio_.clear();
  const int n = synth_.RenderFrame(events_.data(), events_.size(), frameLength_, samples, audio_);
  events_.clear();
  lastStamp_ = 0;
  windowSeen_ = false;
  movedOnSinceWindow_ = false;
  ++framesRendered_;
  if (!output_) return;
  if (queued >= 0 && queued + n > rate * kMaxFillSeconds) {
    // Running ahead of real time: drop the whole frame rather than grow the latency.
    ++framesDropped_;
    return;
  }
  output_->Write(audio_.data(), n);
}

KelvoraSettings Engine::Settings() {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

void Engine::ApplySettings(const KelvoraSettings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = settings;
  settings_.volume = std::clamp(settings_.volume, 0, 100);
  synth_.SetVolume(settings_.volume / 100.0);
  synth_.SetStereo(settings_.stereo);
}

std::unique_ptr<AudioOutput> Engine::ReleaseOutput() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(output_);
}

void Engine::SetBeeperDcBlocking(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  synth_.SetBeeperDcBlocking(on);
}

uint64_t Engine::FramesRendered() {
  std::lock_guard<std::mutex> lock(mutex_);
  return framesRendered_;
}

uint64_t Engine::FramesDropped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return framesDropped_;
}

double Engine::LastRateFactor() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rateFactor_;
}

}  // namespace kelvora
