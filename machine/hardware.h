// The emulated Spectrum: memory pages and paging latches of eight memory
// models, the ROM slots, the bus and port decoding, the frame clock that
// drives the maskable interrupt, and the beam renderer that turns screen
// memory into an 8-bit picture while the processor runs.
//
// The processor lives in the Z80 library; the machine owns its instance
// record and hands the library its callbacks with itself as user data. All
// per-instruction and per-frame work runs on whichever thread steps the
// processor. The GUI thread changes the machine as a whole only with the
// processor stopped (see WithCpuStopped and the Change... operations).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "disk/vg93.h"
#include "machine/ay_hardware.h"
#include "machine/devices.h"
#include "machine/state_record.h"
#include "machine/timing.h"
#include "z80/z80.h"

// A byte switch that the GUI thread flips while the run thread reads it.
// Reads and writes are relaxed: the run thread sees a new value at its next
// read, and nothing else hangs on the order.
class TSwitch {
 public:
  constexpr TSwitch(uint8_t v = 0) : value_(v) {}
  TSwitch(const TSwitch&) = delete;
  operator uint8_t() const { return value_.load(std::memory_order_relaxed); }
  TSwitch& operator=(uint8_t v) {
    value_.store(v, std::memory_order_relaxed);
    return *this;
  }

 private:
  std::atomic<uint8_t> value_;
};

// Memory models, in the order of the memory dialog's list.
enum TMemoryModel : int32_t {
  kPentagon128 = 0,
  kPentagon512 = 1,
  kPentagon1024 = 2,
  kProfi1024 = 3,
  kScorpion256 = 4,
  kScorpion1024 = 5,
  kAtm512 = 6,
  kSpectrum48 = 7,
};

// RAM pages a model can reach (pages 0 to this count - 1). The 48K model has
// no paging, but its #C000 page follows the latch it was left with.
int32_t RamPagesOfModel(int32_t model);

// The host's local time as the CMOS clock chip reports it.
struct TCmosTime {
  int Seconds = 0;    // 0-59
  int Minutes = 0;    // 0-59
  int Hours = 0;      // 0-23
  int DayOfWeek = 0;  // 0 = Sunday ... 6 = Saturday
  int Day = 1;        // 1-31
  int Month = 1;      // 1-12
  int Year = 2000;    // full year
};
TCmosTime LocalCmosTime();

struct TPaletteEntry {
  uint8_t Red, Green, Blue, Flags;
};

// Caption of the machine's own message boxes.
inline constexpr const char* kMachineCaption = "OVRIN";

class TZXHardware {
 public:
  static constexpr size_t kPageSize = 16384;
  static constexpr size_t kRamPageCount = 64;
  static constexpr size_t kWindowBufferSize = 786432;
  // Slot names as the memory dialog shows them.
  static constexpr std::array<const char*, 4> kRomSlotNames = {"BASIC 128K", "BASIC 48K",
                                                               "EXTENDED", "TR-DOS"};

  // window: the main window's opaque handle, handed to the sound plug-in.
  explicit TZXHardware(void* window = nullptr);
  ~TZXHardware();
  TZXHardware(const TZXHardware&) = delete;
  TZXHardware& operator=(const TZXHardware&) = delete;

  // ---- processor ----------------------------------------------------------
  Z80Result StartCpu() { return Z80_Start(&CpuHandle); }
  Z80Result StopCpu() { return Z80_Stop(&CpuHandle); }
  // One step and its after-step processing, on the calling thread.
  Z80Result StepCpu() { return Z80_ExecCycle(&CpuHandle); }
  // True while running, and while the instance is busy in another call.
  bool IsCpuRunning() { return Z80_IsRunning(&CpuHandle) != 0; }

  // Runs action with the run thread stopped, restarting it afterwards when
  // it was running. Every change of the machine as a whole made from the GUI
  // thread goes through here, so the run thread never sees it half done.
  template <typename Action>
  void WithCpuStopped(Action&& action) {
    const bool wasRunning = StopCpu() == Z80_OK;
    action();
    if (wasRunning) StartCpu();
  }
  // The same for a change the debugger must show (registers, memory,
  // paging). A processor started again refreshes the debugger itself; one
  // that stays stopped has it reloaded here, moved to the new PC when the
  // change moved it, as a reset's step does.
  template <typename Action>
  void ChangeWithCpuStopped(Action&& action) {
    const bool wasRunning = StopCpu() == Z80_OK;
    const uint16_t pc = Cpu().PC;  // only now is the run thread not moving it
    action();
    if (wasRunning)
      StartCpu();
    else
      RefreshDebugger(Cpu().PC != pc);
  }
  // Reloads the debugger window from the stopped processor and memory when
  // it is shown; nothing while the processor runs (it is refreshed by then).
  void RefreshDebugger(bool newStep);

  // The processor's registers and request bytes (valid after construction).
  TZ80State& Cpu() { return *cpu_; }
  const TZ80State& Cpu() const { return *cpu_; }

  // ---- paging -------------------------------------------------------------
  // Latch writers: each applies only on the models that have its latch and
  // ignores the #7FFD lock (that belongs to the port decoding).
  void WritePort7FFD(uint8_t value);
  void WritePortDFFD(uint8_t value);
  void WritePort1FFD(uint8_t value);
  void WritePortFDFD(uint8_t value);
  void SetMemoryModel(int32_t model);
  void ResetTo48Rom();
  void ResetTo128Rom();
  void ResetToTrdos();
  void ResetToExtRom();
  void RaiseNmi();
  void RaiseInt();
  void PressMagic();
  void PressScorpionMagic();

  // The same changes for the GUI thread while the processor may run: each
  // stops it, acts and restarts it.
  void ChangeMemoryModel(int32_t model);
  void ChangePort7FFD(uint8_t value);
  void ChangePortDFFD(uint8_t value);
  void ChangePort1FFD(uint8_t value);
  void ChangePortFDFD(uint8_t value);
  void ChangeFrameTact(uint32_t tact);
  void ReloadRoms();
  // Checks the set with the timing dialog's rules; a valid set is stored and
  // the screen timing rebuilt (processor stopped meanwhile). Returns the
  // message of the failing rule and changes nothing otherwise.
  std::optional<std::string> ApplyTiming(const TTimingValues& timing);

  // ---- ROM images ---------------------------------------------------------
  // Loads the four slots from RomFileSpecs. Slots whose file is missing or
  // whose page is refused keep their contents and are reported together in
  // one message. Call with the processor stopped (or use ReloadRoms).
  void LoadRoms();

  // ---- bus callbacks (the processor library calls these) ------------------
  static uint8_t MemoryFetch(uint32_t address, void* user);
  static uint8_t MemoryRead(uint32_t address, void* user);
  static void MemoryWrite(uint32_t address, uint8_t value, void* user);
  static uint8_t PortRead(uint32_t port, void* user);
  static void PortWrite(uint32_t port, uint8_t value, void* user);
  static void UpdateIntLine(void* user);
  static void AfterCpuStep(uint32_t ticks, void* user);
  static void DebuggerBreak(void* user);
  static uint8_t ToBcd(uint8_t value) {
    return static_cast<uint8_t>(((value / 10) % 10) * 16 + value % 10);
  }

  // The same accesses for callers other than the processor (debugger views,
  // loaders, tests). Write, In and Out place themselves at FrameTact plus the
  // T-states of the instruction in progress, as the processor's would.
  uint8_t Fetch(uint16_t address);
  uint8_t Read(uint16_t address) const;
  void Write(uint16_t address, uint8_t value);
  uint8_t In(uint16_t port);
  void Out(uint16_t port, uint8_t value);

  // ---- frame clock --------------------------------------------------------
  // What AfterCpuStep does for a step of the given T-states.
  void OnStep(int32_t ticks);
  // The shell's screen timer while the processor is stopped.
  void RefreshScreen();

  // ---- picture ------------------------------------------------------------
  // Rebuilds the screen tables from Timing and tells the sound plug-in the
  // frame length. Call with the processor stopped (or use ApplyTiming).
  void InitScreenTiming();
  void RenderToTact(uint32_t tact);
  uint8_t ReadFloatingBus();
  void EndFrame();
  // The picture-mode switch: 0 is 320 x 240, 1 the 640 x 480 high-resolution
  // mode. Does nothing when the mode is already in force.
  void SetScreenMode(int mode);
  void FillPaletteEntries(TPaletteEntry* entries, int count) const;

  // ---- devices ------------------------------------------------------------
  // Null restores the default: do nothing, except for the disk ports, whose
  // default is the machine's own FloppyController. Install with the
  // processor stopped.
  void SetDisplayOutput(IDisplayOutput* display);
  void SetInputDevices(IInputDevices* input);
  void SetTapeDeck(ITapeDeck* tape);
  void SetBetaDiskPorts(IBetaDiskPorts* disk);
  IBetaDiskPorts& BetaDisk() { return *betaDisk_; }

  // ---- state windows ------------------------------------------------------
  // The fields the state windows show, copied now. Call on the thread that
  // steps the processor, or with the processor stopped.
  TMachineState CaptureState();
  // GUI thread: with the processor stopped, the state as it is; while it
  // runs, the copy made at the last frame end. False while running when no
  // frame has ended since the first window began watching.
  bool ReadState(TMachineState& out);

  // ========================================================================
  // State. The fields are public: the shell, the snapshot loaders and the
  // devices read and write them directly (the state windows read copies,
  // see ReadState).
  // ========================================================================

  // Paging latches: the last value each accepted.
  uint8_t Port7FFD = 0;
  uint8_t PortDFFD = 0;
  uint8_t Port1FFD = 0;
  uint8_t PortFDFD = 0;

  TZ80Object CpuHandle;

  // T-state within the frame at which the current instruction began.
  uint32_t FrameTact = 0;
  // T-states since start; never reset.
  uint64_t GlobalTact = 0;

  TAYHardware SoundChip;
  // The Beta disk interface's controller and its four drives, timed by
  // GlobalTact. Destroyed after the processor, so no port access races its
  // drives writing their modified disks back.
  disk::T1818VG93 FloppyController;

  // The four ROM slots: 128, 48, EXTROM, TR-DOS (the arrays are at the end).
  uint8_t* const Rom128Slot = RomSlots[0];
  uint8_t* const Rom48Slot = RomSlots[1];
  uint8_t* const ExtRomSlot = RomSlots[2];
  uint8_t* const TrdosRomSlot = RomSlots[3];

  int32_t MemoryModel = kPentagon128;
  // High part of the page at #C000: page = (Port7FFD & 7) + 8 * ExtendedPage.
  uint32_t ExtendedPage = 0;
  // The four 16 KB windows the processor sees: [0] RomWindow (#0000),
  // [1] #4000, [2] #8000, [3] #C000. Recomputed by every latch write.
  uint8_t* Windows[4] = {};
  uint8_t* RomWindow() const { return Windows[0]; }
  uint8_t* Window4000() const { return Windows[1]; }
  uint8_t* Window8000() const { return Windows[2]; }
  uint8_t* WindowC000() const { return Windows[3]; }
  // Picture sources: the screen page (5 or 7) and the 512-pixel mode's
  // bitmap (4 or 6) and attribute (56 or 58) pages.
  uint8_t* ScreenPage = nullptr;
  uint8_t* HiResBitmapPage = nullptr;
  uint8_t* HiResAttrPage = nullptr;
  uint8_t TrdosActive = 0;      // the TR-DOS ROM overrides RomWindow for fetches and reads
  uint8_t ExtRomActive = 0;     // the EXTROM slot overrides RomWindow likewise
  uint8_t ExtRomPaged = 0;      // #1FFD bit 1: EXTROM at #0000
  uint8_t RamAtZero = 0;        // RAM page 0 at #0000, writable
  uint8_t Window4000Paged = 0;  // #DFFD bit 3: #4000 shows page P, #C000 page 7
  uint8_t Window8000Page6 = 0;  // #DFFD bit 6: #8000 shows page 6
  uint8_t ProfiDiskPorts = 0;   // #DFFD bit 5: the Profi's second disk-port decoding
  uint8_t ProfiHiRes = 0;       // #DFFD bit 7: the 512-pixel mode

  std::array<std::string, 4> RomFileSpecs;

  // CMOS clock chip: 256 bytes of store and the selected register. The clock
  // registers answer from CmosClock (the host's local time unless replaced).
  std::array<uint8_t, 256> CmosMemory{};
  uint8_t CmosIndex = 0;
  std::function<TCmosTime()> CmosClock = LocalCmosTime;

  // Switches the shell and the menu flip while the processor runs.
  TSwitch EnableCMOS{0};
  TSwitch BetaDiskEmulation{1};
  TSwitch KempstonMouseEmulation{1};
  TSwitch VideoSync{0};
  TSwitch Limit50Hz{1};
  TSwitch TapeEmulationEnabled{0};
  TSwitch TapeTrapsEnabled{0};
  TSwitch SwapMouseButtons{0};
  TSwitch FullScreenFlag{0};
  TSwitch InputReady{0};
  TSwitch ShowFps{0};
  TSwitch ShowDiskActivity{1};
  void* DisplayWindow = nullptr;
  // Frames for which the disk icon is still shown (set by the disk
  // controller, counted down by the display).
  int32_t DiskActivity = 0;

  // Last value written to port #FE: border colour in bits 0-2.
  uint8_t BorderLatch = 0;
  // Inputs, filled by the input devices at each frame end. KeyboardRows[i]
  // answers address line A(15 - i); a clear bit is a pressed key.
  uint8_t KeyboardRows[8] = {};
  uint8_t KempstonJoystick = 0;
  uint8_t KempstonMouseButtons = 0;
  uint8_t KempstonMouseX = 0x80;
  uint8_t KempstonMouseY = 0x80;

  // The timing in force. Change it through ApplyTiming.
  TTimingValues Timing;

  // ---- picture state ------------------------------------------------------
  // Guards the display routines against one another. Waiting callers lock
  // it; the renderer, the mouse poll and the screen timer only try.
  std::mutex DisplayBusy;

  std::vector<uint8_t> WindowBuffer;  // the picture, kWindowBufferSize bytes
  uint8_t* FrameBuffer = nullptr;     // where the renderer draws
  uint32_t ScreenWidth = 320;
  uint32_t PictureLines = 240;
  uint8_t HiResMode = 0;

  std::array<uint8_t, 48> SpectrumPalette{};  // 16 colours: red, green, blue
  std::array<uint8_t, 256> InkColourTable{};
  std::array<uint8_t, 256> PaperColourTable{};
  uint8_t FlashPhase = 0;
  uint32_t FlashCounter = 0;
  uint64_t CPUClockHz = 0;        // host time-stamp ticks per second (measured by the shell)
  uint64_t FramePeriodTicks = 0;  // CPUClockHz / 50

  // Line geometry, from InitScreenTiming.
  uint32_t FirstVisibleTact = 0;
  uint32_t LinePixels = 0;
  int64_t VisibleStartPixel = 0;
  int64_t VisibleEndPixel = 0;
  int64_t PaperStartPixel = 0;
  int64_t PaperEndPixel = 0;
  // One class per T-state from FirstVisibleTact to the frame end: 0 nothing
  // drawn, 1 paper, 2 border, 3 end of the picture. Always ends with a 3.
  std::vector<uint8_t> ScreenClassTable;

  // The beam.
  uint32_t LastRenderedTact = 0;
  uint32_t BeamTableIndex = 0;
  uint32_t BeamPixelOffset = 0;
  uint8_t BeamPixelMask = 0;
  uint32_t BeamBitmapOffset = 8191;
  uint32_t BeamAttrOffset = 0;
  uint8_t BeamBitmapByte = 0;
  uint8_t BeamInk = 0;
  uint8_t BeamPaper = 0;
  uint8_t BeamFlash = 0;
  uint32_t BeamRowIndex = 0;
  uint32_t HiResLinesDone = 0;

  // ScreenClassTable as runs of one class, so the renderer handles a stretch
  // of border or paper at a time. BeamRun is the run holding BeamTableIndex.
  struct TClassRun {
    uint32_t End;  // index one past the run
    uint8_t Class;
  };
  std::vector<TClassRun> ScreenClassRuns;
  uint32_t BeamRun = 0;
  // For each of the 6912 screen bytes, the first and last class-table index
  // at which the beam reads it in a frame (first > last: never read).
  std::vector<uint32_t> ScreenFetchFirst;
  std::vector<uint32_t> ScreenFetchLast;

 private:
  void Step(int32_t ticks);
  void StepEvents();
  void StepIntLine();
  void HaltSkip();
  void RecomputeWindows();
  void ResetCommon(uint8_t extRomActive, uint8_t trdosActive, uint8_t port7ffd);
  void ResetBeam();
  void PresentFrame();
  void EndOfFrame();
  void PublishState();
  void RenderNormal(uint32_t tact);
  void RenderHiRes(uint32_t tact);
  void DrawPaper(uint32_t count);
  void FetchScreenByte();
  // Whether the picture must be drawn up to now before this write: only
  // when the beam reads the written byte somewhere between the last drawn
  // T-state and now. Drawing depends on no other memory, so leaving it for
  // later gives the same picture.
  bool WriteNeedsRender(uint16_t address) const {
    const uint8_t* page = WindowOf(address);
    if (HiResMode) return page == HiResBitmapPage || page == HiResAttrPage;
    const uint32_t offset = address & 0x3FFF;
    if (page != ScreenPage || offset >= 6912) return false;
    const uint32_t tact = CurrentTact();
    if (tact < FirstVisibleTact || tact <= LastRenderedTact) return false;
    const uint64_t end = uint64_t(BeamTableIndex) + (tact - LastRenderedTact);
    return ScreenFetchFirst[offset] < end && ScreenFetchLast[offset] >= BeamTableIndex;
  }
  void StoreByte(uint16_t address, uint8_t value);
  void RenderThenStore(uint16_t address, uint8_t value);
  uint8_t KeyboardRead(uint16_t port);
  uint8_t BetaRead(int reg);
  void BetaWrite(int reg, uint8_t value);
  int ProfiDiskRegister(uint16_t port) const;
  uint8_t ProfiDiskRead(uint16_t port, bool& answered);
  void ProfiDiskWrite(uint16_t port, uint8_t value);
  uint8_t CmosRead();
  uint8_t* WindowOf(uint16_t address) const { return Windows[address >> 14]; }
  uint32_t CurrentTact() const { return FrameTact + cpu_->Req.Ticks; }

  // Eight pixels of paper for each attribute, by flash phase (flashing
  // cells show their ink in phase 1), and ink XOR paper, which a set bit
  // applies in either phase.
  std::array<uint64_t, 256> paperPixels_[2] = {};
  std::array<uint64_t, 256> inkXorPaperPixels_ = {};

  TZ80State* cpu_ = nullptr;
  IDisplayOutput* display_;
  IInputDevices* input_;
  ITapeDeck* tape_;
  IBetaDiskPorts* betaDisk_;

  // The controller behind the disk-port seam.
  class TFloppyPorts final : public IBetaDiskPorts {
   public:
    explicit TFloppyPorts(disk::T1818VG93& controller) : controller_(controller) {}
    uint8_t ReadRegister(uint8_t port) override { return controller_.ReadRegister(port); }
    void WriteRegister(uint8_t port, uint8_t value) override {
      controller_.WriteRegister(port, value);
    }

   private:
    disk::T1818VG93& controller_;
  };
  TFloppyPorts floppyPorts_{FloppyController};

 public:
  // Filled at each frame end while a state window watches it (see ReadState).
  TMachineStateSlot StateSlot;

  // The memory: 64 RAM pages and the four ROM slots. Last, so that the
  // fields the bus and the frame clock touch on every step share a few
  // cache lines instead of lying a megabyte apart.
  alignas(64) uint8_t RamPages[kRamPageCount][kPageSize] = {};
  alignas(64) uint8_t RomSlots[4][kPageSize] = {};
};

// The interface colours (palette indices 0-15).
extern const std::array<uint8_t, 48> GuiPalette;
// The Spectrum colours the machine starts with.
extern const std::array<uint8_t, 48> DefaultSpectrumPalette;
