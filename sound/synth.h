// Turns one emulated frame of time-stamped beeper levels and AY register
// writes into one frame of 16-bit stereo audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/ay_chip.h"
#include "sound/band_limited.h"

namespace kelvora {

struct SoundEvent {
  enum Kind : uint8_t { kSpeaker, kAYRegister, kMode };
  uint32_t tact;  // T-state within the frame
  Kind kind;
  uint8_t reg;    // AY register; for kMode the mode bits
  uint8_t value;  // AY value or speaker level
};

enum class StereoMode : int { kMono = 0, kABC = 1 };

class Synth {
 public:
  // Most output samples one frame may produce (a frame is 1/50 s).
  explicit Synth(int outputRate);

  int OutputRate() const { return rate_; }
  void SetStereo(StereoMode mode);
  void SetVolume(double volume);  // 0..1
  // Bit 0: AY audible, bit 1: beeper audible. The chip keeps running either way.
  void SetMode(int mode);
  int Mode() const { return mode_; }
  // The beeper's DC-blocking filter; tests switch it off to see the raw edges.
  void SetBeeperDcBlocking(bool on) { dcBlocking_ = on; }

  // Renders one frame of frameLength T-states. events must be sorted by
  // tact; tacts at or past the frame's end are taken as its last T-state.
  // outputSamples (fractional, carried to the next frame) is how long the
  // frame lasts in output samples. Appends interleaved stereo to out and
  // returns the number of stereo samples appended.
  int RenderFrame(const SoundEvent* events, size_t count, uint32_t frameLength,
                  double outputSamples, std::vector<int16_t>& out);

  // Where a T-state of the frame rendered next lands in that frame's output,
  // in samples (the edge's 50% point), for tests.
  double SamplePositionOf(uint32_t tact, uint32_t frameLength, double outputSamples) const {
    return framePos_ + tact * (outputSamples / frameLength) + BandLimitedBuffer::kDelay;
  }

  const AYChip& Chip() const { return chip_; }

 private:
  void UpdateAYOutput(double pos);
  void UpdateBeeperOutput(double pos);
  // Output samples from the three levels, through the beeper's filter.
  void MixSamples(const double* left, const double* right, const double* beeper, int n,
                  int16_t* dst);

  int rate_;
  AYChip chip_;
  BandLimitedBuffer ayLeft_, ayRight_, beeper_;
  std::vector<double> bufL_, bufR_, bufB_;
  StereoMode stereo_ = StereoMode::kABC;
  double volume_ = 0.8;
  int mode_ = 0;
  bool dcBlocking_ = true;
  uint8_t speakerLevel_ = 0;
  double outL_ = 0.0, outR_ = 0.0, outB_ = 0.0;  // levels already in the buffers
  double framePos_ = 0.0;   // start of the next frame, in samples
  int64_t nextStep_ = 0;    // T-state of the next AY step within the frame
  double dcIn_ = 0.0, dcOut_ = 0.0, dcPole_ = 0.0;
};

}  // namespace kelvora
