// The sound plug-in's behaviour behind its nine functions, free of any audio
// device or GUI: it serialises the calls, collects the time-stamped events of
// each emulated frame, works out where frames end (the host only calls the
// frame routine during the INT window, any number of times), renders one
// frame of audio per emulated frame and hands it to an output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/synth.h"

namespace kelvora {

// Where rendered audio goes: a real-time queue (the audio device), a file,
// or a test's buffer.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual int Rate() const = 0;
  // Stereo samples waiting to be played, or -1 for an output that takes
  // everything at once (a file): then no frame is dropped or stretched.
  virtual int Queued() = 0;
  virtual void Write(const int16_t* stereo, int samples) = 0;
};

struct KelvoraSettings {
  int volume = 80;  // percent
  StereoMode stereo = StereoMode::kABC;
};

class Engine {
 public:
  using Clock = std::function<int64_t()>;  // microseconds, monotonic

  // Without a clock the steady clock is used; without an output the audio is
  // rendered and thrown away (no device: the machine runs silently).
  explicit Engine(std::unique_ptr<AudioOutput> output = nullptr, Clock clock = nullptr);
  ~Engine();

  // The nine functions' behaviour (the plug-in forwards to these).
  int32_t Initialize(int32_t frameLength);
  int32_t Destroy();
  int32_t SetMode(int32_t mode);
  int32_t SetSpeakerState(int32_t tact, int32_t level);
  int32_t SetAYRegister(int32_t tact, int32_t reg, int32_t value);
  int32_t FrameLoop();

  bool Initialised();
  KelvoraSettings Settings();
  void ApplySettings(const KelvoraSettings& settings);
  // Takes the output away (to be destroyed without holding the lock).
  std::unique_ptr<AudioOutput> ReleaseOutput();
  void SetBeeperDcBlocking(bool on);

  // For tests and diagnostics.
  uint64_t FramesRendered();
  uint64_t FramesDropped();
  double LastRateFactor();

  // Tuning of the frame detection and the queue.
  // Window calls further apart than this belong to different frames. Half a
  // real-time frame: at more than twice real time, frames with no events may
  // merge, but then the queue is full and frames are being dropped anyway.
  static constexpr int64_t kFrameGapMicros = 10000;
  // Sampled as a frame ends, the queue swings by about a device period
  // (kSdlDevicePeriod) with the phase of the device's reads: the target
  // keeps the low end of that swing clear of running dry, the maximum leaves
  // its high end room for frames that come early. The usual latency, the
  // target and a device period, is about 50 ms; at the maximum, 100 ms.
  static constexpr double kTargetFillSeconds = 0.030;
  static constexpr double kMaxFillSeconds = 0.080;
  static constexpr double kMaxRateAdjust = 0.005;   // +-0.5 %
  static constexpr size_t kMaxEventsPerFrame = 1 << 16;

 private:
  void AddEventLocked(int32_t tact, SoundEvent::Kind kind, uint8_t reg, uint8_t value);
  void EndFrameLocked();
  uint32_t ClampTactLocked(int32_t tact) const;

  std::mutex mutex_;
  std::unique_ptr<AudioOutput> output_;
  Clock clock_;
  Synth synth_;
  bool initialised_ = false;
  bool everInitialised_ = false;
  uint32_t frameLength_ = 71680;
  int mode_ = 0;
  KelvoraSettings settings_;

  std::vector<SoundEvent> events_;
  std::vector<int16_t> audio_;
  uint32_t lastStamp_ = 0;
  bool windowSeen_ = false;        // the current frame's INT window has been reported
  bool movedOnSinceWindow_ = false;  // an event well past that window came since
  uint32_t stampAtWindow_ = 0;
  int64_t lastWindowCall_ = 0;

  double smoothedFill_ = -1.0;
  double rateFactor_ = 1.0;
  uint64_t framesRendered_ = 0;
  uint64_t framesDropped_ = 0;
};

}  // namespace kelvora
