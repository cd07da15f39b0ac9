// Band-limited synthesis of piecewise-constant signals. The AY and the beeper
// only ever jump between levels; each jump is added as a band-limited impulse
// at its exact (fractional) output-sample position, and reading integrates
// the impulses back into levels. This is the same as rendering at an
// infinite rate and low-pass filtering down: tones above the output band do
// not alias, and the cost follows the number of jumps, not the chip clock.
#pragma once

#include <vector>

namespace kelvora {

class BandLimitedBuffer {
 public:
  static constexpr int kTaps = 32;
  // A jump added at position p shows its 50% point at output index p + kDelay.
  static constexpr int kDelay = kTaps / 2 - 1;

  // capacity: the most samples read at once.
  explicit BandLimitedBuffer(int capacity);

  // Adds a jump of delta at position pos (samples from the start of the
  // unread part; 0 <= pos < capacity).
  void AddDelta(double pos, double delta);
  // Integrates the first count samples into out and drops them.
  void Read(int count, double* out);
  void Clear();
  int Capacity() const { return capacity_; }
  // No jump waits to be read: whatever is read next is the level, unchanged.
  bool Flat() const { return pending_ == 0; }
  double Level() const { return level_; }

 private:
  int capacity_;
  std::vector<double> impulses_;
  int pending_ = 0;  // impulses from here on are all zero
  double level_ = 0.0;
};

}  // namespace kelvora
