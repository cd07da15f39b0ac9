#include "sound/band_limited.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelvora {

namespace {

// Rows of the kernel per sample; positions between rows are interpolated, so
// edge timing is not quantised (that would show as noise from ultrasonic tones).
constexpr int kPhases = 64;
// Cut-off as a fraction of the output rate; the Kaiser window's transition
// band then ends just above half the rate, so nothing folds back into the
// audible band.
constexpr double kCutoff = 0.42;
constexpr double kKaiserBeta = 8.0;

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

struct Kernel {
  double taps[kPhases + 1][BandLimitedBuffer::kTaps];
  Kernel() {
    constexpr int n = BandLimitedBuffer::kTaps;
    const double half = n / 2.0;
    const double i0Beta = BesselI0(kKaiserBeta);
    for (int p = 0; p <= kPhases; ++p) {
      const double frac = static_cast<double>(p) / kPhases;
      double sum = 0.0;
      for (int k = 0; k < n; ++k) {
        const double x = (k - BandLimitedBuffer::kDelay) - frac;  // distance from the jump
        const double r = x / half;
        const double w = std::abs(r) >= 1.0 ? 0.0 : BesselI0(kKaiserBeta * std::sqrt(1.0 - r * r)) / i0Beta;
        const double arg = 2.0 * kCutoff * x;
        const double sinc = std::abs(arg) < 1e-12 ? 1.0 : std::sin(M_PI * arg) / (M_PI * arg);
        taps[p][k] = w * sinc;
        sum += taps[p][k];
      }
      // Each impulse must integrate to exactly its jump, or levels drift.
      for (int k = 0; k < n; ++k) taps[p][k] /= sum;
    }
  }
};

const Kernel& TheKernel() {
  static const Kernel kernel;
  return kernel;
}

}  // namespace

BandLimitedBuffer::BandLimitedBuffer(int capacity)
    : capacity_(capacity), impulses_(static_cast<size_t>(capacity + kTaps + 1), 0.0) {
  TheKernel();
}

void BandLimitedBuffer::AddDelta(double pos, double delta) {
  if (delta == 0.0) return;
  pos = std::clamp(pos, 0.0, static_cast<double>(capacity_) - 1e-9);
  const int whole = static_cast<int>(pos);
  const double phase = (pos - whole) * kPhases;
  const int row = std::min(kPhases - 1, static_cast<int>(phase));
  const double b = (phase - row) * delta;
  const double a = delta - b;
  const double* k0 = TheKernel().taps[row];
  const double* k1 = TheKernel().taps[row + 1];
  double* dst = impulses_.data() + whole;
  // Two taps at a time: the same sums as one at a time, in half the steps.
  using Pair = double __attribute__((vector_size(16)));
  static_assert(kTaps % 2 == 0);
  for (int i = 0; i < kTaps; i += 2) {
    Pair d, x0, x1;
    std::memcpy(&d, dst + i, sizeof d);
    std::memcpy(&x0, k0 + i, sizeof x0);
    std::memcpy(&x1, k1 + i, sizeof x1);
    d += a * x0 + b * x1;
    std::memcpy(dst + i, &d, sizeof d);
  }
  pending_ = std::max(pending_, whole + kTaps);
}

void BandLimitedBuffer::Read(int count, double* out) {
  count = std::clamp(count, 0, capacity_);
  if (pending_ == 0) {
    std::fill(out, out + count, level_);
    return;
  }
  double level = level_;
  for (int i = 0; i < count; ++i) {
    level += impulses_[i];
    out[i] = level;
  }
  level_ = level;
  // Only the part holding impulses needs moving down; the rest stays zero.
  const auto begin = impulses_.begin();
  if (pending_ > count) {
    std::copy(begin + count, begin + pending_, begin);
    std::fill(begin + (pending_ - count), begin + pending_, 0.0);
    pending_ -= count;
  } else {
    std::fill(begin, begin + pending_, 0.0);
    pending_ = 0;
  }
}

void BandLimitedBuffer::Clear() {
  std::fill(impulses_.begin(), impulses_.end(), 0.0);
  pending_ = 0;
  level_ = 0.0;
}

}  // namespace kelvora
