// The register list and the flag list: one row per register or flag, name
// "=" value, the value in red where it differs from the previous snapshot.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "z80/debugger/qt/custom_viewer_cpu.h"
#include "z80/debugger/z80_unit.h"

// What the two lists share: rows, selection, painting, keys and mouse.
class TCPUListViewer : public TCustomViewerCPU {
 public:
  void DrawLines() override;
  void BuildStrs() override;

  int SelectedRow() const { return selected_; }
  int FirstShownRow() const { return first_; }
  // The row height as last measured (0 before the first paint).
  int LineHeight() const { return lineHeight_; }
  // The row under a point in control coordinates, or -1.
  int RowAt(int y) const;

 protected:
  struct Layout {
    std::span<const char* const> names;
    const char* widestName;
    const char* sampleValue;
    Qt::Key actionKey;  // fires the double-click event for the selected row
  };
  TCPUListViewer(const Layout& layout, QWidget* parent);

  int LastRow() const { return static_cast<int>(layout_.names.size()) - 1; }
  virtual QString ValueText(int row) const = 0;
  virtual bool Changed(int row) const = 0;
  virtual void RowClick(int row) = 0;
  virtual void RowDblClick(int row) = 0;

  void MouseDown(QMouseEvent*) override;
  void MouseMove(QMouseEvent*) override;
  void MouseUp(QMouseEvent*) override;
  void KeyDown(int key) override;

 private:
  void Measure();

  Layout layout_;
  int first_ = 0;
  int selected_ = 0;
  int lineHeight_ = 0;
};

class TRegistersViewer : public TCPUListViewer {
 public:
  explicit TRegistersViewer(QWidget* parent = nullptr);

  bool GetShowOldRegs() const { return showOld_; }
  void SetShowOldRegs(bool Value);

  // Current and previous values, owned; writing either repaints the list.
  TZ80Registers CurrentRegs{this};
  TZ80Registers OldRegs{this};

  // Address: the row, 0..12 (PC, IR, SP, AF, HL, DE, BC, IX, IY, AF'..BC').
  std::function<void(TRegistersViewer* Sender, int Address)> OnRegisterClick;
  std::function<void(TRegistersViewer* Sender, int Address)> OnRegisterDblClick;

 protected:
  QString ValueText(int row) const override;
  bool Changed(int row) const override;
  void RowClick(int row) override;
  void RowDblClick(int row) override;
  void KeyDown(int key) override;

 private:
  bool showOld_ = false;
};

class TFlagsViewer : public TCPUListViewer {
 public:
  explicit TFlagsViewer(QWidget* parent = nullptr);

  bool GetShowOldFlags() const { return showOld_; }
  void SetShowOldRegs(bool Value);

  TZ80Flags CurrentFlags{this};
  TZ80Flags OldFlags{this};

  // FlagMask: the flag's bit in F (row r is bit 7 - r).
  std::function<void(TFlagsViewer* Sender, uint8_t FlagMask)> OnFlagClick;
  std::function<void(TFlagsViewer* Sender, uint8_t FlagMask)> OnFlagDblClick;

 protected:
  QString ValueText(int row) const override;
  bool Changed(int row) const override;
  void RowClick(int row) override;
  void RowDblClick(int row) override;

 private:
  bool showOld_ = false;
};

// The row names, as the lists show them and the debugger names its prompts.
extern const char* const RegisterRowNames[13];
extern const char* const FlagRowNames[8];
