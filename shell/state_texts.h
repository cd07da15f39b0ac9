// The texts of the three state windows (machine, sound chip, floppy
// controller), made from copies of the state: no toolkit, no machine access,
// so each refresh's output can be checked for a fixed state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "disk/vg93.h"
#include "machine/state_record.h"

// A box's background.
enum class TBoxColour { ButtonFace, Red, Green };

// Unsigned decimal with a blank before every group of three digits counted
// from the right: 1234567 is "1 234 567", 123 stays "123".
std::string GroupDigits(uint64_t value);

// ---- machine state window -------------------------------------------------

// The four paging latches, in the order of the window's boxes.
enum TLatch { kLatch7FFD, kLatchDFFD, kLatch1FFD, kLatchFDFD, kLatchCount };

// Whether a memory model has the latch (its box is red when not).
bool ModelHasLatch(int32_t model, TLatch latch);
uint8_t LatchValue(const TMachineState& s, TLatch latch);

struct THardwareStateTexts {
  std::array<std::string, kLatchCount> Latches;
  std::array<TBoxColour, kLatchCount> LatchColours{};
  std::string Page;
  std::string Screen;
  std::string Rom;
  std::string FrameTick;
  std::string Tick;
  // #0000, #4000, #8000, #C000; empty where the window matches nothing (the
  // box keeps its previous text).
  std::array<std::optional<std::string>, 4> Map;
};

// tickReference: the GlobalTact the "Tick:" box counts from.
THardwareStateTexts HardwareStateTexts(const TMachineState& s, uint64_t tickReference);

// ---- sound chip state window ----------------------------------------------

// The boxes in the window's order: [R0:R1] ... [R15], then the selected
// register.
inline constexpr int kAyBoxes = 13;
struct TAyBox {
  const char* caption;
  int low;   // register shown, or the low one of a pair
  int high;  // the pair's high register, or -1
};
extern const std::array<TAyBox, kAyBoxes - 1> kAyRegisterBoxes;
inline constexpr const char* kAyActiveRegisterCaption = "Active Register:";

std::array<std::string, kAyBoxes> AyStateTexts(const TMachineState& s);

// ---- floppy controller state window ---------------------------------------

inline constexpr int kFloppyBoxes = 18;
// The boxes in the window's order, so that texts[i] belongs to caption i.
extern const std::array<const char*, kFloppyBoxes> kFloppyCaptions;
enum TFloppyBox {
  kFloppyCommand, kFloppyStatus, kFloppyTrack, kFloppySector, kFloppyData, kFloppyRequest,
  kFloppySystem, kFloppyTimer, kFloppyAngle, kFloppyFlyByte, kFloppyHeadPos, kFloppyDebug,
  kFloppyTransfer, kFloppyDrive, kFloppySide, kFloppyCylinder, kFloppyMode, kFloppyMotor,
};
// How many boxes stand in the left ("1818VG93") column; the rest are "Drive".
inline constexpr int kFloppyLeftColumn = kFloppyDrive;

struct TFloppyStateTexts {
  std::array<std::string, kFloppyBoxes> Texts;
  TBoxColour FlyByteColour = TBoxColour::ButtonFace;
};

TFloppyStateTexts FloppyStateTexts(const disk::T1818VG93::TStateReading& r);
