#include "z80/debugger/z80_unit.h"

// Out of line so that the exported classes have their code in the library.
TZ80Registers::~TZ80Registers() = default;

void TZ80Registers::Store(uint16_t& field, uint16_t value) {
  field = value;
  // A snapshot made without a viewer has nobody to repaint.
  if (owner_) owner_->Invalidate();
}

void TZ80Registers::SetPC(uint16_t Value) { Store(PC, Value); }
void TZ80Registers::SetSP(uint16_t Value) { Store(SP, Value); }
void TZ80Registers::SetIR(uint16_t Value) { Store(IR, Value); }
void TZ80Registers::Set_AF(uint16_t Value) { Store(AF_, Value); }
void TZ80Registers::Set_HL(uint16_t Value) { Store(HL_, Value); }
void TZ80Registers::Set_DE(uint16_t Value) { Store(DE_, Value); }
void TZ80Registers::Set_BC(uint16_t Value) { Store(BC_, Value); }
void TZ80Registers::SetAF(uint16_t Value) { Store(AF, Value); }
void TZ80Registers::SetHL(uint16_t Value) { Store(HL, Value); }
void TZ80Registers::SetDE(uint16_t Value) { Store(DE, Value); }
void TZ80Registers::SetBC(uint16_t Value) { Store(BC, Value); }
void TZ80Registers::SetIX(uint16_t Value) { Store(IX, Value); }
void TZ80Registers::SetIY(uint16_t Value) { Store(IY, Value); }

TZ80Flags::~TZ80Flags() = default;

void TZ80Flags::Store(int32_t& field, int value) {
  field = value & 1;
  if (owner_) owner_->Invalidate();
}

void TZ80Flags::SetS(int Value) { Store(S, Value); }
void TZ80Flags::SetZ(int Value) { Store(Z, Value); }
void TZ80Flags::SetF5(int Value) { Store(F5, Value); }
void TZ80Flags::SetH(int Value) { Store(H, Value); }
void TZ80Flags::SetF3(int Value) { Store(F3, Value); }
void TZ80Flags::SetP_V(int Value) { Store(P_V, Value); }
void TZ80Flags::SetN(int Value) { Store(N, Value); }
void TZ80Flags::SetC(int Value) { Store(C, Value); }
