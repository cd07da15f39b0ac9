// Register and flag snapshots: what the debugger's register and flag viewers
// show. Exported with the library's functions so that a host can build the
// same viewers.
#pragma once

#include <cstdint>

#include "z80/z80.h"

// The viewer that shows a snapshot: every write to the snapshot asks it to
// repaint. Its paint comes later, so a burst of writes costs one paint.
class Z80_EXPORT TSnapshotViewer {
 public:
  virtual void Invalidate() = 0;

 protected:
  ~TSnapshotViewer() = default;
};

// One register set. Writing never compares with the old value: the same
// value written again still asks for a repaint.
class Z80_EXPORT TZ80Registers {
 public:
  TZ80Registers() = default;
  explicit TZ80Registers(TSnapshotViewer* Owner) : owner_(Owner) {}
  TZ80Registers(const TZ80Registers&) = delete;
  TZ80Registers& operator=(const TZ80Registers&) = delete;
  ~TZ80Registers();

  uint16_t GetPC() const { return PC; }
  uint16_t GetSP() const { return SP; }
  uint16_t GetIR() const { return IR; }
  uint16_t Get_AF() const { return AF_; }
  uint16_t Get_HL() const { return HL_; }
  uint16_t Get_DE() const { return DE_; }
  uint16_t Get_BC() const { return BC_; }
  uint16_t GetAF() const { return AF; }
  uint16_t GetHL() const { return HL; }
  uint16_t GetDE() const { return DE; }
  uint16_t GetBC() const { return BC; }
  uint16_t GetIX() const { return IX; }
  uint16_t GetIY() const { return IY; }

  void SetPC(uint16_t Value);
  void SetSP(uint16_t Value);
  void SetIR(uint16_t Value);
  void Set_AF(uint16_t Value);
  void Set_HL(uint16_t Value);
  void Set_DE(uint16_t Value);
  void Set_BC(uint16_t Value);
  void SetAF(uint16_t Value);
  void SetHL(uint16_t Value);
  void SetDE(uint16_t Value);
  void SetBC(uint16_t Value);
  void SetIX(uint16_t Value);
  void SetIY(uint16_t Value);

 private:
  void Store(uint16_t& field, uint16_t value);

  TSnapshotViewer* owner_ = nullptr;
  // I in the high byte of IR, R in the low; the trailing underscore marks
  // the alternate set (AF', HL', DE', BC').
  uint16_t PC = 0, SP = 0, IR = 0, AF_ = 0, HL_ = 0, DE_ = 0, BC_ = 0, AF = 0, HL = 0, DE = 0,
           BC = 0, IX = 0, IY = 0;
};

// The eight bits of F, bit 7 (S) to bit 0 (C), one 0-or-1 integer each. The
// caller splits F; only bit 0 of a written value counts.
class Z80_EXPORT TZ80Flags {
 public:
  TZ80Flags() = default;
  explicit TZ80Flags(TSnapshotViewer* Owner) : owner_(Owner) {}
  TZ80Flags(const TZ80Flags&) = delete;
  TZ80Flags& operator=(const TZ80Flags&) = delete;
  ~TZ80Flags();

  int GetS() const { return S & 1; }
  int GetZ() const { return Z & 1; }
  int GetF5() const { return F5 & 1; }
  int GetH() const { return H & 1; }
  int GetF3() const { return F3 & 1; }
  int GetP_V() const { return P_V & 1; }
  int GetN() const { return N & 1; }
  int GetC() const { return C & 1; }

  void SetS(int Value);
  void SetZ(int Value);
  void SetF5(int Value);
  void SetH(int Value);
  void SetF3(int Value);
  void SetP_V(int Value);
  void SetN(int Value);
  void SetC(int Value);

 private:
  void Store(int32_t& field, int value);

  TSnapshotViewer* owner_ = nullptr;
  int32_t S = 0, Z = 0, F5 = 0, H = 0, F3 = 0, P_V = 0, N = 0, C = 0;
};
