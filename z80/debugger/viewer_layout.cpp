#include "z80/debugger/viewer_layout.h"

#include <algorithm>
#include <cstdio>

namespace z80dbg {

std::string HexAddress(int value, int digits) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
  return buf;
}

int MemoryTopForSelection(int top, int address, int bytesPerLine, int fullRows, int mask) {
  if (address >= top - bytesPerLine && address < top) return (top - bytesPerLine) & mask;
  const int shown = fullRows * bytesPerLine;
  if (address >= top && address < top + shown) return top;
  if (address >= top + shown && address < top + shown + bytesPerLine)
    return (top + bytesPerLine) & mask;
  return address;
}

MemoryHit MemoryHitTest(const MemoryDumpMetrics& m, int height, int bytesPerLine, int top,
                        int selected, int mask, int x, int y) {
  const int x0 = m.CellsLeft();
  if (m.cellWidth <= 0 || x < x0 - m.halfBlank || x >= x0 + m.cellWidth * bytesPerLine - m.halfBlank)
    return {false, selected};
  const int column = (x + m.halfBlank - x0) / m.cellWidth;
  if (y < 0) return {true, (selected - bytesPerLine) & mask};
  const int rows = m.FullRows(height);
  const int row = std::min(m.lineHeight > 0 ? y / m.lineHeight : 0, rows);
  return {true, (row * bytesPerLine + top + column) & mask};
}

int ListVisibleRows(int height, int lineHeight, int lastRow) {
  return lineHeight > 0 ? (height - lineHeight) / lineHeight : lastRow + 1;
}

int ListFirstRow(int first, int selected, int visibleRows, int lastRow) {
  if (visibleRows >= lastRow) return 0;
  if (selected < first) first = selected;
  if (selected > first + visibleRows) first = selected - visibleRows;
  return std::clamp(first, 0, std::max(0, lastRow - visibleRows));
}

int ListRowAt(int y, int lineHeight, int first, int lastRow) {
  if (lineHeight <= 0 || y < 1) return -1;
  const int r = (y - 1) / lineHeight + first;
  return r <= lastRow ? r : -1;
}

void AddressRange::Overflow(int& a) const {
  if (!Active()) return;
  const int n = Max - Min + 1;
  if (n <= 0) return;
  // The same as subtracting or adding n until a is inside, in one step.
  if (a > Max) a -= ((a - Max - 1) / n + 1) * n;
  else if (a < Min) a += ((Min - a - 1) / n + 1) * n;
}

std::string DasmBytesText(const uint8_t* bytes, int count) {
  static const char kHex[] = "0123456789ABCDEF";
  const int shown = count > 8 ? 6 : std::clamp(count, 0, 32);
  std::string s;
  for (int i = 0; i < shown; ++i) {
    s += kHex[bytes[i] >> 4];
    s += kHex[bytes[i] & 15];
  }
  if (count > 8) s += "..";
  return s;
}

int DasmLineIndex(const std::vector<DasmLine>& lines, int address) {
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i].address == address) return static_cast<int>(i);
  return -1;
}

int DasmYToAddress(const std::vector<DasmLine>& lines, int y) {
  if (y <= 0) return -1;
  int bottom = 0;
  for (const DasmLine& l : lines) {
    bottom += l.height;
    if (bottom > y - 1) return l.address;
  }
  return -1;
}

}  // namespace z80dbg
