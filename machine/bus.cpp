// The processor's bus: memory through the four windows, and the I/O ports.
//
// Spectrum-family machines decode ports partially, each by the few address
// lines its logic looks at, so a port answers at many addresses. The masks
// below are those address lines: the ULA answers whenever A0 is low; the
// 128K latch #7FFD needs A15 and A1 low; the AY sits where A15, A14 and A1
// say (#FFFD selects, #BFFD writes); the Beta disk interface's controller
// answers at (port & #E3) with A7-A5 picking the register, but only while
// its ROM is paged in, so the Kempston joystick can share #1F otherwise.
#include "machine/hardware.h"

namespace {

// The Beta interface's register select: A7-A5 choose the controller register
// (#1F, #3F, #5F, #7F) with A1 and A0 high; all three high (#FF) is the
// interface's system latch. -1: not a disk port.
inline int BetaRegisterE3(uint16_t port) {
  switch (port & 0xE3) {
    case 0x03: return 0x1F;
    case 0x23: return 0x3F;
    case 0x43: return 0x5F;
    case 0x63: return 0x7F;
    case 0xE3: return 0xFF;
    default: return -1;
  }
}

// The Profi's first decoding of the disk ports: registers by (port & #E3),
// the system latch wherever A7, A1 and A0 are high.
inline int ProfiRegisterE3(uint16_t port, uint8_t latchMask) {
  switch (port & 0xE3) {
    case 0x03: return 0x1F;
    case 0x23: return 0x3F;
    case 0x43: return 0x5F;
    case 0x63: return 0x7F;
    default: return (port & latchMask) == 0x83 ? 0xFF : -1;
  }
}

// The Profi's second decoding (#DFFD bit 5 with the 48 ROM): full low bytes.
inline int ProfiRegisterLowByte(uint16_t port) {
  switch (port & 0xFF) {
    case 0x83: return 0x1F;
    case 0xA3: return 0x3F;
    case 0xC3: return 0x5F;
    case 0xE3: return 0x7F;
    case 0x3F: return 0xFF;
    default: return -1;
  }
}

inline TZXHardware& Machine(void* user) { return *static_cast<TZXHardware*>(user); }

}  // namespace

// ---- memory ---------------------------------------------------------------

// The Beta interface watches the fetches: an opcode fetched from #3Dxx while
// the 48 BASIC ROM is in pages the TR-DOS ROM in (so that BASIC's
// RANDOMIZE USR 15616 enters TR-DOS), and any fetch from RAM pages it out.
// The callbacks hold the code themselves: they run for every access.
uint8_t TZXHardware::MemoryFetch(uint32_t address32, void* user) {
  TZXHardware& m = Machine(user);
  const uint16_t address = static_cast<uint16_t>(address32);
  if (address >= 0x4000) {
    if (m.TrdosActive | m.ExtRomActive) m.TrdosActive = m.ExtRomActive = 0;
    return m.WindowOf(address)[address & 0x3FFF];
  }
  if (m.TrdosActive) return m.TrdosRomSlot[address];
  if (m.ExtRomActive) return m.ExtRomSlot[address];
  if ((address >> 8) == 0x3D && m.Windows[0] == m.Rom48Slot && m.BetaDiskEmulation) {
    m.TrdosActive = 1;
    return m.TrdosRomSlot[address];
  }
  return m.Windows[0][address];
}

uint8_t TZXHardware::MemoryRead(uint32_t address32, void* user) {
  const TZXHardware& m = Machine(user);
  const uint16_t address = static_cast<uint16_t>(address32);
  if (address >= 0x4000) return m.WindowOf(address)[address & 0x3FFF];
  if (m.TrdosActive) return m.TrdosRomSlot[address];
  if (m.ExtRomActive) return m.ExtRomSlot[address];
  return m.Windows[0][address];
}

__attribute__((always_inline)) inline void TZXHardware::StoreByte(uint16_t address,
                                                                 uint8_t value) {
  if (address >= 0x4000)
    WindowOf(address)[address & 0x3FFF] = value;
  else if (RamAtZero)
    Windows[0][address] = value;
}

// Out of line, so that the common write needs no stack frame.
__attribute__((noinline)) void TZXHardware::RenderThenStore(uint16_t address, uint8_t value) {
  RenderToTact(CurrentTact());
  StoreByte(address, value);
}

void TZXHardware::MemoryWrite(uint32_t address32, uint8_t value, void* user) {
  TZXHardware& m = Machine(user);
  const uint16_t address = static_cast<uint16_t>(address32);
  // Draw the picture up to this moment first, so a write into screen memory
  // shows from the right beam position on.
  if (m.WriteNeedsRender(address)) [[unlikely]] {
    m.RenderThenStore(address, value);
    return;
  }
  m.StoreByte(address, value);
}

uint8_t TZXHardware::Fetch(uint16_t address) { return MemoryFetch(address, this); }
uint8_t TZXHardware::Read(uint16_t address) const {
  return MemoryRead(address, const_cast<TZXHardware*>(this));
}
void TZXHardware::Write(uint16_t address, uint8_t value) { MemoryWrite(address, value, this); }
uint8_t TZXHardware::PortRead(uint32_t port, void* user) {
  return Machine(user).In(static_cast<uint16_t>(port));
}
void TZXHardware::PortWrite(uint32_t port, uint8_t value, void* user) {
  Machine(user).Out(static_cast<uint16_t>(port), value);
}

// ---- ports ----------------------------------------------------------------

// The keyboard matrix: each of A15..A8 held low selects a half-row; the
// half-rows of all low lines are ANDed. Bit 6 is the tape input (EAR).
uint8_t TZXHardware::KeyboardRead(uint16_t port) {
  uint8_t result = 0xFF;
  const uint8_t high = static_cast<uint8_t>(port >> 8);
  for (int i = 0; i < 8; ++i)
    if (!(high & (0x80 >> i))) result &= KeyboardRows[i];
  if (TapeEmulationEnabled)
    result = static_cast<uint8_t>((result & ~0x40) | (tape_->TapeGetEarBit(*this) & 0x40));
  return result;
}

uint8_t TZXHardware::BetaRead(int reg) {
  return betaDisk_->ReadRegister(static_cast<uint8_t>(reg));
}
void TZXHardware::BetaWrite(int reg, uint8_t value) {
  betaDisk_->WriteRegister(static_cast<uint8_t>(reg), value);
}

// The Profi opens the disk ports without TR-DOS: through its EXTROM, or in
// its second decoding (#DFFD bit 5), where the 48 ROM choice picks the
// address set. Returns the controller register a port reaches, or -1.
int TZXHardware::ProfiDiskRegister(uint16_t port) const {
  if (TrdosActive) return BetaRegisterE3(port);
  if (!ProfiDiskPorts)
    return (ExtRomActive || Windows[0] == ExtRomSlot) ? ProfiRegisterE3(port, 0x83) : -1;
  if (Port7FFD & 0x10) return ProfiRegisterLowByte(port);
  return ProfiRegisterE3(port, 0xC3);
}

// The controller's byte with answered set, if the port reaches it.
uint8_t TZXHardware::ProfiDiskRead(uint16_t port, bool& answered) {
  const int reg = ProfiDiskRegister(port);
  answered = reg >= 0;
  return answered ? BetaRead(reg) : 0;
}

void TZXHardware::ProfiDiskWrite(uint16_t port, uint8_t value) {
  const int reg = ProfiDiskRegister(port);
  if (reg >= 0) BetaWrite(reg, value);
}

// The clock chip: the time registers come from the host clock in BCD; the
// status registers read fixed values (A: divider on; B: 24-hour BCD mode;
// C: no interrupt; D: battery good).
uint8_t TZXHardware::CmosRead() {
  const uint8_t r = CmosIndex;
  if (r == 0 || r == 2 || r == 4 || (r >= 6 && r <= 13)) {
    switch (r) {
      case 10: return 0x20;
      case 11: return 0x02;
      case 12: return 0x00;
      case 13: return 0x80;
      default: break;
    }
    const TCmosTime t = CmosClock ? CmosClock() : LocalCmosTime();
    switch (r) {
      case 0: return ToBcd(static_cast<uint8_t>(t.Seconds));
      case 2: return ToBcd(static_cast<uint8_t>(t.Minutes));
      case 4: return ToBcd(static_cast<uint8_t>(t.Hours));
      case 6: return static_cast<uint8_t>(t.DayOfWeek);
      case 7: return ToBcd(static_cast<uint8_t>(t.Day));
      case 8: return ToBcd(static_cast<uint8_t>(t.Month));
      default: return ToBcd(static_cast<uint8_t>(t.Year % 100));
    }
  }
  return CmosMemory[r];
}

uint8_t TZXHardware::In(uint16_t port) {
  uint8_t result = cpu_->Req.IntVector.load(std::memory_order_relaxed);
  const uint8_t low = static_cast<uint8_t>(port);

  switch (MemoryModel) {
    case kProfi1024: {
      if (low == 0xFE) result = KeyboardRead(port);
      bool answered = false;
      const uint8_t disk = ProfiDiskRead(port, answered);
      if (answered) {
        result = disk;
      } else if (!TrdosActive && !ProfiDiskPorts && !(ExtRomActive || Windows[0] == ExtRomSlot)) {
        if (low == 0x1F)
          result = KempstonJoystick;
        else if (low == 0xFF)
          result = ReadFloatingBus();
      }
      break;
    }
    case kScorpion256:
    case kScorpion1024:
      if ((port & 0x27) == 0x26) result = KeyboardRead(port);
      if (TrdosActive || ExtRomPaged) {
        const int reg = BetaRegisterE3(port);
        if (reg >= 0) result = BetaRead(reg);
      } else if (low == 0x1F) {
        result = KempstonJoystick;
      } else if ((port & 0x27) == 0x27) {
        result = ReadFloatingBus();
      }
      break;
    default:  // the Pentagons, the ATM and the 48K
      if (!(port & 1)) result = KeyboardRead(port);
      if (TrdosActive) {
        const int reg = BetaRegisterE3(port);
        if (reg >= 0) result = BetaRead(reg);
      } else if (low == 0x1F) {
        result = KempstonJoystick;
      } else if (low == 0xFF) {
        result = ReadFloatingBus();
      }
      break;
  }

  if ((port & 0xC0FF) == 0xC0FD) return SoundChip.ReadSelectedRegister();
  if (KempstonMouseEmulation) {
    if (port == 0xFADF) return KempstonMouseButtons;
    if (port == 0xFBDF) return KempstonMouseX;
    if (port == 0xFFDF) return KempstonMouseY;
  }
  if (EnableCMOS && (port == 0xBFF7 || port == 0xFFEF)) return CmosRead();
  return result;
}

void TZXHardware::Out(uint16_t port, uint8_t value) {
  // Border changes and paging must show from their T-state on.
  RenderToTact(CurrentTact());

  auto border = [&] {
    BorderLatch = value;
    SoundChip.SetSpeakerState(value & 0x10);
  };
  const bool locked = Port7FFD & 0x20;

  switch (MemoryModel) {
    case kProfi1024:
      if ((port & 0xFF) == 0xFE) border();
      if (port == 0xDFFD) WritePortDFFD(value);
      if ((port & 0x8002) == 0 && !locked) WritePort7FFD(value);
      ProfiDiskWrite(port, value);
      break;
    case kScorpion256:
    case kScorpion1024:
      if ((port & 0x27) == 0x26) border();
      if ((port & 0xD027) == 0x5025 && !locked) WritePort7FFD(value);
      if ((port & 0xD027) == 0x1025) WritePort1FFD(value);
      if (TrdosActive || ExtRomPaged) {
        const int reg = BetaRegisterE3(port);
        if (reg >= 0) BetaWrite(reg, value);
      }
      break;
    case kSpectrum48:
      if (!(port & 1)) border();
      if (TrdosActive) {
        const int reg = BetaRegisterE3(port);
        if (reg >= 0) BetaWrite(reg, value);
      }
      break;
    default:  // the Pentagons and the ATM
      if (MemoryModel == kAtm512 && port == 0xFDFD) WritePortFDFD(value);
      if (!(port & 1)) border();
      if ((port & 0x8002) == 0 && (!locked || MemoryModel == kPentagon1024)) WritePort7FFD(value);
      if (TrdosActive) {
        const int reg = BetaRegisterE3(port);
        if (reg >= 0) BetaWrite(reg, value);
      }
      break;
  }

  if ((port & 0xC0FF) == 0xC0FD) SoundChip.SelectRegister(value);
  if ((port & 0xC0FF) == 0x80FD) SoundChip.WriteRegisterValue(value);
  if (EnableCMOS) {
    if (port == 0xDFF7 || port == 0xFFFF) CmosIndex = value;
    if (port == 0xBFF7 || port == 0xFFEF) CmosMemory[CmosIndex] = value;
  }
}
