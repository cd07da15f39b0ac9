#include "z80/debugger/qt/disassembly_viewer.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

TDisassemblyViewer::TDisassemblyViewer(QWidget* parent) : TCustomViewerCPU(parent) {}

void TDisassemblyViewer::SetBreakpointColor(const QColor& Value) {
  breakpointColor_ = Value;
  Invalidate();
}

void TDisassemblyViewer::SetBreakpointTextColor(const QColor& Value) {
  breakpointTextColor_ = Value;
  Invalidate();
}

void TDisassemblyViewer::SetLeftGutterWidth(int Value) {
  leftGutterWidth_ = Value;
  BuildStrs();
}

void TDisassemblyViewer::SetMinAddress(int Value) {
  range_.Min = Value;
  selectedAddress_ = std::max(selectedAddress_, Value);
  topAddress_ = std::max(topAddress_, Value);
  BuildStrs();
}

void TDisassemblyViewer::SetMaxAddress(int Value) {
  range_.Max = Value;
  selectedAddress_ = std::min(selectedAddress_, Value);
  topAddress_ = std::min(topAddress_, Value);
  BuildStrs();
}

void TDisassemblyViewer::SetAddressLength(int Value) {
  if (Value < 1 || Value > 9) return;
  addressLength_ = Value;
  BuildStrs();
}

void TDisassemblyViewer::SetTopAddress(int Value) {
  if (!range_.Contains(Value)) return;
  topAddress_ = Value;
  BuildStrs();
  if (!VisibleAddress(selectedAddress_)) {
    selectedAddress_ = Value;
    BuildStrs();
  }
}

void TDisassemblyViewer::SetSelectedAddress(int Value) {
  if (!range_.Contains(Value)) return;
  const int last = static_cast<int>(lines_.size()) - 1;
  const int index = z80dbg::DasmLineIndex(lines_, Value);
  if (index >= 0) {
    selectedAddress_ = Value;
    if (StringsBuilt)
      DrawLines();
    else
      BuildStrs();
  } else if (last >= 1 && lines_[last].address == Value) {
    // The last line may be cut by the bottom edge: scroll it into view.
    selectedAddress_ = Value;
    topAddress_ = lines_[1].address;
    BuildStrs();
  } else {
    selectedAddress_ = topAddress_ = Value;
    BuildStrs();
  }
}

void TDisassemblyViewer::UpdateData() {
  BuildStrs();
  if (!VisibleAddress(selectedAddress_)) selectedAddress_ = topAddress_;
}

int TDisassemblyViewer::SelectionIndex() const { return z80dbg::DasmLineIndex(lines_, selectedAddress_); }

bool TDisassemblyViewer::VisibleAddress(int Address) const {
  return z80dbg::DasmLineIndex(lines_, Address) >= 0;
}

int TDisassemblyViewer::YToAddress(int Y) const { return z80dbg::DasmYToAddress(lines_, Y); }

int TDisassemblyViewer::Disassemble(int& address, std::string& text) {
  int length = 1;
  if (OnDisassemble)
    OnDisassemble(this, address, text, length);
  else
    text = "????";
  return length < 0 ? 1 : length;
}

int TDisassemblyViewer::GetNextAddress(int Address) {
  int length = 1;
  if (OnDisassemble) {
    std::string text;
    int a = Address;
    length = Disassemble(a, text);
  }
  int next = Address + length;
  range_.Overflow(next);
  return next;
}

int TDisassemblyViewer::GetPrevAddress(int Address) const {
  int prev = Address - 1;
  range_.Overflow(prev);
  return prev;
}

void TDisassemblyViewer::BuildStrs() {
  // A build asked for while one runs (from inside an owner's handler) is
  // dropped: the running build shows the same state.
  if (busy_) return;
  busy_ = true;
  lines_.clear();
  const QFontMetrics fm(font());
  auto width = [&](const std::string& s) { return fm.horizontalAdvance(QString::fromStdString(s)); };
  auto height = [&](const std::string& s) {
    return fm.size(Qt::TextSingleLine, QString::fromStdString(s)).height();
  };
  const int addressWidth = width(z80dbg::HexAddress(0, addressLength_));
  const int w16 = width("AAAAAAAAAAAAAAAA");
  showBytes_ = width("LD A,#AA") < ClientWidth() - leftGutterWidth_ - addressWidth - w16 - 18;
  const int x0 = leftGutterWidth_ + addressWidth + 18;

  int a = topAddress_;
  range_.Overflow(a);
  std::vector<uint8_t> buffer;
  for (int y = 0; y < ClientHeight();) {
    z80dbg::DasmLine line;
    const int length = Disassemble(a, line.text);
    buffer.assign(static_cast<size_t>(length) + 128, 0);
    int count = 0;
    if (OnGetData) OnGetData(this, a, length, buffer.data(), count);
    count = std::clamp(count, 0, static_cast<int>(buffer.size()));
    line.address = a;
    line.addressText = z80dbg::HexAddress(a, addressLength_);
    line.bytesText = z80dbg::DasmBytesText(buffer.data(), count);
    line.addressX = leftGutterWidth_ + addressWidth - width(line.addressText) + 10;
    line.bytesX = x0;
    line.textX = showBytes_ ? x0 + w16 + 8 : x0;
    line.height = std::max({height(line.addressText), height(line.bytesText), height(line.text)});
    y += std::max(line.height, 1);
    lines_.push_back(std::move(line));
    a += length;
    range_.Overflow(a);
  }
  StringsBuilt = true;
  builtFont_ = font();
  busy_ = false;
  DrawLines();
}

void TDisassemblyViewer::DrawMarks(QPainter& p, int y, int h, bool breakpoint, bool execution) {
  const int m = y + h / 2;
  p.setPen(FontColor());
  if (breakpoint) {
    const int x = execution ? 22 : 6;
    p.setBrush(breakpointColor_);
    p.drawEllipse(QRect(QPoint(x - 4, m - 4), QPoint(x + 5 - 1, m + 5 - 1)));
  }
  if (execution) {
    const int x = 6;
    p.setBrush(QColor(0x00, 0xFF, 0x00));
    p.drawPolygon(QPolygon({QPoint(x, m - 5), QPoint(x, m - 2), QPoint(x - 3, m - 2), QPoint(x - 3, m + 2),
                            QPoint(x, m + 2), QPoint(x, m + 5), QPoint(x + 5, m)}));
    p.setPen(QColor(0xFF, 0xFF, 0x00));
    p.drawPolyline(QPolygon({QPoint(x - 2, m + 1), QPoint(x - 2, m - 1), QPoint(x + 1, m - 1),
                             QPoint(x + 1, m - 3), QPoint(x + 5, m + 1)}));
  }
  p.setBrush(Qt::NoBrush);
}

void TDisassemblyViewer::DrawLines() {
  QImage& image = BeginPicture();
  QPainter p(&image);
  p.setFont(font());
  const bool focused = hasFocus();
  int y = 0;
  int selectedY = -1, selectedH = 0;
  for (const z80dbg::DasmLine& line : lines_) {
    bool breakpoint = false, execution = false;
    if (OnIsBreakpoint) OnIsBreakpoint(this, line.address, breakpoint);
    if (OnIsExecution) OnIsExecution(this, line.address, execution);
    QColor text = FontColor(), back = ControlColor();
    if (breakpoint && !execution) {
      text = breakpointTextColor_;
      back = breakpointColor_;
    }
    if (line.address == selectedAddress_) {
      text = SelectionText(focused);
      back = SelectionBackground(focused);
      if (selectedY < 0) {
        selectedY = y;
        selectedH = line.height;
      }
    }
    p.fillRect(0, y, leftGutterWidth_, line.height, ControlColor());
    DrawMarks(p, y, line.height, breakpoint, execution);
    p.fillRect(leftGutterWidth_, y, image.width() - leftGutterWidth_, line.height, back);
    p.setPen(text);
    TextOut(p, line.addressX, y, QString::fromStdString(line.addressText));
    if (showBytes_) TextOut(p, line.bytesX, y, QString::fromStdString(line.bytesText));
    TextOut(p, line.textX, y, QString::fromStdString(line.text));
    y += line.height;
  }
  p.end();
  if (focused && selectedY >= 0) DottedFrame(image, selectedY, selectedH);
  Present();
}

void TDisassemblyViewer::SelectUnder(const QPoint& pos) {
  const int a = YToAddress(pos.y());
  if (a != -1) SetSelectedAddress(a);
}

void TDisassemblyViewer::MouseDown(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && FocusedBeforePress()) SelectUnder(ClientPos(e));
}

void TDisassemblyViewer::MouseMove(QMouseEvent* e) {
  if ((e->buttons() & Qt::LeftButton) && hasFocus()) SelectUnder(ClientPos(e));
}

void TDisassemblyViewer::MouseUp(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !TakeDoubleClick() || !hasFocus()) return;
  const QPoint pos = ClientPos(e);
  const int a = YToAddress(pos.y());
  if (a == -1) return;
  SetSelectedAddress(a);
  if (pos.x() > leftGutterWidth_) {
    if (OnMnemonicClick) OnMnemonicClick(this, a);
  } else if (OnSetBreakpoint) {
    OnSetBreakpoint(this, a);
  }
  Invalidate();
}

void TDisassemblyViewer::KeyDown(int key) {
  const int index = SelectionIndex();
  const int count = static_cast<int>(lines_.size());
  switch (key) {
    case Qt::Key_Down:
      if (index < 0)
        SetSelectedAddress(topAddress_);
      else if (index + 1 < count)
        SetSelectedAddress(lines_[index + 1].address);
      break;
    case Qt::Key_Up:
      if (index < 0) {
        SetSelectedAddress(topAddress_);
      } else if (index > 0) {
        SetSelectedAddress(lines_[index - 1].address);
      } else {
        // Back by one byte, so the listing can realign on any byte.
        selectedAddress_ = topAddress_ = GetPrevAddress(selectedAddress_);
        BuildStrs();
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (OnMnemonicClick) OnMnemonicClick(this, selectedAddress_);
      Invalidate();
      break;
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
      int s = topAddress_;
      for (int i = 0; i < count - 1; ++i) s = key == Qt::Key_PageDown ? GetNextAddress(s) : GetPrevAddress(s);
      SetTopAddress(s);
      SetSelectedAddress(s);
      break;
    }
    default:
      break;
  }
}
