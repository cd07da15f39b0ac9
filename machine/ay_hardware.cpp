#include "machine/ay_hardware.h"

#include <dlfcn.h>

#include "platform/dialogs.h"
#include "platform/files.h"

uint8_t AyMouseX = 0;
uint8_t AyMouseY = 0;

namespace {

std::mutex g_sourceMutex;
std::string g_pluginPath;                   // empty: the program directory
const KelvoraFunctions* g_pluginTable = nullptr;  // set: no library is loaded

template <typename Proc>
Proc Bind(void* library, const char* name) {
  return reinterpret_cast<Proc>(dlsym(library, name));
}

// Loads the library (never unloaded: a plug-in may keep threads of its own)
// and looks up the nine functions. False when the library itself is absent.
bool LoadPlugin(KelvoraFunctions& f) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    if (g_pluginTable) {
      f = *g_pluginTable;
      return true;
    }
    path = g_pluginPath;
  }
  if (path.empty()) path = platform::ProgramDirectory() + "/" + kKelvoraLibraryName;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  f.FrameLoop = Bind<KelvoraFrameLoopProc>(library, "KelvoraFrameLoop");
  f.SettingDialog = Bind<KelvoraSettingDialogProc>(library, "KelvoraSettingDialog");
  f.GetCapabilities = Bind<KelvoraGetCapabilitiesProc>(library, "KelvoraGetCapabilities");
  f.Destroy = Bind<KelvoraDestroyProc>(library, "KelvoraDestroy");
  f.Initialize = Bind<KelvoraInitializeProc>(library, "KelvoraInitialize");
  f.SetMode = Bind<KelvoraSetModeProc>(library, "KelvoraSetMode");
  f.SetSpeakerState = Bind<KelvoraSetSpeakerStateProc>(library, "KelvoraSetSpeakerState");
  f.SetTapeState = Bind<KelvoraSetTapeStateProc>(library, "KelvoraSetTapeState");
  f.SetAYRegister = Bind<KelvoraSetAYRegisterProc>(library, "KelvoraSetAYRegister");
  return true;
}

}  // namespace

void TAYHardware::SetPluginPathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_sourceMutex);
  g_pluginPath = path;
}

void TAYHardware::SetPluginFunctionsForTesting(const KelvoraFunctions* functions) {
  std::lock_guard<std::mutex> lock(g_sourceMutex);
  g_pluginTable = functions;
}

TAYHardware::TAYHardware(const uint32_t& frameTact, void* window)
    : frameTact_(frameTact), window_(window) {
  KelvoraFunctions found;
  const bool loaded = LoadPlugin(found);
  AyMouseX = 0;
  AyMouseY = 0;
  if (!found.Complete()) {
    // A missing library is the normal silent case; a library without the
    // functions is worth telling the user about.
    if (loaded) platform::ShowMessage("OVRIN", "Function not found in KELVORA.DLL!");
    return;
  }
  plugin_ = found;
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (plugin_.Initialize(static_cast<int32_t>(FrameLength), window_) != 0) return;
  const int32_t caps = plugin_.GetCapabilities();
  AYSupported = (caps & 1) ? 1 : 0;
  BeeperSupported = (caps & 2) ? 1 : 0;
  PluginReady.store(1, std::memory_order_release);
}

TAYHardware::~TAYHardware() { ShutdownPlugin(); }

void TAYHardware::DropPluginLocked() {
  PluginReady.store(0, std::memory_order_release);
  BeeperEnabled = 0;
  AYEnabled = 0;
  BeeperSupported = 0;
  AYSupported = 0;
}

void TAYHardware::ShutdownPlugin() {
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (PluginReady.load(std::memory_order_relaxed)) {
    PluginReady.store(0, std::memory_order_release);
    plugin_.Destroy();
  }
  DropPluginLocked();
}

// A fresh initialisation may come up with the plug-in's outputs off, so the
// mode the menu shows is sent again; if the plug-in refuses it, the flags
// fall back to off so that the menu tells the truth.
void TAYHardware::SendModeLocked() {
  const int32_t mode = (AYEnabled ? 1 : 0) | (BeeperEnabled ? 2 : 0);
  if (plugin_.SetMode(mode) != 0) {
    AYEnabled = 0;
    BeeperEnabled = 0;
  }
}

bool TAYHardware::InitializeLocked(int32_t frameLength) {
  if (plugin_.Initialize(frameLength, window_) == 0) {
    FrameLength = static_cast<uint32_t>(frameLength);
    return true;
  }
  // Come back with the length that worked before.
  return plugin_.Initialize(static_cast<int32_t>(FrameLength), window_) == 0;
}

void TAYHardware::SetFrameLength(int32_t frameLength) {
  // The run thread may be calling in right now: it waits on the lock for the
  // length of one destroy/initialise pair, then sees the new state.
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (!PluginReady.load(std::memory_order_relaxed)) return;
  PluginReady.store(0, std::memory_order_release);
  plugin_.Destroy();
  if (!InitializeLocked(frameLength)) {
    // Neither length initialises: the plug-in is gone, run silently.
    DropPluginLocked();
    return;
  }
  SendModeLocked();
  PluginReady.store(1, std::memory_order_release);
}

void TAYHardware::SetBeeperEnabled(uint8_t on) {
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (!PluginReady.load(std::memory_order_relaxed)) return;
  const int32_t mode = (AYEnabled ? 1 : 0) | (on ? 2 : 0);
  if (plugin_.SetMode(mode) == 0) BeeperEnabled = on ? 1 : 0;
}

void TAYHardware::SetAYEnabled(uint8_t on) {
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (!PluginReady.load(std::memory_order_relaxed)) return;
  const int32_t mode = (BeeperEnabled ? 2 : 0) | (on ? 1 : 0);
  if (plugin_.SetMode(mode) == 0) AYEnabled = on ? 1 : 0;
}

void TAYHardware::SetSpeakerState(uint8_t level) {
  if (!PluginReady.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (PluginReady.load(std::memory_order_relaxed))
    plugin_.SetSpeakerState(static_cast<int32_t>(frameTact_), level);
}

void TAYHardware::FrameLoop() {
  if (!PluginReady.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (PluginReady.load(std::memory_order_relaxed)) plugin_.FrameLoop();
}

void TAYHardware::ShowSettingDialog() {
  // No lock: the dialog is modal and may stay open for long, and the run
  // thread must not wait for it. Destroy and Initialize come only from this
  // (GUI) thread, so they cannot overlap the dialog call.
  if (PluginReady.load(std::memory_order_acquire)) plugin_.SettingDialog();
}

void TAYHardware::ResetRegisters() {
  for (int r = 0; r < 16; ++r) AYRegisters[r] = 0;
  if (!PluginReady.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (!PluginReady.load(std::memory_order_relaxed)) return;
  const int32_t tact = static_cast<int32_t>(frameTact_);
  for (int r = 0; r < 16; ++r) plugin_.SetAYRegister(tact, r, 0);
}

void TAYHardware::SelectRegister(uint8_t value) {
  if (AYRegistersEmulation.load(std::memory_order_relaxed)) SelectedRegister = value;
}

void TAYHardware::WriteRegisterValue(uint8_t value) {
  uint32_t r = SelectedRegister;
  if (YMRegistersType.load(std::memory_order_relaxed)) {
    if (r > 15) return;
  } else {
    r &= 15;
  }
  AYRegisters[r] = value;
  if (r == 14 && AYMouseEmulation.load(std::memory_order_relaxed)) {
    // Bit 6 of register 14 picks the axis the mouse reports; the counter of
    // the axis being left is re-centred so it starts from the middle next time.
    if ((value ^ LastR14Value) & 0x40) {
      if (value & 0x40)
        AyMouseX = static_cast<uint8_t>((AyMouseX & 0xF0) | 0x08);
      else
        AyMouseY = static_cast<uint8_t>((AyMouseY & 0xF0) | 0x08);
    }
    LastR14Value = value;
  }
  if (!PluginReady.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(pluginLock_);
  if (PluginReady.load(std::memory_order_relaxed))
    plugin_.SetAYRegister(static_cast<int32_t>(frameTact_), static_cast<int32_t>(r), value);
}

uint8_t TAYHardware::ReadRegisterValue(int r) {
  if (YMRegistersType.load(std::memory_order_relaxed)) {
    if (r < 0 || r > 15) return 0xFF;
  } else {
    r &= 15;
  }
  if (r == 14 && AYMouseEmulation.load(std::memory_order_relaxed)) {
    const uint8_t mask = LastR14Value & 0x7F;
    if (LastR14Value & 0x40) return static_cast<uint8_t>((AyMouseY & mask) | 0x40);
    return static_cast<uint8_t>(AyMouseX & mask);
  }
  return AYRegistersEmulation.load(std::memory_order_relaxed) ? AYRegisters[r] : 0xFF;
}
