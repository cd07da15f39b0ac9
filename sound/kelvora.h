// The sound plug-in's nine functions, as the machine binds them by name with
// dlsym from libkelvora.so in the program directory. Integers are 32-bit.
#pragma once

#include <cstdint>

extern "C" {
// Frame length in T-states and an opaque main-window handle (may be null).
// 0 = success.
typedef int32_t (*KelvoraInitializeProc)(int32_t frameLength, void* window);
typedef int32_t (*KelvoraDestroyProc)(void);
// Bit 0: AY output supported; bit 1: beeper supported.
typedef int32_t (*KelvoraGetCapabilitiesProc)(void);
// Bit 0: AY output on; bit 1: beeper on. 0 = accepted.
typedef int32_t (*KelvoraSetModeProc)(int32_t mode);
// T-state within the frame; level 0 or 0x10.
typedef int32_t (*KelvoraSetSpeakerStateProc)(int32_t tact, int32_t level);
// T-state within the frame, register 0..15, value 0..255.
typedef int32_t (*KelvoraSetAYRegisterProc)(int32_t tact, int32_t reg, int32_t value);
typedef int32_t (*KelvoraFrameLoopProc)(void);
typedef int32_t (*KelvoraSettingDialogProc)(void);
typedef int32_t (*KelvoraSetTapeStateProc)(void);
}

// Names as bound by the machine.
inline constexpr const char* kKelvoraLibraryName = "libkelvora.so";
