// libkelvora.so: the nine functions the machine binds by name. They forward
// to one Engine, created at the first initialisation together with its
// output: the audio device, or a WAV file when KELVORA_WAV names one. The
// engine lives until the process ends, so late calls from the host's own
// shutdown find it still there; only the audio device is closed at exit.
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "sound/engine.h"
#include "sound/kelvora.h"
#include "sound/sdl_output.h"
#include "sound/settings.h"
#include "sound/wav_writer.h"

#define KELVORA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using kelvora::Engine;

constexpr int kWavRate = 48000;

std::mutex g_createMutex;
std::atomic<Engine*> g_engine{nullptr};

Engine* CurrentEngine() { return g_engine.load(std::memory_order_acquire); }

Engine* CreateEngine() {
  std::lock_guard<std::mutex> lock(g_createMutex);
  if (Engine* e = CurrentEngine()) return e;
  std::unique_ptr<kelvora::AudioOutput> output;
  const char* wav = std::getenv("KELVORA_WAV");
  if (wav && *wav)
    output = kelvora::WavOutput::Create(wav, kWavRate);
  else
    output = kelvora::OpenSdlOutput();  // null without a device: silent, still working
  auto* engine = new Engine(std::move(output));
  engine->ApplySettings(kelvora::LoadSettings());
  g_engine.store(engine, std::memory_order_release);
  return engine;
}

// Closes the audio device when the process ends. The device is taken out of
// the engine under its lock and closed without it: SDL's audio thread may be
// waiting on the device meanwhile.
struct CloseAtExit {
  ~CloseAtExit() {
    if (Engine* e = CurrentEngine()) e->ReleaseOutput().reset();
  }
} g_closeAtExit;

}  // namespace

KELVORA_EXPORT int32_t KelvoraInitialize(int32_t frameLength, void* /*window*/) {
  return CreateEngine()->Initialize(frameLength);
}

KELVORA_EXPORT int32_t KelvoraDestroy(void) {
  Engine* e = CurrentEngine();
  return e ? e->Destroy() : 1;
}

KELVORA_EXPORT int32_t KelvoraGetCapabilities(void) { return 1 | 2; }  // AY and beeper

KELVORA_EXPORT int32_t KelvoraSetMode(int32_t mode) {
  Engine* e = CurrentEngine();
  return e ? e->SetMode(mode) : 1;
}

KELVORA_EXPORT int32_t KelvoraSetSpeakerState(int32_t tact, int32_t level) {
  Engine* e = CurrentEngine();
  return e ? e->SetSpeakerState(tact, level) : 1;
}

KELVORA_EXPORT int32_t KelvoraSetAYRegister(int32_t tact, int32_t reg, int32_t value) {
  Engine* e = CurrentEngine();
  return e ? e->SetAYRegister(tact, reg, value) : 1;
}

KELVORA_EXPORT int32_t KelvoraFrameLoop(void) {
  Engine* e = CurrentEngine();
  return e ? e->FrameLoop() : 1;
}

// No lock is held while the dialog is open: the run thread keeps calling in.
KELVORA_EXPORT int32_t KelvoraSettingDialog(void) {
  Engine* e = CurrentEngine();
  if (!e || !e->Initialised()) return 1;
  kelvora::KelvoraSettings settings = e->Settings();
  if (!kelvora::EditSettings(settings)) return 1;
  e->ApplySettings(settings);
  return 0;
}

KELVORA_EXPORT int32_t KelvoraSetTapeState(void) { return 0; }

static_assert(std::is_same_v<decltype(&KelvoraInitialize), KelvoraInitializeProc>);
static_assert(std::is_same_v<decltype(&KelvoraDestroy), KelvoraDestroyProc>);
static_assert(std::is_same_v<decltype(&KelvoraGetCapabilities), KelvoraGetCapabilitiesProc>);
static_assert(std::is_same_v<decltype(&KelvoraSetMode), KelvoraSetModeProc>);
static_assert(std::is_same_v<decltype(&KelvoraSetSpeakerState), KelvoraSetSpeakerStateProc>);
static_assert(std::is_same_v<decltype(&KelvoraSetAYRegister), KelvoraSetAYRegisterProc>);
static_assert(std::is_same_v<decltype(&KelvoraFrameLoop), KelvoraFrameLoopProc>);
static_assert(std::is_same_v<decltype(&KelvoraSettingDialog), KelvoraSettingDialogProc>);
static_assert(std::is_same_v<decltype(&KelvoraSetTapeState), KelvoraSetTapeStateProc>);
