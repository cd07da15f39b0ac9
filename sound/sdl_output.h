// Audio through SDL2's audio subsystem only (no video), pushed into SDL's
// queue. Playback starts once the queue holds the engine's target fill and
// pauses again when it runs dry (the processor stopped), so it restarts with
// a cushion instead of stuttering.
#pragma once

#include <memory>

#include "sound/engine.h"

namespace kelvora {

// The device's period in samples, about a frame (21 ms at 48 kHz). Its
// thread wakes once a period, and on a busy host each wake-up costs far more
// than the copy it does. The engine's queue limits are set for this period:
// it takes this much from the queue at a time.
inline constexpr int kSdlDevicePeriod = 1024;

// Null when there is no usable audio device.
std::unique_ptr<AudioOutput> OpenSdlOutput();

}  // namespace kelvora
