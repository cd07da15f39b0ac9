#include "z80/debugger/qt/cpu_form.h"

#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "platform/dialogs.h"
#include "z80/debugger/assembler.h"
#include "z80/debugger/dasm_line.h"
#include "z80/debugger/debugger_input.h"
#include "z80/debugger/listing.h"
#include "z80/debugger/memory_charsets.h"
#include "z80/debugger/qt/disassembly_viewer.h"
#include "z80/debugger/qt/memory_viewer.h"
#include "z80/debugger/qt/registers_viewer.h"
#include "z80/z80_breakpoints.h"
#include "z80/z80_instance.h"

namespace {

// The register rows of the register list and the fields they edit.
uint16_t TZ80State::*const kRegisterFields[13] = {
    &TZ80State::PC,  &TZ80State::IR,  &TZ80State::SP, &TZ80State::AF, &TZ80State::HL,
    &TZ80State::DE,  &TZ80State::BC,  &TZ80State::IX, &TZ80State::IY, &TZ80State::_AF,
    &TZ80State::_HL, &TZ80State::_DE, &TZ80State::_BC};

// The listing dialogs start from what was asked last time, in every window.
z80dbg::ListingRequest g_listing;

std::string Format(const char* format, int value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void Complain(const std::string& text) {
  platform::ShowMessage(z80::kCaption, text, platform::MsgButtons::Ok, platform::MsgIcon::Error);
}

// The window manager frames a window after it shows, and may place it
// itself whatever the window asked: once the real frame is known, a window
// that does not lie whole on its screen is moved (and if need be shrunk)
// onto it. Looked at for a while, as frame and placement come late.
void KeepFramedWindowOnScreen(QWidget* window, int looksLeft = 40) {
  constexpr int kLookEveryMs = 50;
  QTimer::singleShot(kLookEveryMs, window, [w = QPointer<QWidget>(window), looksLeft] {
    if (!w || !w->isVisible()) return;
    const QRect outer = w->frameGeometry();
    QScreen* screen = w->screen();
    if (outer != w->geometry() && screen) {
      const QRect area = screen->availableGeometry();
      if (area.contains(outer)) return;
      const QSize excess = (outer.size() - area.size()).expandedTo(QSize(0, 0));
      if (excess.width() > 0 || excess.height() > 0)
        w->resize((w->size() - excess).expandedTo(w->minimumSize()));
      const QSize size = w->frameGeometry().size();
      w->move(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - size.width())),
              std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    if (looksLeft > 1) KeepFramedWindowOnScreen(w, looksLeft - 1);
  });
}

QFont CodeFont() {
  QFont font(QStringLiteral("Courier"));
  font.setPixelSize(13);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

QLabel* StatusText(QWidget* parent, const char* name, const char* text, int width) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setFixedSize(width, 17);
  return label;
}

// Every run of blanks as one blank: the assembler's line as a user types it.
std::string CollapseBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  return out;
}

// Held while a handler asks the user something. The dialogs have no owner,
// so when one closes the window manager may activate some other window;
// the debugger takes the keyboard back, for the control that had it (the
// code view when none had), so F7 steps at once.
class KeyboardBack {
 public:
  KeyboardBack(QWidget* form, QWidget* fallback)
      : form_(form), control_(form->focusWidget() ? form->focusWidget() : fallback) {}
  ~KeyboardBack() {
    if (!form_ || !form_->isVisible()) return;
    form_->activateWindow();
    if (control_) control_->setFocus(Qt::OtherFocusReason);
  }
  KeyboardBack(const KeyboardBack&) = delete;
  KeyboardBack& operator=(const KeyboardBack&) = delete;

 private:
  QPointer<QWidget> form_;
  QPointer<QWidget> control_;
};

}  // namespace

TCPUForm::TCPUForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("CPUForm"));
  setWindowTitle(QStringLiteral("Z80 CPU"));
  resize(627, 347);
  QFont dialogFont = font();
  dialogFont.setPointSize(8);
  setFont(dialogFont);
  BuildLayout();
  BuildMenus();
  WireViewers();
  TimerStatus = new QTimer(this);
  TimerStatus->setObjectName(QStringLiteral("TimerStatus"));
  TimerStatus->setInterval(100);
  connect(TimerStatus, &QTimer::timeout, this, [this] { StatusTick(); });
  TimerStatus->start();
}

TCPUForm::~TCPUForm() {
  // Orders the deletion after the detaching store of a destroy on another
  // thread for race detectors, which do not see the hand-over through Qt's
  // own locks.
  (void)__atomic_load_n(&Z80Object, __ATOMIC_ACQUIRE);
}

void TCPUForm::Dispose() {
  if (std::this_thread::get_id() == guiThread_) {
    delete this;
    return;
  }
  // The GUI thread may be waiting for the destroying one (in Z80_Stop), so
  // the deletion is posted to it, timer first, and never waited for. Until
  // it is done the window has no instance: its timer ticks, paints and
  // handlers find none and do nothing. With no application left to run the
  // GUI thread's events the window stays behind, untouched.
  const bool eventsRun = QCoreApplication::instance() && !QCoreApplication::closingDown();
  QTimer* const timer = TimerStatus;
  // This thread's last touch of the window's own memory.
  __atomic_store_n(&Z80Object, nullptr, __ATOMIC_RELEASE);
  if (!eventsRun) return;
  QMetaObject::invokeMethod(timer, "stop", Qt::QueuedConnection);
  QMetaObject::invokeMethod(this, "deleteLater", Qt::QueuedConnection);
}

void TCPUForm::BuildLayout() {
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* columns = new QSplitter(Qt::Horizontal, this);
  outer->addWidget(columns);

  auto* left = new QSplitter(Qt::Vertical, columns);
  DasmPanel = new TDisassemblyViewer(left);
  DasmPanel->setObjectName(QStringLiteral("DasmPanel"));
  MemoryViewer = new TMemoryViewer(left);
  MemoryViewer->setObjectName(QStringLiteral("MemoryViewer"));
  DasmPanel->setFont(CodeFont());
  MemoryViewer->setFont(CodeFont());
  left->setStretchFactor(0, 1);
  left->setStretchFactor(1, 0);
  left->setSizes({347 - 120, 120});

  auto* right = new QSplitter(Qt::Vertical, columns);
  auto* top = new QWidget(right);
  auto* topRow = new QHBoxLayout(top);
  topRow->setContentsMargins(0, 0, 0, 0);
  topRow->setSpacing(0);
  RegistersPanel = new TRegistersViewer(top);
  RegistersPanel->setObjectName(QStringLiteral("RegistersPanel"));
  RegistersPanel->setFixedWidth(100);
  FlagsPanel = new TFlagsViewer(top);
  FlagsPanel->setObjectName(QStringLiteral("FlagsPanel"));
  FlagsPanel->setFixedWidth(65);
  topRow->addWidget(RegistersPanel);
  topRow->addWidget(FlagsPanel);
  topRow->addStretch();

  auto* status = new QFrame(right);
  status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* grid = new QGridLayout(status);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(3);
  LabelIFF1 = StatusText(status, "LabelIFF1", "IFF1: Off", 65);
  LabelIM = StatusText(status, "LabelIM", "IM: 0", 65);
  LabelIFF2 = StatusText(status, "LabelIFF2", "IFF2: Off", 65);
  LabelHLT = StatusText(status, "LabelHLT", "Halted", 65);
  LabelHLT->setAlignment(Qt::AlignCenter);
  LabelVector = StatusText(status, "LabelVector", "Vector: #0000", 89);
  LabelStack = StatusText(status, "LabelStack", "(SP) = #0000", 89);
  grid->addWidget(LabelIFF1, 0, 0);
  grid->addWidget(LabelIM, 0, 1);
  grid->addWidget(LabelIFF2, 1, 0);
  grid->addWidget(LabelHLT, 1, 1);
  grid->addWidget(LabelVector, 2, 0, 1, 2);
  grid->addWidget(LabelStack, 3, 0, 1, 2);
  Label1 = new QLabel(QStringLiteral("Z80 debugger"), status);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2 = new QLabel(QStringLiteral("Version 0.8"), status);
  Label2->setObjectName(QStringLiteral("Label2"));
  grid->addWidget(Label1, 4, 0, 1, 2);
  grid->addWidget(Label2, 5, 0, 1, 2);
  grid->setRowStretch(6, 1);
  for (QLabel* label : {LabelIFF1, LabelIFF2, LabelHLT, LabelIM}) label->installEventFilter(this);
  // The registers and flags keep their height; the status panel takes
  // what the window gains or loses, as the memory dump below the code does.
  right->setStretchFactor(0, 0);
  right->setStretchFactor(1, 1);
  right->setSizes({185, 347 - 185});

  columns->addWidget(left);
  columns->addWidget(right);
  columns->setStretchFactor(0, 1);
  columns->setStretchFactor(1, 0);
  columns->setSizes({627 - 168, 168});

  // The form previews every key before the control with the focus.
  for (QWidget* w :
       std::initializer_list<QWidget*>{DasmPanel, MemoryViewer, RegistersPanel, FlagsPanel})
    w->installEventFilter(this);
  DasmPanel->setFocus();
}

void TCPUForm::BuildMenus() {
  auto item = [this](QMenu* menu, const char* name, const char* caption,
                     void (TCPUForm::*handler)()) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromUtf8(name));
    if (handler)
      connect(a, &QAction::triggered, this, [this, handler] { Within([&] { (this->*handler)(); }); });
    return a;
  };
  auto refresh = [this] { Within([this] { RefreshView(false); }); };

  PopupMenuDasm = new QMenu(this);
  PopupMenuDasm->setObjectName(QStringLiteral("PopupMenuDasm"));
  PopupViewAddress = item(PopupMenuDasm, "PopupViewAddress", "Смотреть адрес...",
                          &TCPUForm::PopupViewAddressClick);
  DasmSubMenuExecAddress =
      item(PopupMenuDasm, "DasmSubMenuExecAddress", "Исполняемая инструкция...",
           &TCPUForm::DasmSubMenuExecAddressClick);
  PopupMenuDasm->addSeparator();
  PopupINTASM = item(PopupMenuDasm, "PopupINTASM", "Встроенный ассемблер", nullptr);
  connect(PopupINTASM, &QAction::triggered, this,
          [this] { Within([this] { DasmPanelMnemonicClick(DasmPanel->GetSelectedAddress()); }); });
  PopupBreakpoint = item(PopupMenuDasm, "PopupBreakpoint", "Точка останова", nullptr);
  connect(PopupBreakpoint, &QAction::triggered, this,
          [this] { Within([this] { DasmPanelSetBreakpoint(DasmPanel->GetSelectedAddress()); }); });
  PopupBreakpoint->setEnabled(false);
  PopupResetBreakpoints = item(PopupMenuDasm, "PopupResetBreakpoints", "Сброс точек останова",
                               &TCPUForm::PopupResetBreakpointsClick);
  PopupResetBreakpoints->setEnabled(false);
  PopupSaveListing = item(PopupMenuDasm, "PopupSaveListing", "Сохранить листинг...",
                          &TCPUForm::PopupSaveListingClick);
  PopupMenuDasm->addSeparator();
  connect(item(PopupMenuDasm, "SubMenuDasmRefresh", "Обновить", nullptr), &QAction::triggered, this,
          refresh);

  PopupMenuReg = new QMenu(this);
  PopupMenuReg->setObjectName(QStringLiteral("PopupMenuReg"));
  SubMenuOldValues = item(PopupMenuReg, "SubMenuOldValues", "Предыдущие значения",
                          &TCPUForm::SubMenuOldValuesClick);
  SubMenuOldValues->setCheckable(true);
  PopupMenuReg->addSeparator();
  connect(item(PopupMenuReg, "SubMenuRefreshRegs", "Обновить", nullptr), &QAction::triggered, this,
          refresh);

  PopupMenuMem = new QMenu(this);
  PopupMenuMem->setObjectName(QStringLiteral("PopupMenuMem"));
  item(PopupMenuMem, "SubMenuMemViewAddress", "Смотреть адрес...",
       &TCPUForm::SubMenuMemViewAddressClick);
  PopupMenuMem->addSeparator();
  SubMenuMemEncodeWin = item(PopupMenuMem, "SubMenuMemEncodeWin", "Кириллица Windows", nullptr);
  SubMenuMemEncodeDOS = item(PopupMenuMem, "SubMenuMemEncodeDOS", "Кириллица DOS", nullptr);
  SubMenuMemEncodeKOI8 = item(PopupMenuMem, "SubMenuMemEncodeKOI8", "Кириллица KOI-8", nullptr);
  SubMenuMemEncodeSpectrum =
      item(PopupMenuMem, "SubMenuMemEncodeSpectrum", "Кодировка Spectrum", nullptr);
  for (QAction* a :
       {SubMenuMemEncodeWin, SubMenuMemEncodeDOS, SubMenuMemEncodeKOI8, SubMenuMemEncodeSpectrum}) {
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, a] { Within([&] { SelectCharSet(a); }); });
  }
  SubMenuMemEncodeWin->setChecked(true);
  PopupMenuMem->addSeparator();
  item(PopupMenuMem, "SubMenuMemSetBytesLine", "Число столбцов...",
       &TCPUForm::SubMenuMemSetBytesLineClick);
  connect(item(PopupMenuMem, "SubMenuMemRefresh", "Обновить", nullptr), &QAction::triggered, this,
          refresh);

  const std::pair<QWidget*, QMenu*> popups[] = {
      {DasmPanel, PopupMenuDasm}, {MemoryViewer, PopupMenuMem}, {RegistersPanel, PopupMenuReg}};
  for (const auto& [widget, menu] : popups) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widget, &QWidget::customContextMenuRequested, this,
            [widget, menu](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
  }
}

void TCPUForm::WireViewers() {
  DasmPanel->SetLeftGutterWidth(30);
  DasmPanel->SetMaxAddress(65535);
  DasmPanel->SetAddressLength(4);
  DasmPanel->SetBreakpointColor(QColor(0xFF, 0x00, 0x00));
  DasmPanel->OnDisassemble = [this](TDisassemblyViewer*, int& a, std::string& r, int& n) {
    Within([&] { DasmPanelDisassemble(a, r, n); });
  };
  DasmPanel->OnGetData = [this](TDisassemblyViewer*, int a, int c, uint8_t* b, int& n) {
    Within([&] { DasmPanelGetData(a, c, b, n); });
  };
  DasmPanel->OnIsBreakpoint = [this](TDisassemblyViewer*, int a, bool& r) {
    Within([&] { DasmPanelIsBreakpoint(a, r); });
  };
  DasmPanel->OnIsExecution = [this](TDisassemblyViewer*, int a, bool& r) {
    Within([&] { DasmPanelIsExecution(a, r); });
  };
  DasmPanel->OnMnemonicClick = [this](TDisassemblyViewer*, int a) {
    Within([&] { DasmPanelMnemonicClick(a); });
  };
  DasmPanel->OnSetBreakpoint = [this](TDisassemblyViewer*, int a) {
    Within([&] { DasmPanelSetBreakpoint(a); });
  };
  MemoryViewer->SetAddressMask(65535);
  MemoryViewer->SetAddressLength(4);
  MemoryViewer->SetBytesPerLine(8);
  MemoryViewer->OnGetMemoryByte = [this](TMemoryViewer*, int a, uint8_t& v) {
    Within([&] { MemoryViewerGetMemoryByte(a, v); });
  };
  MemoryViewer->OnMemoryCellDblClick = [this](TMemoryViewer*, int a) {
    Within([&] { MemoryViewerMemoryCellDblClick(a); });
  };
  RegistersPanel->OnRegisterDblClick = [this](TRegistersViewer*, int row) {
    Within([&] { RegistersPanelRegisterDblClick(row); });
  };
  FlagsPanel->OnFlagDblClick = [this](TFlagsViewer*, uint8_t mask) {
    Within([&] { FlagsPanelFlagDblClick(mask); });
  };
}

// ---- Window operations -------------------------------------------------------

void TCPUForm::Show() {
  if (!placed_) {
    PlaceOnScreen();
    placed_ = true;
  }
  show();
  raise();
  activateWindow();
}

void TCPUForm::PlaceOnScreen() {
  // Beside the window the user works in, covering as little of it as the
  // screen allows, and always whole on the screen: left to itself the
  // window manager put it below that window and let its bottom (the memory
  // dump and the status) run off the screen's edge.
  QWidget* anchor = QApplication::activeWindow();
  if (anchor == this) anchor = nullptr;
  if (!anchor)
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != this && w->isVisible() && !w->isMinimized()) {
        anchor = w;
        break;
      }
  QScreen* screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // The frame this window will get, judged by one that has it already.
  QMargins frame(4, 24, 4, 4);
  if (anchor && anchor->frameGeometry() != anchor->geometry()) {
    const QRect outer = anchor->frameGeometry(), inner = anchor->geometry();
    frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                     outer.right() - inner.right(), outer.bottom() - inner.bottom());
  }
  const QSize room = area.size().shrunkBy(frame);
  resize(size().boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room)));
  const QSize outer = size().grownBy(frame);
  const auto inside = [&](QPoint at) {
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - outer.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - outer.height())));
    return QRect(at, outer);
  };
  QRect best = inside(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
  if (anchor) {
    const QRect a = anchor->frameGeometry();
    const QPoint middle = a.center() - QPoint(outer.width() / 2, outer.height() / 2);
    const QPoint candidates[] = {{middle.x(), a.bottom() + 1},
                                 {a.right() + 1, middle.y()},
                                 {middle.x(), a.top() - outer.height()},
                                 {a.left() - outer.width(), middle.y()}};
    const auto covered = [&](const QRect& r) {
      const QRect common = r.intersected(a);
      return common.isEmpty() ? 0 : common.width() * common.height();
    };
    best = inside(candidates[0]);
    for (const QPoint& at : candidates)
      if (covered(inside(at)) < covered(best)) best = inside(at);
  }
  move(best.topLeft());
}

void TCPUForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  SetShown(true);
  if (!event->spontaneous()) {
    Within([this] { FormShow(); });
    KeepFramedWindowOnScreen(this);
  }
}

void TCPUForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  SetShown(isVisible());
}

void TCPUForm::FormShow() {
  if (!Z80Object || !Z80Object->StateRecord) return;
  if (!Z80Object->Running.load()) DasmPanel->SetSelectedAddress(Z80Object->StateRecord->PC);
  // Twice: the previous values then equal the current ones, so nothing
  // shows as changed.
  RefreshView(true);
  RefreshView(true);
  const QString name = QString::fromUtf8(Z80Object->Name);
  setWindowTitle(name.isEmpty() ? QStringLiteral("Z80 CPU")
                                : QStringLiteral("Z80 CPU \"%1\"").arg(name));
}

void TCPUForm::SetBreakpointCommandsEnabled(bool enabled) {
  PopupBreakpoint->setEnabled(enabled);
  DasmSubMenuExecAddress->setEnabled(enabled);
}

uint16_t TCPUForm::ReadWord(uint32_t address) {
  const std::vector<uint8_t> bytes = z80dbg::ReadMemory(Z80Object, address, 2);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

void TCPUForm::RefreshForHost(bool NewStep) {
  const UseGuard inUse(*this);
  if (inUse) RefreshView(NewStep);
}

void TCPUForm::RefreshView(bool NewStep) {
  if (quietRefresh_ || !isVisible() || !Z80Object || !Z80Object->StateRecord) return;
  const TZ80State& s = *Z80Object->StateRecord;
  TZ80Registers& cur = RegistersPanel->CurrentRegs;
  TZ80Flags& flags = FlagsPanel->CurrentFlags;
  if (NewStep) {
    DasmPanel->SetSelectedAddress(s.PC);
    TZ80Registers& old = RegistersPanel->OldRegs;
    old.SetPC(cur.GetPC());
    old.SetSP(cur.GetSP());
    old.SetIR(cur.GetIR());
    old.SetAF(cur.GetAF());
    old.SetHL(cur.GetHL());
    old.SetDE(cur.GetDE());
    old.SetBC(cur.GetBC());
    old.Set_AF(cur.Get_AF());
    old.Set_HL(cur.Get_HL());
    old.Set_DE(cur.Get_DE());
    old.Set_BC(cur.Get_BC());
    old.SetIX(cur.GetIX());
    old.SetIY(cur.GetIY());
    TZ80Flags& of = FlagsPanel->OldFlags;
    of.SetS(flags.GetS());
    of.SetZ(flags.GetZ());
    of.SetF5(flags.GetF5());
    of.SetH(flags.GetH());
    of.SetF3(flags.GetF3());
    of.SetP_V(flags.GetP_V());
    of.SetN(flags.GetN());
    of.SetC(flags.GetC());
    RegistersPanel->SetShowOldRegs(false);
    SubMenuOldValues->setChecked(false);
  }
  cur.SetPC(s.PC);
  cur.SetSP(s.SP);
  cur.SetIR(s.IR);
  cur.SetAF(s.AF);
  cur.SetHL(s.HL);
  cur.SetDE(s.DE);
  cur.SetBC(s.BC);
  cur.Set_AF(s._AF);
  cur.Set_HL(s._HL);
  cur.Set_DE(s._DE);
  cur.Set_BC(s._BC);
  cur.SetIX(s.IX);
  cur.SetIY(s.IY);
  const int f = s.AF & 0xFF;
  flags.SetS(f >> 7);
  flags.SetZ(f >> 6);
  flags.SetF5(f >> 5);
  flags.SetH(f >> 4);
  flags.SetF3(f >> 3);
  flags.SetP_V(f >> 2);
  flags.SetN(f >> 1);
  flags.SetC(f);

  DasmPanel->UpdateData();
  MemoryViewer->UpdateData();

  const TZ80Requests& r = s.Req;
  LabelIM->setText(QStringLiteral("IM: %1").arg(r.IM));
  LabelIFF1->setText(r.IFF1 ? QStringLiteral("IFF1: On") : QStringLiteral("IFF1: Off"));
  LabelIFF2->setText(r.IFF2 ? QStringLiteral("IFF2: On") : QStringLiteral("IFF2: Off"));
  LabelHLT->setText(r.Halted ? QStringLiteral("Halted") : QString());
  LabelStack->setText(QString::fromStdString(Format("(SP) = #%04X", ReadWord(s.SP))));
  // The core takes every mode from 2 up as mode 2, so the label does too.
  const uint16_t vector = r.IM >= 2 ? ReadWord((s.IR & 0xFF00) + r.IntVector.load()) : 0x38;
  LabelVector->setText(QString::fromStdString(Format("Vector: #%04X", vector)));
  PopupResetBreakpoints->setEnabled(Z80Object->HasBreakpoints.load() != 0);
}

void TCPUForm::RepaintStatus() {
  for (QWidget* w : std::initializer_list<QWidget*>{RegistersPanel, FlagsPanel, LabelIM, LabelIFF1,
                                                    LabelIFF2, LabelHLT})
    w->repaint();
}

void TCPUForm::WriteStopped(const std::function<void(TZ80State&)>& write) {
  // The stop refreshes as after a step: the code view would jump to PC and
  // the red marks would compare with the state at this write instead of the
  // one before the last step. The caller refreshes in place instead.
  const QScopedValueRollback<bool> quiet(quietRefresh_, true);
  bool wasRunning = Z80Object->Running.load() != 0;
  if (wasRunning) {
    const Z80Result stopped = Z80_Stop(Z80Object);
    // Stopped by a breakpoint meanwhile: write, and leave it stopped there.
    if (stopped == Z80_NOT_RUNNING)
      wasRunning = false;
    else if (stopped != Z80_OK)
      return;
  }
  write(*Z80Object->StateRecord);
  if (wasRunning) Z80_Start(Z80Object);
}

// ---- Viewer events ----------------------------------------------------------

void TCPUForm::DasmPanelDisassemble(int& Address, std::string& Result, int& InstSize) {
  Address &= 0xFFFF;
  const z80dbg::DasmCodeLine line = z80dbg::DisassembleLine(Z80Object, Address);
  Result = line.Text;
  InstSize = line.Length;
}

void TCPUForm::DasmPanelGetData(int Address, int Count, uint8_t* Buffer, int& BytesInBuffer) {
  const std::vector<uint8_t> bytes = z80dbg::ReadMemory(Z80Object, Address, Count);
  std::copy(bytes.begin(), bytes.end(), Buffer);
  BytesInBuffer = Count;
}

void TCPUForm::DasmPanelIsBreakpoint(int Address, bool& Result) {
  if (Z80Object && Z80Object->HasBreakpoints.load())
    Result = z80::BreakpointContains(Z80Object, static_cast<uint16_t>(Address));
}

void TCPUForm::DasmPanelIsExecution(int Address, bool& Result) {
  if (!Z80Object || !Z80Object->StateRecord) return;
  if (Z80Object->Running.load())
    Result = false;
  else if (Address == Z80Object->StateRecord->PC)
    Result = true;
}

void TCPUForm::DasmPanelSetBreakpoint(int Address) {
  const auto at = static_cast<uint16_t>(Address);
  if (!z80::BreakpointRemove(Z80Object, at)) z80::BreakpointAdd(Z80Object, at);
  PopupResetBreakpoints->setEnabled(Z80Object->HasBreakpoints.load() != 0);
  DasmPanel->UpdateData();
}

void TCPUForm::MemoryViewerGetMemoryByte(int Address, uint8_t& Value) {
  Value = z80dbg::ReadMemory(Z80Object, Address, 1)[0];
}

void TCPUForm::MemoryViewerMemoryCellDblClick(int Address) {
  const KeyboardBack keyboard(this, DasmPanel);
  int value = z80dbg::ReadMemory(Z80Object, Address, 1)[0];
  const std::string caption = Format("Изменение байта памяти #%04X", Address);
  if (!DebuggerInputNumber(caption.c_str(), "Новое значение:", value, "#%02X", 0, 255)) return;
  WriteStopped(
      [&](TZ80State& s) { s.OnWrite(Address & 0xFFFF, static_cast<uint8_t>(value), s.UserData); });
  RefreshView(false);
}

void TCPUForm::RegistersPanelRegisterDblClick(int Address) {
  if (Z80Object->Running.load()) return;
  if (Address < 0 || Address > 12) {
    platform::ShowMessage(z80::kCaption, "Internal error: Unknown register!");
    return;
  }
  TZ80State& s = *Z80Object->StateRecord;
  const KeyboardBack keyboard(this, DasmPanel);
  int value = s.*kRegisterFields[Address];
  const std::string caption = std::string("Изменение регистра ") + RegisterRowNames[Address];
  if (!DebuggerInputNumber(caption.c_str(), "Новое значение:", value, "#%04X", 0, 0xFFFF)) return;
  s.*kRegisterFields[Address] = static_cast<uint16_t>(value);
  RefreshView(false);
}

void TCPUForm::FlagsPanelFlagDblClick(uint8_t FlagMask) {
  if (Z80Object->Running.load()) return;
  TZ80State& s = *Z80Object->StateRecord;
  if (s.AF & FlagMask)
    s.AF &= ~FlagMask;
  else
    s.AF |= FlagMask;
  RefreshView(false);
}

void TCPUForm::DasmPanelMnemonicClick(int Address) {
  const KeyboardBack keyboard(this, DasmPanel);
  Address &= 0xFFFF;
  std::string text = z80dbg::DisassembleText(Z80Object, Address);
  if (!text.empty() && text[0] == '*') text.erase(0, 1);
  text = CollapseBlanks(text);
  const std::string caption = Format("Встроенный ассемблер (#%04X)", Address);
  for (;;) {
    if (!platform::CurrentDialogs().InputQuery(caption, "Введите мнемонику Z80:", text)) return;
    const int n = Z80Assemble(text.c_str(), Address);
    if (n > 0) {
      WriteStopped([&](TZ80State& s) {
        for (int i = 0; i < n; ++i)
          s.OnWrite((Address + i) & 0xFFFF, AsmBuffer.Output[i], s.UserData);
      });
      RefreshView(false);
      return;
    }
    Complain("Неверная инструкция: " + text);
  }
}

// ---- Menus and labels ---------------------------------------------------------

void TCPUForm::PopupViewAddressClick() {
  const KeyboardBack keyboard(this, DasmPanel);
  int address = DasmPanel->GetSelectedAddress();
  if (!DebuggerInputNumber("Адрес дизассемблироания", "Новое значение:", address, "#%04X", 0,
                           0xFFFF))
    return;
  DasmPanel->SetSelectedAddress(address);
  DasmPanel->UpdateData();
}

void TCPUForm::DasmSubMenuExecAddressClick() {
  DasmPanel->SetSelectedAddress(Z80Object->StateRecord->PC);
  DasmPanel->UpdateData();
}

void TCPUForm::PopupResetBreakpointsClick() {
  if (Z80Object->HasBreakpoints.load()) z80::BreakpointClear(Z80Object);
  PopupResetBreakpoints->setEnabled(false);
  DasmPanel->UpdateData();
}

void TCPUForm::PopupSaveListingClick() {
  const KeyboardBack keyboard(this, DasmPanel);
  platform::SaveFileRequest request;
  request.Title = "Сохранение листинга...";
  // "*", not "*.*": on Linux many names have no dot at all.
  request.Filters = {{"Файлы листинга", "*.lst"}, {"Все файлы", "*"}};
  request.DefaultExt = "lst";
  request.InitialDir = std::string(".");
  request.ConfirmOverwrite = true;
  std::string name = g_listing.FileName;
  if (!platform::CurrentDialogs().SaveFileName(request, name)) return;
  g_listing.FileName = name;
  int start = static_cast<int>(g_listing.Start);
  if (!DebuggerInputNumber("Начальный адрес памяти", "Адрес:", start, "#%04X", 0, 0xFFFF)) return;
  g_listing.Start = start;
  int length = static_cast<int>(g_listing.Length);
  if (!DebuggerInputNumber("Длина блока памяти", "Адрес:", length, "#%04X", 0, 0xFFFF)) return;
  g_listing.Length = length;
  const std::string text = z80dbg::BuildListing(Z80Object, g_listing.Start, g_listing.Length,
                                                DasmPanel->GetAddressLength());
  // The file is written whole through a temporary one beside it, so any
  // failure is one of making the file: the user hears the one message.
  if (!z80dbg::WriteListing(name, text)) Complain("Ошибка открытия файла!");
}

void TCPUForm::SubMenuOldValuesClick() {
  RegistersPanel->SetShowOldRegs(SubMenuOldValues->isChecked());
}

void TCPUForm::SubMenuMemViewAddressClick() {
  const KeyboardBack keyboard(this, DasmPanel);
  int address = MemoryViewer->GetTopAddress();
  if (!DebuggerInputNumber("Адрес просмотра памяти", "Новое значение:", address, "#%04X", 0,
                           0xFFFF))
    return;
  MemoryViewer->SetTopAddress(address);
  MemoryViewer->UpdateData();
}

void TCPUForm::SubMenuMemSetBytesLineClick() {
  const KeyboardBack keyboard(this, DasmPanel);
  int count = MemoryViewer->GetBytesPerLine();
  if (!DebuggerInputNumber("Число столбцов в дампе", "Новое значение:", count, "%i", 1, 1500))
    return;
  MemoryViewer->SetBytesPerLine(count);
  MemoryViewer->UpdateData();
}

void TCPUForm::SelectCharSet(QAction* item) {
  const std::pair<QAction*, z80dbg::MemoryCharSet> sets[] = {
      {SubMenuMemEncodeWin, z80dbg::MemoryCharSet::Windows},
      {SubMenuMemEncodeDOS, z80dbg::MemoryCharSet::Dos},
      {SubMenuMemEncodeKOI8, z80dbg::MemoryCharSet::Koi8},
      {SubMenuMemEncodeSpectrum, z80dbg::MemoryCharSet::Spectrum}};
  for (const auto& [action, set] : sets) {
    action->setChecked(action == item);
    if (action != item) continue;
    MemoryViewer->SetSpectrumText(set == z80dbg::MemoryCharSet::Spectrum);
    if (set != z80dbg::MemoryCharSet::Spectrum)
      MemoryViewer->CharTable = z80dbg::MakeCharTable(set);
  }
  MemoryViewer->UpdateData();
}

void TCPUForm::LabelIFF1Click() {
  TZ80Requests& r = Z80Object->StateRecord->Req;
  r.IFF1 = r.IFF2 = r.IFF1 == 0 ? Z80_FLAG_SET : 0;
  RefreshView(false);
}

void TCPUForm::LabelIFF2Click() {
  TZ80Requests& r = Z80Object->StateRecord->Req;
  r.IFF2 = r.IFF2 == 0 ? Z80_FLAG_SET : 0;
  RefreshView(false);
}

void TCPUForm::LabelHLTClick() {
  TZ80Requests& r = Z80Object->StateRecord->Req;
  r.Halted = r.Halted == 0 ? Z80_FLAG_SET : 0;
  RefreshView(false);
}

void TCPUForm::LabelIMClick() {
  TZ80Requests& r = Z80Object->StateRecord->Req;
  r.IM = (r.IM + 1) & 3;
  if (r.IM == 3) r.IM = 0;
  RefreshView(false);
}

// ---- Keys -----------------------------------------------------------------------

bool TCPUForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (!Z80Object || !Z80Object->StateRecord) return false;
  const bool plain = !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier));
  const bool running = Z80Object->Running.load() != 0;
  if (key == Qt::Key_F7 && plain) {
    if (!running) {
      Z80_ExecCycle(Z80Object);
      RepaintStatus();
    }
  } else if (key == Qt::Key_F8 && plain) {
    if (!running) {
      Z80_ExecOver(Z80Object);
      RepaintStatus();
    }
  } else if (key == Qt::Key_4 && (modifiers & Qt::ControlModifier) &&
             !(modifiers & Qt::ShiftModifier)) {
    RefreshView(false);
    DasmPanel->UpdateData();
  } else if (key == Qt::Key_F9 && plain) {
    if (!running) Z80_Start(Z80Object);
  } else if (key == Qt::Key_F5 && plain) {
    if (running) Z80_Stop(Z80Object);
  } else {
    return false;
  }
  return true;
}

void TCPUForm::keyPressEvent(QKeyEvent* event) {
  bool handled = false;
  Within([&] { handled = FormKeyDown(event->key(), event->modifiers()); });
  if (!handled) QWidget::keyPressEvent(event);
}

bool TCPUForm::eventFilter(QObject* watched, QEvent* event) {
  const UseGuard inUse(*this);
  if (!inUse) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (FormKeyDown(key->key(), key->modifiers())) return true;
  } else if (event->type() == QEvent::MouseButtonRelease && Z80Object && Z80Object->StateRecord) {
    // A click is the left button let go over the label; the other buttons
    // must not change the processor by accident.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* label = qobject_cast<QWidget*>(watched);
    if (mouse->button() != Qt::LeftButton || !label ||
        !label->rect().contains(mouse->position().toPoint()))
      return QWidget::eventFilter(watched, event);
    if (watched == LabelIFF1)
      LabelIFF1Click();
    else if (watched == LabelIFF2)
      LabelIFF2Click();
    else if (watched == LabelHLT)
      LabelHLTClick();
    else if (watched == LabelIM)
      LabelIMClick();
  }
  return QWidget::eventFilter(watched, event);
}
