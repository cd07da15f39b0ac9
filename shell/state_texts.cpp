#include "shell/state_texts.h"

#include <cstdio>

namespace {

std::string Hex2(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X", value & 0xFFu);
  return text;
}

std::string Hex4(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "#%04X", value & 0xFFFFu);
  return text;
}

std::string Seg(int32_t page) { return "seg" + std::to_string(page < 0 ? 0 : page); }

std::string RomText(const TMachineState& s) {
  if (s.TrdosActive) return "TR-DOS";
  if (s.ExtRomActive) return "EXTENDED";
  const TMemorySource rom = s.Windows[0];
  if (rom.kind == TMemorySource::kRom) {
    static constexpr const char* kSlotTexts[3] = {"128K", "48K", "EXTENDED"};
    if (rom.number < 3) return kSlotTexts[rom.number];
  }
  if (rom == TMemorySource{TMemorySource::kRam, 0}) return "RAM ( seg0 )";
  return "unk (error)";
}

std::optional<std::string> MapText(const TMemorySource& source, bool romAllowed) {
  if (source.kind == TMemorySource::kRam) return "RAM seg" + std::to_string(source.number);
  if (romAllowed && source.kind == TMemorySource::kRom) return "ROM seg" + std::to_string(source.number);
  return std::nullopt;
}

}  // namespace

std::string GroupDigits(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

bool ModelHasLatch(int32_t model, TLatch latch) {
  switch (latch) {
    case kLatch7FFD: return model != 7;
    case kLatchDFFD: return model == 3;
    case kLatch1FFD: return model == 4 || model == 5;
    case kLatchFDFD: return model == 6;
    default: return false;
  }
}

uint8_t LatchValue(const TMachineState& s, TLatch latch) {
  switch (latch) {
    case kLatch7FFD: return s.Port7FFD;
    case kLatchDFFD: return s.PortDFFD;
    case kLatch1FFD: return s.Port1FFD;
    default: return s.PortFDFD;
  }
}

THardwareStateTexts HardwareStateTexts(const TMachineState& s, uint64_t tickReference) {
  THardwareStateTexts t;
  for (int l = 0; l < kLatchCount; ++l) {
    const auto latch = static_cast<TLatch>(l);
    t.Latches[l] = Hex2(LatchValue(s, latch));
    t.LatchColours[l] = ModelHasLatch(s.MemoryModel, latch) ? TBoxColour::ButtonFace : TBoxColour::Red;
  }
  t.Page = Hex2((s.Port7FFD & 7u) + 8u * s.ExtendedPage);
  t.Rom = RomText(s);
  t.Screen = (s.PortDFFD & 0x80) ? Seg(s.HiResBitmapPage) + " + " + Seg(s.HiResAttrPage)
                                 : Seg(s.ScreenPage);
  t.FrameTick = std::to_string(s.FrameTact);
  t.Tick = GroupDigits(s.GlobalTact - tickReference);
  for (size_t w = 0; w < 4; ++w) t.Map[w] = MapText(s.Windows[w], w == 0);
  if (s.TrdosActive) t.Map[0] = "ROM seg3";
  else if (s.ExtRomActive) t.Map[0] = "ROM seg2";
  return t;
}

const std::array<TAyBox, kAyBoxes - 1> kAyRegisterBoxes = {{
    {"[R0:R1]:", 0, 1},
    {"[R2:R3]:", 2, 3},
    {"[R4:R5]:", 4, 5},
    {"[R6]:", 6, -1},
    {"[R7]:", 7, -1},
    {"[R8]:", 8, -1},
    {"[R9]:", 9, -1},
    {"[R10]:", 10, -1},
    {"[R11:R12]:", 11, 12},
    {"[R13]:", 13, -1},
    {"[R14]:", 14, -1},
    {"[R15]:", 15, -1},
}};

std::array<std::string, kAyBoxes> AyStateTexts(const TMachineState& s) {
  std::array<std::string, kAyBoxes> texts;
  for (size_t i = 0; i < kAyRegisterBoxes.size(); ++i) {
    const TAyBox& box = kAyRegisterBoxes[i];
    const unsigned low = s.AyRegisters[static_cast<size_t>(box.low)];
    texts[i] = box.high < 0 ? Hex2(low)
                            : Hex4(low + 256u * s.AyRegisters[static_cast<size_t>(box.high)]);
  }
  texts[kAyBoxes - 1] = Hex2(s.AySelectedRegister);
  return texts;
}

const std::array<const char*, kFloppyBoxes> kFloppyCaptions = {
    "Command:", "Status:",   "Track:", "Sector:",  "Data:",
    "Port 'RQ':", "Port #FF:", "Timer:", "Disk angle:", "Fly Byte:",
    "Head Pos:", "Debug",    "TransferBlockSize", "Drive:", "Side:",
    "Cyl:",     "Mode:",     "Motor:",
};

TFloppyStateTexts FloppyStateTexts(const disk::T1818VG93::TStateReading& r) {
  using disk::T1818VG93;
  // An unloaded head stands half a turn round, away from the index hole.
  const uint64_t turn = r.Now % T1818VG93::kTurn;
  const uint64_t position = r.HeadLoaded ? turn : T1818VG93::kTurn / 2;
  const uint8_t sys = r.SystemRegister;

  TFloppyStateTexts out;
  auto& t = out.Texts;
  t[kFloppyCommand] = Hex2(r.CommandRegister);
  t[kFloppyStatus] = Hex2(r.Status);
  t[kFloppyTrack] = Hex2(r.TrackRegister);
  t[kFloppySector] = Hex2(r.SectorRegister);
  t[kFloppyData] = Hex2(r.DataRegister);
  t[kFloppyRequest] = Hex2(r.RequestLines);
  t[kFloppySystem] = Hex2(sys);
  t[kFloppyTimer] = std::to_string(turn);
  t[kFloppyAngle] = std::to_string(position / 1949) + " degree";
  t[kFloppyFlyByte] = Hex2(r.DisplayByte);
  out.FlyByteColour = r.DisplayByte ? TBoxColour::Green : TBoxColour::ButtonFace;
  if (r.HeadLoaded && turn < T1818VG93::kIndexPulse) out.FlyByteColour = TBoxColour::Red;
  t[kFloppyHeadPos] = std::to_string(position / T1818VG93::kByteTime);
  t[kFloppyDebug] = std::to_string(r.DisplayCount);
  t[kFloppyTransfer] = std::to_string(r.DataCount);
  static constexpr const char* kDrives[4] = {"A:", "B:", "C:", "D:"};
  t[kFloppyDrive] = kDrives[sys & 3];
  t[kFloppySide] = std::string(1, (sys & 0x10) ? '0' : '1');
  t[kFloppyCylinder] = std::to_string(r.SelectedCylinder);
  t[kFloppyMode] = (sys & 0x80) ? "MFM" : "FM";
  t[kFloppyMotor] = r.HeadLoaded ? "ON" : "OFF";
  return out;
}
