// Audio through SDL2's audio subsystem only (no video), pushed into SDL's
// queue. Playback starts once the queue holds the engine's target fill and
// pauses again when it runs dry (the processor stopped), so it restarts with
// a cushion instead of stuttering.
#pragma once

#include <memory>

#include "sound/engine.h"

namespace kelvora {

// Null when there is no usable audio device.
std::unique_ptr<AudioOutput> OpenSdlOutput();

}  // namespace kelvora
