// Measurements on rendered audio that share nothing with the synthesis:
// frequency by interpolated zero crossings, power at one frequency
// (Goertzel), levels and edges.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace sound_test {

// One channel of interleaved stereo as doubles.
inline std::vector<double> Channel(const std::vector<int16_t>& stereo, int ch) {
  std::vector<double> out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i + ch];
  return out;
}

inline double Mean(const std::vector<double>& x, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, x.size());
  double s = 0;
  for (size_t i = from; i < to; ++i) s += x[i];
  return to > from ? s / (to - from) : 0.0;
}

// RMS of the signal around its mean.
inline double AcRms(const std::vector<double>& x, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, x.size());
  const double m = Mean(x, from, to);
  double s = 0;
  for (size_t i = from; i < to; ++i) s += (x[i] - m) * (x[i] - m);
  return to > from ? std::sqrt(s / (to - from)) : 0.0;
}

// Frequency from the span between the first and last upward crossings of the
// mean, interpolated between samples.
inline double FrequencyByCrossings(const std::vector<double>& x, double rate, size_t from = 0) {
  const double m = Mean(x, from);
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from + 1; i < x.size(); ++i) {
    if (x[i - 1] < m && x[i] >= m) {
      const double t = (i - 1) + (m - x[i - 1]) / (x[i] - x[i - 1]);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * rate / (last - first);
}

// Amplitude of the component at freq (Goertzel over a Hann window), scaled so
// that a sine of amplitude A gives about A.
inline double AmplitudeAt(const std::vector<double>& x, double freq, double rate, size_t from = 0) {
  const size_t n = x.size() - from;
  const double w = 2 * M_PI * freq / rate;
  double re = 0, im = 0, wsum = 0;
  const double m = Mean(x, from);
  for (size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1));
    const double v = (x[from + i] - m) * hann;
    re += v * std::cos(w * i);
    im -= v * std::sin(w * i);
    wsum += hann;
  }
  return 2 * std::sqrt(re * re + im * im) / wsum;
}

// Positions (interpolated) where the signal crosses half-way between lo and
// hi, in either direction.
inline std::vector<double> MidCrossings(const std::vector<double>& x, double lo, double hi) {
  const double mid = 0.5 * (lo + hi);
  std::vector<double> out;
  for (size_t i = 1; i < x.size(); ++i) {
    const bool a = x[i - 1] < mid, b = x[i] < mid;
    if (a != b) out.push_back((i - 1) + (mid - x[i - 1]) / (x[i] - x[i - 1]));
  }
  return out;
}

}  // namespace sound_test
