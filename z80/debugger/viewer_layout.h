// The arithmetic of the debugger's viewers, apart from any drawing: which
// address or row lies where, how the memory dump scrolls, and how the
// disassembly listing wraps and lays out its lines. The Qt controls measure
// text and call these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace z80dbg {

// "%0<digits>X" of value, the address column of the dump and the listing.
std::string HexAddress(int value, int digits);

// ---- Memory dump --------------------------------------------------------
struct MemoryDumpMetrics {
  int addressWidth = 0;  // width of the address text (with its colon)
  int cellWidth = 0;     // width of "00 "
  int halfBlank = 0;     // half the width of a blank
  int lineHeight = 0;
  int CellsLeft() const { return addressWidth + 7 * halfBlank; }
  int TextColumnLeft(int bytesPerLine) const {
    return CellsLeft() + bytesPerLine * cellWidth + 4 * halfBlank;
  }
  // Rows shown whole in a control of this height.
  int FullRows(int height) const { return lineHeight > 0 ? (height - 1) / lineHeight : 0; }
};

// The top row address after selecting address (already masked): one row up
// when it lies just above the view, one row down just below it, unchanged
// inside it, and address itself anywhere else. The intervals are plain
// integers: a selection that wraps past the mask jumps to the new address.
int MemoryTopForSelection(int top, int address, int bytesPerLine, int fullRows, int mask);

struct MemoryHit {
  bool hit;
  int address;  // the current selection when there is no hit
};
// x, y relative to the dump's picture (the frame already taken off).
MemoryHit MemoryHitTest(const MemoryDumpMetrics& m, int height, int bytesPerLine, int top,
                        int selected, int mask, int x, int y);

// ---- Register and flag lists ------------------------------------------------
// Rows 0..lastRow; visibleRows as the list computes them from its height.
int ListVisibleRows(int height, int lineHeight, int lastRow);
// The first shown row: 0 when every row fits, else moved just enough to keep
// the selected row in view.
int ListFirstRow(int first, int selected, int visibleRows, int lastRow);
// The row under control coordinate y, or -1.
int ListRowAt(int y, int lineHeight, int first, int lastRow);

// ---- Disassembly listing ----------------------------------------------------
// MinAddress..MaxAddress; equal ends switch wrapping (and the range) off.
struct AddressRange {
  int Min = 0;
  int Max = 0;
  bool Active() const { return Min != Max; }
  bool Contains(int a) const { return !Active() || (a >= Min && a <= Max); }
  void Overflow(int& a) const;
};

// The bytes column: two hex digits per byte; more than eight bytes show the
// first six and "..".
std::string DasmBytesText(const uint8_t* bytes, int count);

struct DasmLine {
  int address = 0;
  int height = 0;
  int addressX = 0;
  std::string addressText;
  int bytesX = 0;
  std::string bytesText;
  int textX = 0;
  std::string text;
};

// Index of address among the lines without the last (cut) one, or -1.
int DasmLineIndex(const std::vector<DasmLine>& lines, int address);
// Address of the line under y (control coordinates), -1 above or below.
int DasmYToAddress(const std::vector<DasmLine>& lines, int y);

}  // namespace z80dbg
