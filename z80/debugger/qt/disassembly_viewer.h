// The listing of the debugger: one line per instruction (address, bytes,
// text), a gutter with the breakpoint and PC marks, and a selected line. It
// asks its owner for everything it shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "z80/debugger/qt/custom_viewer_cpu.h"
#include "z80/debugger/viewer_layout.h"

class TDisassemblyViewer : public TCustomViewerCPU {
 public:
  explicit TDisassemblyViewer(QWidget* parent = nullptr);

  QColor GetBreakpointColor() const { return breakpointColor_; }
  void SetBreakpointColor(const QColor& Value);
  QColor GetBreakpointTextColor() const { return breakpointTextColor_; }
  void SetBreakpointTextColor(const QColor& Value);
  int GetLeftGutterWidth() const { return leftGutterWidth_; }
  void SetLeftGutterWidth(int Value);
  int GetMinAddress() const { return range_.Min; }
  void SetMinAddress(int Value);
  int GetMaxAddress() const { return range_.Max; }
  void SetMaxAddress(int Value);
  int GetSelectedAddress() const { return selectedAddress_; }
  void SetSelectedAddress(int Value);
  int GetTopAddress() const { return topAddress_; }
  void SetTopAddress(int Value);
  int GetAddressLength() const { return addressLength_; }
  void SetAddressLength(int Value);  // 1..9, others ignored

  // Text and length of the instruction at Address (the handler may correct
  // Address, e.g. mask it).
  std::function<void(TDisassemblyViewer* Sender, int& Address, std::string& Result, int& InstSize)>
      OnDisassemble;
  // Up to Count bytes from Address into Buffer; BytesInBuffer says how many.
  std::function<void(TDisassemblyViewer* Sender, int Address, int Count, uint8_t* Buffer,
                     int& BytesInBuffer)>
      OnGetData;
  std::function<void(TDisassemblyViewer* Sender, int Address, bool& Result)> OnIsBreakpoint;
  std::function<void(TDisassemblyViewer* Sender, int Address, bool& Result)> OnIsExecution;
  // A double click on the text, or Enter: the owner opens its assembler.
  std::function<void(TDisassemblyViewer* Sender, int Address)> OnMnemonicClick;
  // A double click in the gutter: the owner toggles a breakpoint.
  std::function<void(TDisassemblyViewer* Sender, int Address)> OnSetBreakpoint;

  void DrawLines() override;
  void BuildStrs() override;
  void UpdateData() override;

  // Index of the selection among the shown lines (without the last), or -1.
  int SelectionIndex() const;
  bool VisibleAddress(int Address) const;
  int YToAddress(int Y) const;
  int GetNextAddress(int Address);
  int GetPrevAddress(int Address) const;
  void AddressOverflow(int& Address) const { range_.Overflow(Address); }

  // The lines as last built, and whether the bytes column fits.
  const std::vector<z80dbg::DasmLine>& Lines() const { return lines_; }
  bool ShowBytes() const { return showBytes_; }

 protected:
  void MouseDown(QMouseEvent*) override;
  void MouseMove(QMouseEvent*) override;
  void MouseUp(QMouseEvent*) override;
  void KeyDown(int key) override;

 private:
  int Disassemble(int& address, std::string& text);
  void DrawMarks(QPainter& p, int y, int h, bool breakpoint, bool execution);
  void SelectUnder(const QPoint& pos);

  QColor breakpointColor_{0xFF, 0x00, 0x00};
  QColor breakpointTextColor_{0x00, 0x00, 0x00};
  int leftGutterWidth_ = 30;
  z80dbg::AddressRange range_;
  int selectedAddress_ = 0;
  int topAddress_ = 0;
  int addressLength_ = 8;
  // Set while the lines are built: the owner's handlers may cause a paint,
  // which must not start a second build over the lines being filled.
  bool busy_ = false;
  bool showBytes_ = true;
  std::vector<z80dbg::DasmLine> lines_;
};
