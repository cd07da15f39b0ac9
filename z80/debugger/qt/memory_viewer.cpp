#include "z80/debugger/qt/memory_viewer.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Tall, accented and descending letters, punctuation, the digits and A-F:
// one row is as high as the tallest of them.
const QString kHeightSample = QStringLiteral("ÁÇgjpqy|[]{}(),;0123456789ABCDEF_Éé");

QString AddressFormat(int value, int digits) {
  return QString::fromStdString(z80dbg::HexAddress(value, digits)) + ':';
}

}  // namespace

TMemoryViewer::TMemoryViewer(QWidget* parent) : TCustomViewerCPU(parent) {
  QFont f(QStringLiteral("Courier"), 10);
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  setFont(f);
}

void TMemoryViewer::SetSpectrumText(bool Value) {
  if (Value == spectrumText_) return;
  spectrumText_ = Value;
  Invalidate();
}

void TMemoryViewer::SetAddressMask(int Value) {
  addressMask_ = Value;
  Invalidate();
}

void TMemoryViewer::SetAddressLength(int Value) {
  if (Value >= 1 && Value <= 9) addressLength_ = Value;
  Invalidate();
}

void TMemoryViewer::SetBytesPerLine(int Value) {
  if (Value >= 1 && Value <= 16384) bytesPerLine_ = Value;
  Invalidate();
}

void TMemoryViewer::SetTopAddress(int Value) {
  topAddress_ = selectedAddress_ = Value & addressMask_;
  Invalidate();
}

void TMemoryViewer::SetSelectedAddress(int Value) {
  const int a = Value & addressMask_;
  if (a == selectedAddress_) return;
  topAddress_ = z80dbg::MemoryTopForSelection(topAddress_, a, bytesPerLine_,
                                              Metrics().FullRows(ClientHeight()), addressMask_);
  selectedAddress_ = a;
  Invalidate();
}

const z80dbg::MemoryDumpMetrics& TMemoryViewer::Metrics() {
  if (measuredFont_ != font() || measuredLength_ != addressLength_) {
    const QFontMetrics fm(font());
    metrics_.addressWidth = fm.horizontalAdvance(AddressFormat(0, addressLength_));
    metrics_.cellWidth = fm.horizontalAdvance(QStringLiteral("00 "));
    metrics_.halfBlank = fm.horizontalAdvance(QLatin1Char(' ')) / 2;
    metrics_.lineHeight = fm.size(Qt::TextSingleLine, kHeightSample).height();
    measuredFont_ = font();
    measuredLength_ = addressLength_;
  }
  return metrics_;
}

z80dbg::MemoryHit TMemoryViewer::HitTest(int x, int y) {
  return z80dbg::MemoryHitTest(Metrics(), ClientHeight(), bytesPerLine_, topAddress_,
                               selectedAddress_, addressMask_, x - 1, y - 1);
}

uint8_t TMemoryViewer::ByteAt(int address) {
  uint8_t v = static_cast<uint8_t>(address);
  if (OnGetMemoryByte) OnGetMemoryByte(this, address, v);
  return v;
}

void TMemoryViewer::DrawLines() {
  const z80dbg::MemoryDumpMetrics& m = Metrics();
  QImage& image = BeginPicture();
  QPainter p(&image);
  p.setFont(font());
  const bool focused = hasFocus();
  const int x0 = m.CellsLeft();
  const int textX = m.TextColumnLeft(bytesPerLine_);
  int address = topAddress_;
  for (int y = 0; y < ClientHeight() && m.lineHeight > 0; y += m.lineHeight) {
    p.fillRect(0, y, image.width(), m.lineHeight, ControlColor());
    p.setPen(FontColor());
    TextOut(p, 3 * m.halfBlank, y, AddressFormat(address, addressLength_));
    QString text;
    for (int j = 0; j < bytesPerLine_; ++j) {
      const uint8_t b = ByteAt(address);
      const int x = x0 + j * m.cellWidth;
      const bool selected = address == selectedAddress_;
      if (selected)
        p.fillRect(QRect(QPoint(x - m.halfBlank + 1, y), QPoint(x + m.cellWidth - m.halfBlank, y + m.lineHeight - 1)),
                   SelectionBackground(focused));
      p.setPen(selected ? SelectionText(focused) : FontColor());
      TextOut(p, x, y, QString::asprintf("%02X", b));
      if (spectrumText_)
        text += QString::fromUtf8(z80dbg::SpectrumCharStrings[b].data(),
                                  static_cast<qsizetype>(z80dbg::SpectrumCharStrings[b].size()));
      else
        text += QChar(z80dbg::Cp1251ToUnicode(CharTable[b]));
      address = (address + 1) & addressMask_;
    }
    p.setPen(FontColor());
    TextOut(p, textX, y, text);
  }
  p.end();
  StringsBuilt = true;
  builtFont_ = font();
  Present();
}

void TMemoryViewer::SelectUnder(const QPoint& pos) {
  const z80dbg::MemoryHit hit = HitTest(pos.x(), pos.y());
  if (hit.hit) SetSelectedAddress(hit.address);
}

void TMemoryViewer::MouseDown(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) SelectUnder(ClientPos(e));
}

void TMemoryViewer::MouseMove(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) SelectUnder(ClientPos(e));
}

void TMemoryViewer::MouseUp(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const z80dbg::MemoryHit hit = HitTest(ClientPos(e).x(), ClientPos(e).y());
  if (!hit.hit) return;
  SetSelectedAddress(hit.address);
  if (TakeDoubleClick() && hasFocus() && OnMemoryCellDblClick)
    OnMemoryCellDblClick(this, selectedAddress_);
}

void TMemoryViewer::KeyDown(int key) {
  const int rows = Metrics().lineHeight > 0 ? ClientHeight() / Metrics().lineHeight : 0;
  switch (key) {
    case Qt::Key_Down: SetSelectedAddress(selectedAddress_ + bytesPerLine_); break;
    case Qt::Key_Up: SetSelectedAddress(selectedAddress_ - bytesPerLine_); break;
    case Qt::Key_Right: SetSelectedAddress(selectedAddress_ + 1); break;
    case Qt::Key_Left: SetSelectedAddress(selectedAddress_ - 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (hasFocus() && OnMemoryCellDblClick) OnMemoryCellDblClick(this, selectedAddress_);
      break;
    case Qt::Key_PageDown: SetTopAddress(topAddress_ + rows * bytesPerLine_); break;
    case Qt::Key_PageUp: SetTopAddress(topAddress_ - rows * bytesPerLine_); break;
    default: break;
  }
}
