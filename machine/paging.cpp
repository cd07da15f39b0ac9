// Memory models and their paging latches.
//
// Every model shows 64 KB as four 16 KB windows. #7FFD is the 128K latch:
// bits 0-2 the page at #C000, bit 3 the screen (page 5 or 7), bit 4 the ROM
// (128 or 48 BASIC), bit 5 the lock. The clones extend the page number with
// bits of their own: the Pentagons with the top bits of #7FFD, the Profi with
// #DFFD, the Scorpions with #1FFD, the ATM with #FDFD; these land in
// ExtendedPage, the page number's high part.
#include "machine/hardware.h"

int32_t RamPagesOfModel(int32_t model) {
  switch (model) {
    case kPentagon512:
    case kAtm512:
      return 32;
    case kPentagon1024:
    case kProfi1024:
    case kScorpion1024:
      return 64;
    case kScorpion256:
      return 16;
    default:  // Pentagon 128K; the 48K model's #C000 page comes from the same latch
      return 8;
  }
}

void TZXHardware::RecomputeWindows() {
  const uint32_t page = (Port7FFD & 7u) + 8u * ExtendedPage;
  if (RamAtZero)
    Windows[0] = RamPages[0];
  else if (ExtRomPaged)
    Windows[0] = ExtRomSlot;
  else
    Windows[0] = (Port7FFD & 0x10) ? Rom48Slot : Rom128Slot;
  if (Window4000Paged) {
    Windows[1] = RamPages[page];
    Windows[3] = RamPages[7];
  } else {
    Windows[1] = RamPages[5];
    Windows[3] = RamPages[page];
  }
  Windows[2] = Window8000Page6 ? RamPages[6] : RamPages[2];
}

void TZXHardware::WritePort7FFD(uint8_t value) {
  if (MemoryModel == kSpectrum48) return;
  Port7FFD = value;
  const bool shadow = value & 0x08;
  ScreenPage = RamPages[shadow ? 7 : 5];
  HiResBitmapPage = RamPages[shadow ? 6 : 4];
  HiResAttrPage = RamPages[shadow ? 58 : 56];
  if (MemoryModel == kPentagon512) {
    ExtendedPage = (ExtendedPage & ~3u) | (value >> 6);
  } else if (MemoryModel == kPentagon1024) {
    // No lock on the 1024K Pentagon: bit 5 is the third page-group bit.
    ExtendedPage = (ExtendedPage & ~7u) | (value >> 6) | ((value & 0x20) >> 3);
  }
  RecomputeWindows();
}

void TZXHardware::WritePortDFFD(uint8_t value) {
  if (MemoryModel != kProfi1024) return;
  PortDFFD = value;
  ExtendedPage = value & 7u;
  RamAtZero = (value >> 4) & 1;
  ProfiDiskPorts = (value >> 5) & 1;
  Window4000Paged = (value >> 3) & 1;
  Window8000Page6 = (value >> 6) & 1;
  ProfiHiRes = (value >> 7) & 1;
  SetScreenMode(ProfiHiRes ? 1 : 0);
  RecomputeWindows();
}

void TZXHardware::WritePort1FFD(uint8_t value) {
  if (MemoryModel != kScorpion256 && MemoryModel != kScorpion1024) return;
  Port1FFD = value;
  ExtendedPage = (ExtendedPage & ~1u) | ((value >> 4) & 1u);
  if (MemoryModel == kScorpion1024) ExtendedPage = (ExtendedPage & ~6u) | ((value >> 5) & 6u);
  ExtRomPaged = (value >> 1) & 1;
  RamAtZero = value & 1;
  RecomputeWindows();
}

void TZXHardware::WritePortFDFD(uint8_t value) {
  if (MemoryModel != kAtm512) return;
  PortFDFD = value;
  ExtendedPage = (ExtendedPage & ~3u) | (value & 3u);
  RecomputeWindows();
}

void TZXHardware::SetMemoryModel(int32_t model) {
  if (model < 0 || model > 7) model = kPentagon128;
  // The latches are rewritten under the old model, so each write lands only
  // where the old model has that latch.
  const uint8_t keep7FFD = Port7FFD & 0x3F;
  switch (model) {
    case kSpectrum48:
      WritePortFDFD(0);
      WritePortDFFD(0);
      WritePort1FFD(0);
      WritePort7FFD(0x30);
      break;
    case kPentagon128:
    case kPentagon512:
    case kPentagon1024:
      WritePortFDFD(0);
      WritePortDFFD(0);
      WritePort1FFD(0);
      if (model == kPentagon128) WritePort7FFD(keep7FFD);
      break;
    case kProfi1024:
      WritePortFDFD(0);
      WritePort1FFD(0);
      WritePort7FFD(keep7FFD);
      break;
    case kScorpion256:
    case kScorpion1024:
      WritePortFDFD(0);
      WritePortDFFD(0);
      if (model == kScorpion256) WritePort1FFD(Port1FFD & 0x3F);
      WritePort7FFD(Port7FFD & 0x3F);
      break;
    case kAtm512:
      WritePort1FFD(0);
      WritePortDFFD(0);
      WritePort7FFD(keep7FFD);
      break;
  }
  MemoryModel = model;
  // High page bits left by a bigger model would point past this model's RAM
  // (a 1024K Pentagon's page 39 on a 128K one): keep only what it can reach.
  const uint32_t groups = static_cast<uint32_t>(RamPagesOfModel(model)) / 8u;
  ExtendedPage &= groups - 1u;
  RecomputeWindows();
}

void TZXHardware::ResetCommon(uint8_t extRomActive, uint8_t trdosActive, uint8_t port7ffd) {
  cpu_->Req.ResetPending.store(Z80_FLAG_SET);
  ExtRomActive = extRomActive;
  TrdosActive = trdosActive;
  WritePort7FFD(port7ffd);
  WritePortDFFD(0);
  WritePort1FFD(0);
  cpu_->Req.ResetPending.store(Z80_FLAG_SET);
  SoundChip.ResetRegisters();
}

void TZXHardware::ResetTo48Rom() { ResetCommon(0, 0, 0x10); }
void TZXHardware::ResetTo128Rom() { ResetCommon(0, 0, 0x00); }
void TZXHardware::ResetToTrdos() { ResetCommon(0, 1, 0x10); }
void TZXHardware::ResetToExtRom() { ResetCommon(1, 0, 0x10); }

void TZXHardware::RaiseNmi() { cpu_->Req.NmiPending.store(Z80_FLAG_SET); }

// The frame clock rewrites the line after every step, so this INT lasts
// until the next step ends.
void TZXHardware::RaiseInt() { cpu_->Req.IntLine.store(1); }

// The Beta interface's Magic button: an NMI served by the TR-DOS ROM, which
// the interface only lets through while the processor runs in RAM.
void TZXHardware::PressMagic() {
  if (cpu_->PC < 0x4000) return;
  cpu_->Req.NmiPending.store(Z80_FLAG_SET);
  TrdosActive = 1;
}

// The Scorpion's Magic button pages its EXTROM in with the NMI.
void TZXHardware::PressScorpionMagic() {
  if (Port1FFD & 0x02) return;
  cpu_->Req.NmiPending.store(Z80_FLAG_SET);
  WritePort1FFD(Port1FFD | 0x02);
}
