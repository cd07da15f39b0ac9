// The debugger's viewer controls on the offscreen platform: what they paint,
// where a click lands, what keys and double clicks do.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <functional>
#include <map>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "z80/debugger/qt/disassembly_viewer.h"
#include "z80/debugger/qt/memory_viewer.h"
#include "z80/debugger/qt/registers_viewer.h"

namespace {

// Pure colours: without antialiasing a red value paints exactly red pixels.
QFont PlainFont() {
  QFont f(QStringLiteral("Courier"), 10);
  f.setStyleHint(QFont::TypeWriter);
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

// A shown, active window holding one viewer, so that focus works.
template <typename Viewer>
struct Host {
  QWidget window;
  Viewer* viewer;
  explicit Host(QSize size) : viewer(new Viewer(&window)) {
    viewer->SetBorderStyle(TBorderStyle::bsNone);
    viewer->setFont(PlainFont());
    viewer->setGeometry(QRect(QPoint(10, 10), size));
    window.resize(size + QSize(40, 40));
    window.show();
    window.activateWindow();
    QApplication::processEvents();
  }
  QImage Picture() { return viewer->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButtons held = Qt::LeftButton) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Click(QWidget* w, QPoint pos) {
  Mouse(w, QEvent::MouseButtonPress, pos);
  Mouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}
void DoubleClick(QWidget* w, QPoint pos) {
  Click(w, pos);
  Mouse(w, QEvent::MouseButtonDblClick, pos);
  Mouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}
void Key(QWidget* w, int key) {
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

bool HasColour(const QImage& image, QRect band, QColor colour) {
  band &= image.rect();
  for (int y = band.top(); y <= band.bottom(); ++y)
    for (int x = band.left(); x <= band.right(); ++x)
      if (image.pixel(x, y) == colour.rgb()) return true;
  return false;
}

const QColor kRed(255, 0, 0);

// ---- Register and flag lists ---------------------------------------------

using RegisterSetter = void (*)(TZ80Registers&, uint16_t);
const RegisterSetter kSetters[13] = {
    [](TZ80Registers& r, uint16_t v) { r.SetPC(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetIR(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetSP(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetAF(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetHL(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetDE(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetBC(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetIX(v); },
    [](TZ80Registers& r, uint16_t v) { r.SetIY(v); },
    [](TZ80Registers& r, uint16_t v) { r.Set_AF(v); },
    [](TZ80Registers& r, uint16_t v) { r.Set_HL(v); },
    [](TZ80Registers& r, uint16_t v) { r.Set_DE(v); },
    [](TZ80Registers& r, uint16_t v) { r.Set_BC(v); },
};

void Fill(TZ80Registers& regs, const std::map<int, uint16_t>& changes, uint16_t base) {
  for (int row = 0; row < 13; ++row) {
    auto it = changes.find(row);
    kSetters[row](regs, it != changes.end() ? it->second : static_cast<uint16_t>(base + row));
  }
}

// Rows whose value column holds red pixels.
template <typename Viewer>
std::set<int> RedRows(Host<Viewer>& host, int rows) {
  const QImage image = host.Picture();
  const int lh = host.viewer->LineHeight();
  std::set<int> red;
  for (int row = 0; row < rows; ++row)
    if (HasColour(image, QRect(0, 1 + row * lh, image.width(), lh), kRed)) red.insert(row);
  return red;
}

TEST(RegisterViewers, ValuesAreRedExactlyWhereTheyChanged) {
  const std::vector<std::map<int, uint16_t>> cases = {{}, {{0, 0x8000}}, {{3, 0}, {12, 0xFFFF}}, {{7, 1}, {8, 2}, {9, 3}}};
  Host<TRegistersViewer> host(QSize(90, 260));
  for (const auto& changes : cases) {
    Fill(host.viewer->OldRegs, {}, 0x100);
    Fill(host.viewer->CurrentRegs, changes, 0x100);
    std::set<int> want;
    for (auto [row, value] : changes) want.insert(row);
    EXPECT_EQ(RedRows(host, 13), want);
  }

  // Flags: F = 0x41 against 0x01 changes Z only.
  Host<TFlagsViewer> flags(QSize(60, 200));
  flags.viewer->CurrentFlags.SetZ(1);
  flags.viewer->CurrentFlags.SetC(1);
  flags.viewer->OldFlags.SetC(1);
  EXPECT_EQ(RedRows(flags, 8), std::set<int>{1});
}

TEST(RegisterViewers, OldValuesViewShowsThePreviousSnapshot) {
  // Showing the old values of (old X, current Y) paints what showing the
  // current values of (old Y, current X) paints: the same text, the same red.
  Host<TRegistersViewer> a(QSize(90, 260)), b(QSize(90, 260));
  Fill(a.viewer->OldRegs, {{4, 0x1234}}, 0x100);
  Fill(a.viewer->CurrentRegs, {{4, 0xABCD}}, 0x100);
  Fill(b.viewer->OldRegs, {{4, 0xABCD}}, 0x100);
  Fill(b.viewer->CurrentRegs, {{4, 0x1234}}, 0x100);
  // Neither list focused: the same selection colours.
  a.viewer->clearFocus();
  b.viewer->clearFocus();
  EXPECT_NE(a.Picture(), b.Picture());
  a.viewer->SetShowOldRegs(true);
  EXPECT_EQ(a.Picture(), b.Picture());
  EXPECT_EQ(RedRows(a, 13), std::set<int>{4});
}

TEST(RegisterViewers, FirstClickFocusesThenClicksKeysAndDoubleClicksAct) {
  Host<TRegistersViewer> host(QSize(90, 260));
  TRegistersViewer* v = host.viewer;
  host.Picture();  // measures the rows
  const int lh = v->LineHeight();
  ASSERT_GT(lh, 0);
  std::vector<int> clicks, edits;
  v->OnRegisterClick = [&](TRegistersViewer*, int row) { clicks.push_back(row); };
  v->OnRegisterDblClick = [&](TRegistersViewer*, int row) { edits.push_back(row); };
  auto rowCentre = [&](int row) { return QPoint(20, 1 + row * lh + lh / 2); };

  host.window.setFocus();
  ASSERT_FALSE(v->hasFocus());
  Click(v, rowCentre(5));
  EXPECT_TRUE(v->hasFocus());
  EXPECT_EQ(v->SelectedRow(), 0) << "the focusing click selects nothing";
  EXPECT_TRUE(clicks.empty());
  Click(v, rowCentre(5));
  EXPECT_EQ(v->SelectedRow(), 5);
  EXPECT_EQ(clicks, std::vector<int>{5});
  EXPECT_EQ(v->RowAt(1 + 13 * lh), -1);

  DoubleClick(v, rowCentre(9));
  EXPECT_EQ(edits, std::vector<int>{9});

  struct { int key; int row; size_t edits; } keys[] = {
      {Qt::Key_Down, 10, 1}, {Qt::Key_Down, 11, 1}, {Qt::Key_Down, 12, 1}, {Qt::Key_Down, 12, 1},
      {Qt::Key_Return, 12, 2}, {Qt::Key_Space, 12, 2}, {Qt::Key_Up, 11, 2}};
  for (auto k : keys) {
    Key(v, k.key);
    EXPECT_EQ(v->SelectedRow(), k.row) << k.key;
    EXPECT_EQ(edits.size(), k.edits) << k.key;
  }

  Host<TFlagsViewer> flags(QSize(60, 200));
  std::vector<int> masks;
  flags.viewer->OnFlagDblClick = [&](TFlagsViewer*, uint8_t mask) { masks.push_back(mask); };
  flags.viewer->setFocus();
  for (int k : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return, Qt::Key_Space, Qt::Key_Up, Qt::Key_Space})
    Key(flags.viewer, k);
  EXPECT_EQ(masks, (std::vector<int>{0x20, 0x40}));
}

// ---- Memory dump --------------------------------------------------------------

TEST(MemoryViewer, WrapsAtTheMaskWhenPaintingSelectingAndScrolling) {
  Host<TMemoryViewer> host(QSize(320, 100));
  TMemoryViewer* v = host.viewer;
  std::vector<int> asked;
  v->OnGetMemoryByte = [&](TMemoryViewer*, int a, uint8_t& value) {
    asked.push_back(a);
    value = static_cast<uint8_t>(a >> 8);
  };
  v->SetTopAddress(0xFFF8);
  host.Picture();
  ASSERT_GE(asked.size(), 16u);
  EXPECT_EQ(asked[7], 0xFFFF);
  EXPECT_EQ(asked[8], 0x0000);

  const int rows = v->Metrics().FullRows(v->ClientHeight());
  ASSERT_GE(rows, 3);
  v->setFocus();
  v->SetSelectedAddress(0xFFFF);
  struct { int key; int selected, top; } steps[] = {
      {Qt::Key_Right, 0x0000, 0x0000},  // past the mask: the view jumps to the new address
      {Qt::Key_Left, 0xFFFF, 0xFFFF},   // back past zero: a jump as well
      {Qt::Key_Down, 0x0007, 0x0007},
      {Qt::Key_Up, 0xFFFF, 0xFFFF},
  };
  for (auto s : steps) {
    Key(v, s.key);
    EXPECT_EQ(v->GetSelectedAddress(), s.selected) << s.key;
    EXPECT_EQ(v->GetTopAddress(), s.top) << s.key;
  }

  // Just below the last full row or just above the top: one row.
  v->SetTopAddress(0x100);
  v->SetSelectedAddress(0x100 + rows * 8 + 3);
  EXPECT_EQ(v->GetTopAddress(), 0x108);
  v->SetSelectedAddress(0x101);
  EXPECT_EQ(v->GetTopAddress(), 0x100);
}

TEST(MemoryViewer, HitTestAndDoubleClickFindTheCell) {
  Host<TMemoryViewer> host(QSize(320, 100));
  TMemoryViewer* v = host.viewer;
  v->SetTopAddress(0x4000);
  const z80dbg::MemoryDumpMetrics m = v->Metrics();
  const int x0 = m.CellsLeft() + 1, lh = m.lineHeight;
  struct { int x, y; bool hit; int address; } cases[] = {
      {x0 + m.cellWidth / 2, 1 + lh / 2, true, 0x4000},
      {x0 + 7 * m.cellWidth + 1, 1 + lh + 2, true, 0x400F},
      {x0 - m.halfBlank - 1, 5, false, 0x4000},                // the address column
      {x0 + 8 * m.cellWidth, 5, false, 0x4000},                // the text column
      {x0 + 2 * m.cellWidth, 0, true, (0x4000 - 8) & 0xFFFF},  // above the top
      {x0 + 2 * m.cellWidth, 500, true, 0x4000 + m.FullRows(v->ClientHeight()) * 8 + 2},
  };
  for (auto c : cases) {
    const z80dbg::MemoryHit hit = v->HitTest(c.x, c.y);
    EXPECT_EQ(hit.hit, c.hit) << c.x << "," << c.y;
    EXPECT_EQ(hit.address, c.address) << c.x << "," << c.y;
  }

  std::vector<int> edits;
  v->OnMemoryCellDblClick = [&](TMemoryViewer*, int a) { edits.push_back(a); };
  host.window.setFocus();
  DoubleClick(v, QPoint(x0 + 3 * m.cellWidth, 1 + lh + 1));
  EXPECT_EQ(v->GetSelectedAddress(), 0x400B);
  EXPECT_EQ(edits, std::vector<int>{0x400B});
  Key(v, Qt::Key_Return);
  EXPECT_EQ(edits, (std::vector<int>{0x400B, 0x400B}));
}

// ---- Disassembly listing ----------------------------------------------------------

// A made-up instruction set: the length at a is 1 + a % 3 (9 at 0x20 and
// 8 at 0x30); every byte is the low byte of its address.
struct FakeCode {
  std::set<int> breakpoints;
  int pc = -1;
  std::vector<std::pair<char, int>> events;
  static int Length(int a) { return a == 0x20 ? 9 : a == 0x30 ? 8 : 1 + a % 3; }
  void Attach(TDisassemblyViewer* v) {
    v->OnDisassemble = [](TDisassemblyViewer*, int& a, std::string& text, int& size) {
      size = Length(a);
      text = "OP " + std::to_string(a);
    };
    v->OnGetData = [](TDisassemblyViewer*, int a, int count, uint8_t* buffer, int& n) {
      for (int i = 0; i < count; ++i) buffer[i] = static_cast<uint8_t>(a + i);
      n = count;
    };
    v->OnIsBreakpoint = [this](TDisassemblyViewer*, int a, bool& r) { r = breakpoints.count(a) != 0; };
    v->OnIsExecution = [this](TDisassemblyViewer*, int a, bool& r) { r = a == pc; };
    v->OnMnemonicClick = [this](TDisassemblyViewer*, int a) { events.push_back({'A', a}); };
    v->OnSetBreakpoint = [this](TDisassemblyViewer*, int a) { events.push_back({'B', a}); };
  }
};

std::vector<int> Addresses(const TDisassemblyViewer* v) {
  std::vector<int> out;
  for (const auto& l : v->Lines()) out.push_back(l.address);
  return out;
}

// A listing of FakeCode over 0..#FFFF from top.
struct Listing : Host<TDisassemblyViewer> {
  FakeCode code;
  TDisassemblyViewer* v = viewer;
  Listing(QSize size, int top) : Host(size) {
    code.Attach(v);
    v->SetMaxAddress(0xFFFF);
    v->SetTopAddress(top);
  }
};

TEST(DisassemblyViewer, WrapsInsideTheAddressRangeOnly) {
  struct { int min, max, top; } cases[] = {{0, 0xFFFF, 0xFFFA}, {0x100, 0x1FF, 0x1FC}, {0, 0, 0xFFFA}};
  for (auto c : cases) {
    Host<TDisassemblyViewer> host(QSize(400, 200));
    TDisassemblyViewer* v = host.viewer;
    FakeCode code;
    code.Attach(v);
    v->SetMaxAddress(c.max);
    v->SetMinAddress(c.min);
    v->SetTopAddress(c.top);
    const std::vector<int> lines = Addresses(v);
    ASSERT_GE(lines.size(), 5u);
    int a = c.top;
    for (int got : lines) {
      EXPECT_EQ(got, a) << c.min << ".." << c.max;
      a += FakeCode::Length(a);
      if (c.min != c.max && a > c.max) a -= c.max - c.min + 1;
    }
    // Page Down goes on past the end in the same way.
    v->setFocus();
    Key(v, Qt::Key_PageDown);
    EXPECT_EQ(v->GetTopAddress(), lines.back());
    EXPECT_EQ(v->GetSelectedAddress(), lines.back());
    if (c.min != c.max) {
      EXPECT_LT(v->GetTopAddress(), c.top);
      // Outside the range: ignored.
      v->SetTopAddress(c.max + 1);
      v->SetSelectedAddress(c.min - 1);
      EXPECT_EQ(v->GetTopAddress(), lines.back());
    } else {
      EXPECT_GT(v->GetTopAddress(), 0xFFFF);
    }
  }
}

TEST(DisassemblyViewer, BytesColumnTruncatesAndGivesWayInANarrowControl) {
  Listing host(QSize(400, 200), 0x20);
  TDisassemblyViewer* v = host.v;
  const auto& lines = v->Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0].bytesText, "202122232425..");
  EXPECT_EQ(lines[1].address, 0x29);
  EXPECT_EQ(lines[1].bytesText, "292A2B");
  EXPECT_TRUE(v->ShowBytes());
  EXPECT_GT(lines[0].textX, lines[0].bytesX);

  v->resize(150, 200);
  v->UpdateData();
  EXPECT_FALSE(v->ShowBytes());
  EXPECT_EQ(v->Lines()[0].textX, v->Lines()[0].bytesX);
}

TEST(DisassemblyViewer, MarksBreakpointsAndPcInTheGutter) {
  Listing host(QSize(400, 200), 0x100);
  TDisassemblyViewer* v = host.v;
  const std::vector<int> a = Addresses(v);
  host.code.breakpoints = {a[1], a[3]};
  host.code.pc = a[3];
  v->SetSelectedAddress(a[4]);
  host.window.setFocus();
  const QImage image = host.Picture();
  auto centre = [&](int line) {
    int y = 1;
    for (int i = 0; i < line; ++i) y += v->Lines()[i].height;
    return y + v->Lines()[line].height / 2;
  };
  const QColor green(0, 255, 0), grey(0x80, 0x80, 0x80);
  struct { int line; bool circleLeft, circleRight, arrow, redText; } cases[] = {
      {0, false, false, false, false},
      {1, true, false, false, true},   // breakpoint: red circle and red line
      {2, false, false, false, false},
      {3, false, true, true, false},   // breakpoint at PC: arrow, circle moved right, plain line
  };
  for (auto c : cases) {
    const int m = centre(c.line);
    SCOPED_TRACE(c.line);
    EXPECT_EQ(image.pixelColor(1 + 6, m) == kRed, c.circleLeft);
    EXPECT_EQ(image.pixelColor(1 + 22, m) == kRed, c.circleRight);
    EXPECT_EQ(image.pixelColor(1 + 8, m) == green, c.arrow);
    EXPECT_EQ(image.pixelColor(image.width() - 3, m) == kRed, c.redText);
  }
  // The selected line, unfocused: grey.
  EXPECT_EQ(image.pixelColor(image.width() - 3, centre(4)), grey);
}

TEST(DisassemblyViewer, DoubleClickTogglesBreakpointInGutterAndOpensAssemblerOnText) {
  Listing host(QSize(400, 200), 0x200);
  TDisassemblyViewer* v = host.v;
  const std::vector<int> a = Addresses(v);
  const int lh = v->Lines()[0].height;
  auto at = [&](int x, int line) { return QPoint(x, 1 + line * lh + lh / 2); };

  host.window.setFocus();
  Click(v, at(200, 2));
  EXPECT_EQ(v->GetSelectedAddress(), 0x200) << "the focusing click selects nothing";
  Click(v, at(200, 2));
  EXPECT_EQ(v->GetSelectedAddress(), a[2]);
  DoubleClick(v, at(10, 1));
  DoubleClick(v, at(200, 3));
  Key(v, Qt::Key_Return);
  const std::vector<std::pair<char, int>> want = {{'B', a[1]}, {'A', a[3]}, {'A', a[3]}};
  EXPECT_EQ(host.code.events, want);

  // A double click on one viewer is not carried to another.
  Listing other(QSize(400, 200), 0);
  Mouse(v, QEvent::MouseButtonDblClick, at(200, 1));
  other.v->setFocus();
  Click(other.v, at(200, 1));
  EXPECT_TRUE(other.code.events.empty());
}

TEST(DisassemblyViewer, ABuildStartedFromAHandlerIsSkipped) {
  Host<TDisassemblyViewer> host(QSize(400, 200));
  TDisassemblyViewer* v = host.viewer;
  int calls = 0;
  v->OnDisassemble = [&](TDisassemblyViewer* sender, int&, std::string& text, int& size) {
    ++calls;
    if (calls == 1) sender->UpdateData();  // returns at once instead of waiting
    text = "NOP";
    size = 1;
  };
  v->SetMaxAddress(0xFFFF);
  const int lines = static_cast<int>(v->Lines().size());
  EXPECT_EQ(calls, lines);
  EXPECT_EQ(Addresses(v).front(), 0);
  EXPECT_EQ(Addresses(v).back(), lines - 1);
}

}  // namespace

int main(int argc, char** argv) {
  // Never a real screen, also when CTest lists the cases.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
