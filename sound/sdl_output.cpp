#include "sound/sdl_output.h"

#include <SDL.h>

namespace kelvora {

namespace {

constexpr int kPreferredRate = 48000;

class SdlOutput final : public AudioOutput {
 public:
  SdlOutput(SDL_AudioDeviceID device, int rate) : device_(device), rate_(rate) {}
  ~SdlOutput() override {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  int Rate() const override { return rate_; }

  int Queued() override {
    const int queued = static_cast<int>(SDL_GetQueuedAudioSize(device_) / 4);
    if (queued == 0 && playing_) {
      SDL_PauseAudioDevice(device_, 1);
      playing_ = false;
    }
    return queued;
  }

  void Write(const int16_t* stereo, int samples) override {
    if (samples <= 0) return;
    SDL_QueueAudio(device_, stereo, static_cast<Uint32>(samples) * 4);
    if (!playing_ && SDL_GetQueuedAudioSize(device_) / 4 >= rate_ * Engine::kTargetFillSeconds) {
      SDL_PauseAudioDevice(device_, 0);
      playing_ = true;
    }
  }

 private:
  SDL_AudioDeviceID device_;
  int rate_;
  bool playing_ = false;
};

}  // namespace

std::unique_ptr<AudioOutput> OpenSdlOutput() {
  // The host owns the process's signals.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  SDL_AudioSpec want{};
  want.freq = kPreferredRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 512;
  SDL_AudioSpec have{};
  const SDL_AudioDeviceID device =
      SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (device == 0 || have.freq < 8000 || have.freq > 384000) {
    if (device != 0) SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return std::make_unique<SdlOutput>(device, have.freq);
}

}  // namespace kelvora
