#include "sound/sdl_output.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <string>

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

// ALSA reports every failed step of opening a device that is not there on
// stderr (eight lines on a machine without a sound card). When SDL has
// loaded it as its driver, its error reports are muted for the open alone;
// the one line that says why sound is off follows from SDL's own error.
class MutedAlsaErrors {
 public:
  MutedAlsaErrors() {
    library_ = dlopen("libasound.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (library_) set_handler_ = reinterpret_cast<SetHandler>(dlsym(library_, "snd_lib_error_set_handler"));
    if (set_handler_) set_handler_(&Ignore);
  }
  ~MutedAlsaErrors() {
    if (set_handler_) set_handler_(nullptr);  // ALSA's own handler again
    if (library_) dlclose(library_);
  }
  MutedAlsaErrors(const MutedAlsaErrors&) = delete;
  MutedAlsaErrors& operator=(const MutedAlsaErrors&) = delete;

 private:
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  static void Ignore(const char*, int, const char*, int, const char*, ...) {}

  void* library_ = nullptr;
  SetHandler set_handler_ = nullptr;
};

std::nullptr_t SoundOff(const std::string& why) {
  std::fprintf(stderr, "Sound is off: %s\n", why.c_str());
  return nullptr;
}

}  // namespace

std::unique_ptr<AudioOutput> OpenSdlOutput() {
  // The host owns the process's signals.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    return SoundOff(std::string("no audio driver (") + SDL_GetError() + ")");
  SDL_AudioSpec want{};
  want.freq = kPreferredRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kSdlDevicePeriod;
  SDL_AudioSpec have{};
  SDL_AudioDeviceID device;
  {
    MutedAlsaErrors muted;
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  }
  if (device == 0 || have.freq < 8000 || have.freq > 384000) {
    const std::string why = device == 0 ? std::string("no audio device (") + SDL_GetError() + ")"
                                        : "the audio device offers " + std::to_string(have.freq) + " Hz";
    if (device != 0) SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return SoundOff(why);
  }
  return std::make_unique<SdlOutput>(device, have.freq);
}

}  // namespace kelvora
