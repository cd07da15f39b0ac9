// The debugger window of one processor instance: code, memory, registers,
// flags and the interrupt state, with breakpoints, step, step-over, run and
// stop, the line assembler and listing files. Everything in it runs on the
// GUI thread; it reaches the processor only through its instance record.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "z80/debugger/cpu_window.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TDisassemblyViewer;
class TFlagsViewer;
class TMemoryViewer;
class TRegistersViewer;

class TCPUForm final : public QWidget, public TCPUWindow {
 public:
  explicit TCPUForm(QWidget* parent = nullptr);
  ~TCPUForm() override;

  // TCPUWindow.
  void Show() override;
  bool IsVisible() const override { return isVisible(); }
  void RefreshView(bool NewStep) override;
  void RefreshForHost(bool NewStep) override;
  void SetBreakpointCommandsEnabled(bool enabled) override;
  void Dispose() override;

  TDisassemblyViewer* DasmPanel = nullptr;
  TMemoryViewer* MemoryViewer = nullptr;
  TRegistersViewer* RegistersPanel = nullptr;
  TFlagsViewer* FlagsPanel = nullptr;
  QLabel* LabelIFF1 = nullptr;
  QLabel* LabelIM = nullptr;
  QLabel* LabelIFF2 = nullptr;
  QLabel* LabelHLT = nullptr;
  QLabel* LabelVector = nullptr;
  QLabel* LabelStack = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QTimer* TimerStatus = nullptr;

  QMenu* PopupMenuDasm = nullptr;
  QMenu* PopupMenuReg = nullptr;
  QMenu* PopupMenuMem = nullptr;
  QAction* PopupViewAddress = nullptr;
  QAction* DasmSubMenuExecAddress = nullptr;
  QAction* PopupINTASM = nullptr;
  QAction* PopupBreakpoint = nullptr;
  QAction* PopupResetBreakpoints = nullptr;
  QAction* PopupSaveListing = nullptr;
  QAction* SubMenuOldValues = nullptr;
  QAction* SubMenuMemEncodeWin = nullptr;
  QAction* SubMenuMemEncodeDOS = nullptr;
  QAction* SubMenuMemEncodeKOI8 = nullptr;
  QAction* SubMenuMemEncodeSpectrum = nullptr;

  // Viewer events.
  void DasmPanelDisassemble(int& Address, std::string& Result, int& InstSize);
  void DasmPanelGetData(int Address, int Count, uint8_t* Buffer, int& BytesInBuffer);
  void DasmPanelIsBreakpoint(int Address, bool& Result);
  void DasmPanelIsExecution(int Address, bool& Result);
  void DasmPanelSetBreakpoint(int Address);
  void DasmPanelMnemonicClick(int Address);
  void MemoryViewerGetMemoryByte(int Address, uint8_t& Value);
  void MemoryViewerMemoryCellDblClick(int Address);
  void RegistersPanelRegisterDblClick(int Address);
  void FlagsPanelFlagDblClick(uint8_t FlagMask);

  // Menu and label handlers.
  void PopupViewAddressClick();
  void DasmSubMenuExecAddressClick();
  void PopupResetBreakpointsClick();
  void PopupSaveListingClick();
  void SubMenuOldValuesClick();
  void SubMenuMemViewAddressClick();
  void SubMenuMemSetBytesLineClick();
  void LabelIFF1Click();
  void LabelIFF2Click();
  void LabelHLTClick();
  void LabelIMClick();

  // The form sees every key first; true when it acted on the key.
  bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void FormShow();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  void BuildMenus();
  void WireViewers();
  void SelectCharSet(QAction* item);
  void RepaintStatus();
  // Sizes and places the window within the available screen, near the
  // window the user works in; done before the first showing.
  void PlaceOnScreen();
  uint16_t ReadWord(uint32_t address);
  // Memory is written with the processor stopped: a write from this thread
  // while the run thread draws and pages would tear the host's state.
  void WriteStopped(const std::function<void(TZ80State&)>& write);

  // Runs a handler the window starts of its own (a key, a click, a menu
  // item, an edit, a viewer's call for data to paint) as a use of the
  // window: a Z80_Destroy the host makes from inside it is refused rather
  // than delete the window under the handler. Skipped while the instance is
  // being destroyed.
  template <typename Handler>
  void Within(Handler&& handler) {
    const UseGuard inUse(*this);
    if (inUse) handler();
  }

  // The GUI thread: the only one that may stop the window's timers or
  // delete it.
  const std::thread::id guiThread_ = std::this_thread::get_id();
  bool placed_ = false;
  // While set, RefreshView does nothing (around WriteStopped's stop and start).
  bool quietRefresh_ = false;
};
