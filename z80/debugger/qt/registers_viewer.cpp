#include "z80/debugger/qt/registers_viewer.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "z80/debugger/viewer_layout.h"

const char* const RegisterRowNames[13] = {"PC", "IR", "SP",  "AF",  "HL",  "DE", "BC",
                                          "IX", "IY", "AF'", "HL'", "DE'", "BC'"};
const char* const FlagRowNames[8] = {"S", "Z", "F5", "H", "F3", "P/V", "N", "C"};

namespace {

// The snapshot field of each register row, in row order. Plain functions,
// not member pointers: indexing arrays of those trips the bounds sanitizer.
using RegisterGetter = uint16_t (*)(const TZ80Registers&);
constexpr RegisterGetter kRegisterRows[13] = {
    [](const TZ80Registers& r) { return r.GetPC(); },
    [](const TZ80Registers& r) { return r.GetIR(); },
    [](const TZ80Registers& r) { return r.GetSP(); },
    [](const TZ80Registers& r) { return r.GetAF(); },
    [](const TZ80Registers& r) { return r.GetHL(); },
    [](const TZ80Registers& r) { return r.GetDE(); },
    [](const TZ80Registers& r) { return r.GetBC(); },
    [](const TZ80Registers& r) { return r.GetIX(); },
    [](const TZ80Registers& r) { return r.GetIY(); },
    [](const TZ80Registers& r) { return r.Get_AF(); },
    [](const TZ80Registers& r) { return r.Get_HL(); },
    [](const TZ80Registers& r) { return r.Get_DE(); },
    [](const TZ80Registers& r) { return r.Get_BC(); },
};

using FlagGetter = int (*)(const TZ80Flags&);
constexpr FlagGetter kFlagRows[8] = {
    [](const TZ80Flags& f) { return f.GetS(); },
    [](const TZ80Flags& f) { return f.GetZ(); },
    [](const TZ80Flags& f) { return f.GetF5(); },
    [](const TZ80Flags& f) { return f.GetH(); },
    [](const TZ80Flags& f) { return f.GetF3(); },
    [](const TZ80Flags& f) { return f.GetP_V(); },
    [](const TZ80Flags& f) { return f.GetN(); },
    [](const TZ80Flags& f) { return f.GetC(); },
};

const QColor kChanged(0xFF, 0x00, 0x00);

}  // namespace

TCPUListViewer::TCPUListViewer(const Layout& layout, QWidget* parent)
    : TCustomViewerCPU(parent), layout_(layout) {}

void TCPUListViewer::Measure() {
  const QFontMetrics fm(font());
  lineHeight_ = std::max({fm.size(Qt::TextSingleLine, QString::fromUtf8(layout_.names[0])).height(),
                          fm.size(Qt::TextSingleLine, QStringLiteral("=")).height(),
                          fm.size(Qt::TextSingleLine, QString::fromUtf8(layout_.sampleValue)).height()});
}

void TCPUListViewer::BuildStrs() {
  StringsBuilt = true;
  builtFont_ = font();
  DrawLines();
}

int TCPUListViewer::RowAt(int y) const { return z80dbg::ListRowAt(y, lineHeight_, first_, LastRow()); }

void TCPUListViewer::DrawLines() {
  Measure();
  QImage& image = BeginPicture();
  QPainter p(&image);
  p.setFont(font());
  const QFontMetrics fm(font());
  const int nameWidth = fm.horizontalAdvance(QString::fromUtf8(layout_.widestName));
  const int valueX = nameWidth + fm.horizontalAdvance(QLatin1Char('=')) + 8;
  const bool focused = hasFocus();
  first_ = z80dbg::ListFirstRow(first_, selected_,
                                z80dbg::ListVisibleRows(ClientHeight(), lineHeight_, LastRow()), LastRow());
  int y = 0;
  for (int row = first_; row <= LastRow() && y < ClientHeight(); ++row, y += lineHeight_) {
    const bool selected = row == selected_;
    const QColor text = selected ? SelectionText(focused) : FontColor();
    p.fillRect(0, y, image.width(), lineHeight_, selected ? SelectionBackground(focused) : ControlColor());
    p.setPen(text);
    const QString name = QString::fromUtf8(layout_.names[row]);
    TextOut(p, nameWidth + 2 - fm.horizontalAdvance(name), y, name);
    TextOut(p, nameWidth + 5, y, QStringLiteral("="));
    p.setPen(Changed(row) ? kChanged : text);
    TextOut(p, valueX, y, ValueText(row));
  }
  p.end();
  const int selectedY = (selected_ - first_) * lineHeight_;
  if (focused && selected_ >= first_ && selectedY < ClientHeight()) DottedFrame(image, selectedY, lineHeight_);
  Present();
}

void TCPUListViewer::MouseDown(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !FocusedBeforePress()) return;
  const int r = RowAt(ClientPos(e).y());
  if (r < 0) return;
  selected_ = r;
  Invalidate();
  RowClick(r);
}

void TCPUListViewer::MouseMove(QMouseEvent* e) {
  if (!(e->buttons() & Qt::LeftButton)) return;
  const int r = RowAt(ClientPos(e).y());
  if (r < 0 || r == selected_) return;
  selected_ = r;
  Invalidate();
}

void TCPUListViewer::MouseUp(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !TakeDoubleClick() || !hasFocus()) return;
  const int r = RowAt(ClientPos(e).y());
  if (r < 0) return;
  selected_ = r;
  Invalidate();
  RowDblClick(r);
}

void TCPUListViewer::KeyDown(int key) {
  if (key == Qt::Key_Down && selected_ < LastRow()) {
    ++selected_;
    Invalidate();
  } else if (key == Qt::Key_Up && selected_ > 0) {
    --selected_;
    Invalidate();
  } else if (key == layout_.actionKey) {
    RowDblClick(selected_);
  }
}

// ---- Registers ---------------------------------------------------------------

TRegistersViewer::TRegistersViewer(QWidget* parent)
    : TCPUListViewer({RegisterRowNames, "DE'", "0000", Qt::Key_Return}, parent) {}

void TRegistersViewer::SetShowOldRegs(bool Value) {
  if (Value == showOld_) return;
  showOld_ = Value;
  Invalidate();
}

QString TRegistersViewer::ValueText(int row) const {
  const TZ80Registers& regs = showOld_ ? OldRegs : CurrentRegs;
  return QString::asprintf("%04X", kRegisterRows[row](regs));
}

bool TRegistersViewer::Changed(int row) const {
  return kRegisterRows[row](CurrentRegs) != kRegisterRows[row](OldRegs);
}

void TRegistersViewer::RowClick(int row) {
  if (OnRegisterClick) OnRegisterClick(this, row);
}

void TRegistersViewer::RowDblClick(int row) {
  if (OnRegisterDblClick) OnRegisterDblClick(this, row);
}

void TRegistersViewer::KeyDown(int key) {
  TCPUListViewer::KeyDown(key);
  // Enter, on either key of the keyboard, edits the register and keeps the
  // list focused for the next one.
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (key == Qt::Key_Enter) RowDblClick(SelectedRow());
    setFocus();
    Invalidate();
  }
}

// ---- Flags -------------------------------------------------------------------

TFlagsViewer::TFlagsViewer(QWidget* parent)
    : TCPUListViewer({FlagRowNames, "P/V", "0", Qt::Key_Space}, parent) {}

void TFlagsViewer::SetShowOldRegs(bool Value) {
  if (Value == showOld_) return;
  showOld_ = Value;
  Invalidate();
}

QString TFlagsViewer::ValueText(int row) const {
  const TZ80Flags& flags = showOld_ ? OldFlags : CurrentFlags;
  return QString::number(kFlagRows[row](flags));
}

bool TFlagsViewer::Changed(int row) const {
  return kFlagRows[row](CurrentFlags) != kFlagRows[row](OldFlags);
}

void TFlagsViewer::RowClick(int row) {
  if (OnFlagClick) OnFlagClick(this, static_cast<uint8_t>(1 << (7 - row)));
}

void TFlagsViewer::RowDblClick(int row) {
  if (OnFlagDblClick) OnFlagDblClick(this, static_cast<uint8_t>(1 << (7 - row)));
}
