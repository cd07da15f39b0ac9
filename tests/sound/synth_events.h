// Building blocks for feeding the synthesis: events by kind, and rendering a
// run of frames from events stamped from the start of the first frame.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/synth.h"

namespace sound_test {

inline kelvora::SoundEvent AY(uint32_t tact, int reg, int value) {
  return {tact, kelvora::SoundEvent::kAYRegister, static_cast<uint8_t>(reg), static_cast<uint8_t>(value)};
}
inline kelvora::SoundEvent Speaker(uint32_t tact, int level) {
  return {tact, kelvora::SoundEvent::kSpeaker, 0, static_cast<uint8_t>(level)};
}
inline kelvora::SoundEvent Mode(uint32_t tact, int mode) {
  return {tact, kelvora::SoundEvent::kMode, static_cast<uint8_t>(mode), 0};
}

// Renders frames of frameLength T-states, each outputSamples long; events
// carry absolute T-states and are split into frames here.
inline std::vector<int16_t> Render(kelvora::Synth& synth, uint32_t frameLength,
                                   const std::vector<kelvora::SoundEvent>& events, int frames,
                                   double outputSamples = 960.0) {
  std::vector<int16_t> out;
  size_t next = 0;
  for (int f = 0; f < frames; ++f) {
    std::vector<kelvora::SoundEvent> frame;
    const uint64_t start = static_cast<uint64_t>(f) * frameLength;
    while (next < events.size() && events[next].tact < start + frameLength) {
      kelvora::SoundEvent e = events[next++];
      e.tact = static_cast<uint32_t>(e.tact - start);
      frame.push_back(e);
    }
    synth.RenderFrame(frame.data(), frame.size(), frameLength, outputSamples, out);
  }
  return out;
}

}  // namespace sound_test
