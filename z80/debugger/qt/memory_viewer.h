// The memory dump: rows of an address, BytesPerLine hex cells and the same
// bytes as text; one selected cell. The bytes come from the owner.
#pragma once

#include <cstdint>
#include <functional>

#include "z80/debugger/memory_charsets.h"
#include "z80/debugger/qt/custom_viewer_cpu.h"
#include "z80/debugger/viewer_layout.h"

class TMemoryViewer : public TCustomViewerCPU {
 public:
  explicit TMemoryViewer(QWidget* parent = nullptr);

  bool GetSpectrumText() const { return spectrumText_; }
  void SetSpectrumText(bool Value);
  int GetAddressMask() const { return addressMask_; }
  void SetAddressMask(int Value);
  int GetSelectedAddress() const { return selectedAddress_; }
  // Selects the cell, scrolling by a row when it is just outside the view
  // and jumping to it when it is further away.
  void SetSelectedAddress(int Value);
  int GetTopAddress() const { return topAddress_; }
  // Sets the first row and selects its first cell.
  void SetTopAddress(int Value);
  int GetAddressLength() const { return addressLength_; }
  void SetAddressLength(int Value);  // 1..9, others ignored
  int GetBytesPerLine() const { return bytesPerLine_; }
  void SetBytesPerLine(int Value);  // 1..16384, others ignored

  std::function<void(TMemoryViewer* Sender, int Address, uint8_t& Value)> OnGetMemoryByte;
  std::function<void(TMemoryViewer* Sender, int Address)> OnMemoryCellDblClick;

  // The text of each byte value in the Windows Cyrillic code page.
  z80dbg::CharTable CharTable = z80dbg::MakeCharTable(z80dbg::MemoryCharSet::Windows);

  void DrawLines() override;
  void BuildStrs() override { DrawLines(); }

  // The measured layout (measured on demand), and the cell under a point in
  // control coordinates.
  const z80dbg::MemoryDumpMetrics& Metrics();
  z80dbg::MemoryHit HitTest(int x, int y);

 protected:
  void MouseDown(QMouseEvent*) override;
  void MouseMove(QMouseEvent*) override;
  void MouseUp(QMouseEvent*) override;
  void KeyDown(int key) override;

 private:
  uint8_t ByteAt(int address);
  void SelectUnder(const QPoint& p);

  bool spectrumText_ = false;
  int addressMask_ = 0xFFFF;
  int selectedAddress_ = 0;
  int topAddress_ = 0;
  int addressLength_ = 4;
  int bytesPerLine_ = 8;
  z80dbg::MemoryDumpMetrics metrics_;
  QFont measuredFont_;
  int measuredLength_ = -1;
};
