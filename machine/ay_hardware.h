// The machine's AY-3-8910 as the emulated software sees it: the register file
// behind ports #FFFD/#BFFD, the YM/AY register-number decoding, the AY mouse
// on register 14, and the binding to the sound plug-in (libkelvora.so), which
// turns the time-stamped register writes and beeper levels into sound.
//
// Threads: the port handlers, FrameLoop and SetSpeakerState run on the
// processor's run thread; construction, the mode switches, SetFrameLength,
// ShowSettingDialog and ShutdownPlugin on the GUI thread, possibly while the
// run thread keeps calling in. Every plug-in call is made under one short
// lock, so a re-initialisation never overlaps a call; ShowSettingDialog is
// the exception (it is modal and the run thread must never wait for it).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "sound/kelvora.h"

// AY mouse axis counters (machine globals): the input polling fills them at
// each frame end, register 14 delivers their low four bits, and switching the
// axis through register 14 re-centres the counter being left. Defined in
// ay_hardware.cpp.
extern uint8_t AyMouseX;
extern uint8_t AyMouseY;

// The plug-in's nine functions, in the order they are looked up.
struct KelvoraFunctions {
  KelvoraFrameLoopProc FrameLoop = nullptr;
  KelvoraSettingDialogProc SettingDialog = nullptr;
  KelvoraGetCapabilitiesProc GetCapabilities = nullptr;
  KelvoraDestroyProc Destroy = nullptr;
  KelvoraInitializeProc Initialize = nullptr;
  KelvoraSetModeProc SetMode = nullptr;
  KelvoraSetSpeakerStateProc SetSpeakerState = nullptr;
  KelvoraSetTapeStateProc SetTapeState = nullptr;
  KelvoraSetAYRegisterProc SetAYRegister = nullptr;

  bool Complete() const {
    return FrameLoop && SettingDialog && GetCapabilities && Destroy && Initialize && SetMode &&
           SetSpeakerState && SetTapeState && SetAYRegister;
  }
};

class TAYHardware {
 public:
  // frameTact: the machine's FrameTact (T-state within the frame at which the
  // current instruction began), read at every plug-in call for its stamp.
  // window: the main window's opaque handle, handed to the plug-in; may be null.
  explicit TAYHardware(const uint32_t& frameTact, void* window = nullptr);
  ~TAYHardware();
  TAYHardware(const TAYHardware&) = delete;
  TAYHardware& operator=(const TAYHardware&) = delete;

  void ShutdownPlugin();
  void ResetRegisters();
  void FrameLoop();
  void ShowSettingDialog();
  uint8_t ReadRegisterValue(int r);
  void SetBeeperEnabled(uint8_t on);
  void SetAYEnabled(uint8_t on);
  void SetFrameLength(int32_t frameLength);
  void SetSpeakerState(uint8_t level);
  void SelectRegister(uint8_t value);
  void WriteRegisterValue(uint8_t value);
  void WriteSelectedRegister(uint8_t value) { WriteRegisterValue(value); }
  uint8_t ReadSelectedRegister() { return ReadRegisterValue(static_cast<int>(SelectedRegister)); }

  // Where the next constructed object takes its plug-in from. A path replaces
  // libkelvora.so in the program directory (empty: the program directory
  // again); a function table replaces loading altogether (null: load again).
  // Null members of the table count as functions missing from the library.
  static void SetPluginPathForTesting(const std::string& path);
  static void SetPluginFunctionsForTesting(const KelvoraFunctions* functions);

  // Every plug-in call is skipped while this is 0. Cleared by the GUI thread
  // while the run thread may be calling in, hence atomic.
  std::atomic<uint8_t> PluginReady{0};
  uint8_t BeeperEnabled = 0;    // beeper output on, as last accepted by the plug-in
  uint8_t AYEnabled = 0;        // AY output on, as last accepted by the plug-in
  uint8_t BeeperSupported = 0;  // capability bit 1
  uint8_t AYSupported = 0;      // capability bit 0
  uint32_t SelectedRegister = 0;  // 0..255, as selected through #FFFD
  uint8_t AYRegisters[256] = {};  // registers 0..15 are used
  uint32_t FrameLength = 71680;   // frame length the plug-in is initialised with
  // Switches, flipped from the menu while the run thread reads them.
  std::atomic<uint8_t> AYMouseEmulation{0};
  uint8_t LastR14Value = 0;
  std::atomic<uint8_t> AYRegistersEmulation{0};
  // Set: register numbers above 15 are absent (YM2149F); clear: the number is
  // taken modulo 16 (AY-3-8910, which decodes only the low four bits).
  std::atomic<uint8_t> YMRegistersType{1};

 private:
  bool InitializeLocked(int32_t frameLength);
  void SendModeLocked();
  void DropPluginLocked();

  const uint32_t& frameTact_;
  void* window_;
  KelvoraFunctions plugin_;
  // Taken only around plug-in calls and the init/destroy pairs; never while
  // the plug-in's settings dialog is open.
  std::mutex pluginLock_;
};
