#include "sound/synth.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {
constexpr int kTactsPerStep = 16;  // the AY runs at half the processor clock, stepped at clock/8
constexpr double kAYGain = 0.35;   // a full channel; ABC puts 1.5 channels on each side at most
constexpr double kBeeperGain = 0.5;
constexpr double kDcCutoffHz = 20.0;
// Room for one frame at the fastest rate adjustment and then some.
int FrameCapacity(int rate) { return rate / 25 + 64; }
}  // namespace

Synth::Synth(int outputRate)
    : rate_(outputRate),
      ayLeft_(FrameCapacity(outputRate)),
      ayRight_(FrameCapacity(outputRate)),
      beeper_(FrameCapacity(outputRate)) {
  const int cap = FrameCapacity(outputRate);
  bufL_.resize(cap);
  bufR_.resize(cap);
  bufB_.resize(cap);
  dcPole_ = 1.0 - 2.0 * M_PI * kDcCutoffHz / outputRate;
}

void Synth::SetStereo(StereoMode mode) { stereo_ = mode; }

void Synth::SetVolume(double volume) { volume_ = std::clamp(volume, 0.0, 1.0); }

void Synth::SetMode(int mode) { mode_ = mode & 3; }

void Synth::UpdateAYOutput(double pos) {
  double l = 0.0, r = 0.0;
  if (mode_ & 1) {
    int levels[3];
    chip_.ChannelLevels(levels);
    double a[3];
    for (int i = 0; i < 3; ++i) a[i] = levels[i] < 0 ? 0.0 : kAYVolumeTable[levels[i]] * kAYGain;
    if (stereo_ == StereoMode::kABC) {
      l = a[0] + 0.5 * a[1];
      r = a[2] + 0.5 * a[1];
    } else {
      l = r = 0.5 * (a[0] + a[1] + a[2]);
    }
  }
  if (l != outL_) {
    ayLeft_.AddDelta(pos, l - outL_);
    outL_ = l;
  }
  if (r != outR_) {
    ayRight_.AddDelta(pos, r - outR_);
    outR_ = r;
  }
}

void Synth::UpdateBeeperOutput(double pos) {
  const double b = ((mode_ & 2) && speakerLevel_) ? kBeeperGain : 0.0;
  if (b != outB_) {
    beeper_.AddDelta(pos, b - outB_);
    outB_ = b;
  }
}

void Synth::MixSamples(const double* left, const double* right, const double* beeper, int n,
                       int16_t* dst) {
  const double scale = 32767.0 * volume_;
  double dcIn = dcIn_, dcOut = dcOut_;
  for (int i = 0; i < n; ++i) {
    double b = beeper[i];
    if (dcBlocking_) {
      // One-pole high-pass: the speaker's resting level must not sit in the output.
      const double y = b - dcIn + dcPole_ * dcOut;
      dcIn = b;
      dcOut = y;
      b = y;
    }
    const double l = std::clamp((left[i] + b) * scale, -32768.0, 32767.0);
    const double r = std::clamp((right[i] + b) * scale, -32768.0, 32767.0);
    dst[2 * i] = static_cast<int16_t>(std::lrint(l));
    dst[2 * i + 1] = static_cast<int16_t>(std::lrint(r));
  }
  dcIn_ = dcIn;
  dcOut_ = dcOut;
}

int Synth::RenderFrame(const SoundEvent* events, size_t count, uint32_t frameLength,
                       double outputSamples, std::vector<int16_t>& out) {
  if (frameLength == 0) return 0;
  const int capacity = ayLeft_.Capacity() - BandLimitedBuffer::kTaps - 2;
  outputSamples = std::clamp(outputSamples, 0.0, static_cast<double>(capacity) - framePos_);
  const double perTact = outputSamples / frameLength;
  const int64_t end = frameLength;
  auto positionOf = [&](int64_t tact) { return framePos_ + static_cast<double>(tact) * perTact; };

  // Settings may have changed since the last frame.
  UpdateAYOutput(framePos_);
  UpdateBeeperOutput(framePos_);

  size_t next = 0;
  for (;;) {
    const int64_t limit = next < count ? std::min<int64_t>(events[next].tact, end - 1) : end;
    // Run the chip over the steps that fall before the next event, stopping
    // only where a change can be heard.
    while (nextStep_ < limit) {
      const uint32_t available =
          static_cast<uint32_t>((limit - nextStep_ + kTactsPerStep - 1) / kTactsPerStep);
      const uint32_t k = chip_.StepsToNextAudibleChange(mode_ & 1);
      if (k > available) {
        chip_.Advance(available);
        nextStep_ += static_cast<int64_t>(available) * kTactsPerStep;
        break;
      }
      chip_.Advance(k);
      const int64_t changeAt = nextStep_ + static_cast<int64_t>(k - 1) * kTactsPerStep;
      nextStep_ += static_cast<int64_t>(k) * kTactsPerStep;
      UpdateAYOutput(positionOf(changeAt));
    }
    if (next >= count) break;
    const SoundEvent& e = events[next++];
    const double pos = positionOf(limit);
    switch (e.kind) {
      case SoundEvent::kSpeaker:
        speakerLevel_ = e.value ? 1 : 0;
        UpdateBeeperOutput(pos);
        break;
      case SoundEvent::kAYRegister:
        chip_.Write(e.reg, e.value);
        UpdateAYOutput(pos);
        break;
      case SoundEvent::kMode:
        mode_ = e.reg & 3;
        UpdateAYOutput(pos);
        UpdateBeeperOutput(pos);
        break;
    }
  }
  nextStep_ -= end;

  const double frameEnd = positionOf(end);
  const int n = static_cast<int>(frameEnd);
  framePos_ = frameEnd - n;
  const size_t base = out.size();
  out.resize(base + 2 * static_cast<size_t>(n));
  int16_t* dst = out.data() + base;
  if (n == 0) return 0;

  // Steady levels with the beeper's filter settled: every sample is the same.
  const bool steady = ayLeft_.Flat() && ayRight_.Flat() && beeper_.Flat() &&
                      (!dcBlocking_ || (dcOut_ == 0.0 && beeper_.Level() == dcIn_));
  if (steady) {
    const double l = ayLeft_.Level(), r = ayRight_.Level(), b = beeper_.Level();
    MixSamples(&l, &r, &b, 1, dst);
    for (int i = 1; i < n; ++i) {
      dst[2 * i] = dst[0];
      dst[2 * i + 1] = dst[1];
    }
    return n;
  }
  ayLeft_.Read(n, bufL_.data());
  ayRight_.Read(n, bufR_.data());
  beeper_.Read(n, bufB_.data());
  MixSamples(bufL_.data(), bufR_.data(), bufB_.data(), n, dst);
  return n;
}

}  // namespace kelvora
