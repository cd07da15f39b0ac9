#include "machine/hardware.h"

#include <ctime>

#include "z80/debugger/cpu_window.h"

namespace {
IDisplayOutput g_noDisplay;
IInputDevices g_noInput;
ITapeDeck g_noTape;
}  // namespace

const std::array<uint8_t, 48> DefaultSpectrumPalette = {
    0, 0, 0,   0, 0, 192,   192, 0, 0,   192, 0, 192,   0, 192, 0,   0, 192, 192,
    192, 192, 0,   192, 192, 192,   0, 0, 0,   0, 0, 240,   240, 0, 0,   240, 0, 240,
    0, 240, 0,   0, 240, 240,   240, 240, 0,   240, 240, 240};

// The start-up Spectrum colours with a mid grey in place of bright black, so
// overlays have a grey to draw with.
const std::array<uint8_t, 48> GuiPalette = {
    0, 0, 0,   0, 0, 192,   192, 0, 0,   192, 0, 192,   0, 192, 0,   0, 192, 192,
    192, 192, 0,   192, 192, 192,   128, 128, 128,   0, 0, 240,   240, 0, 0,   240, 0, 240,
    0, 240, 0,   0, 240, 240,   240, 240, 0,   240, 240, 240};

TCmosTime LocalCmosTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TCmosTime t;
  t.Seconds = local.tm_sec;
  t.Minutes = local.tm_min;
  t.Hours = local.tm_hour;
  t.DayOfWeek = local.tm_wday;
  t.Day = local.tm_mday;
  t.Month = local.tm_mon + 1;
  t.Year = local.tm_year + 1900;
  return t;
}

TZXHardware::TZXHardware(void* window)
    : SoundChip(FrameTact, window),
      FloppyController([this] { return GlobalTact; }),
      display_(&g_noDisplay),
      input_(&g_noInput),
      tape_(&g_noTape),
      betaDisk_(&floppyPorts_) {
  WindowBuffer.assign(kWindowBufferSize, 0);
  FrameBuffer = WindowBuffer.data();
  SpectrumPalette = DefaultSpectrumPalette;

  Timing = TimingFromPreset(0);
  InitScreenTiming();
  LastRenderedTact = FirstVisibleTact;  // the first frame starts with the beam at its top

  Z80_Create(nullptr, &MemoryFetch, &MemoryRead, &MemoryWrite, &PortRead, &PortWrite,
             &UpdateIntLine, &AfterCpuStep, &DebuggerBreak, this, &CpuHandle);
  cpu_ = CpuHandle.State;

  cpu_->Req.IntVector.store(0xFF);
  TrdosActive = 0;
  for (uint8_t& row : KeyboardRows) row = 0xFF;
  KempstonJoystick = 0;
  BorderLatch = 0;

  // Prime each latch under a model that has it, and leave the Pentagon 128K
  // with the 128 ROM, pages 5, 2, 0 and screen page 5.
  MemoryModel = kProfi1024;
  WritePortDFFD(0);
  MemoryModel = kScorpion1024;
  WritePort1FFD(0);
  MemoryModel = kPentagon128;
  WritePort7FFD(0);

  KempstonMouseButtons = 0;
  KempstonMouseX = KempstonMouseY = 0x80;
  GlobalTact = 0;
  FrameTact = 0;
}

TZXHardware::~TZXHardware() {
  // The run thread must be gone before anything its frame end uses (picture
  // buffer, tables, sound chip, devices) is freed; the members go after this,
  // the disk controller among the first, writing its modified disks back.
  Z80_Destroy(&CpuHandle);
}

void TZXHardware::SetDisplayOutput(IDisplayOutput* display) {
  display_ = display ? display : &g_noDisplay;
}
void TZXHardware::SetInputDevices(IInputDevices* input) { input_ = input ? input : &g_noInput; }
void TZXHardware::SetTapeDeck(ITapeDeck* tape) { tape_ = tape ? tape : &g_noTape; }
void TZXHardware::SetBetaDiskPorts(IBetaDiskPorts* disk) {
  betaDisk_ = disk ? disk : &floppyPorts_;
}

void TZXHardware::ChangeMemoryModel(int32_t model) {
  ChangeWithCpuStopped([&] { SetMemoryModel(model); });
}
void TZXHardware::ChangePort7FFD(uint8_t value) {
  ChangeWithCpuStopped([&] { WritePort7FFD(value); });
}
void TZXHardware::ChangePortDFFD(uint8_t value) {
  ChangeWithCpuStopped([&] { WritePortDFFD(value); });
}
void TZXHardware::ChangePort1FFD(uint8_t value) {
  ChangeWithCpuStopped([&] { WritePort1FFD(value); });
}
void TZXHardware::ChangePortFDFD(uint8_t value) {
  ChangeWithCpuStopped([&] { WritePortFDFD(value); });
}
void TZXHardware::ChangeFrameTact(uint32_t tact) {
  WithCpuStopped([&] { FrameTact = tact; });
}
void TZXHardware::ReloadRoms() {
  ChangeWithCpuStopped([&] { LoadRoms(); });
}

void TZXHardware::RefreshDebugger(bool newStep) {
  TCPUWindow* const window = CpuHandle.Form;
  if (!window || !window->IsVisible() || IsCpuRunning()) return;
  window->RefreshForHost(newStep);
}

std::optional<std::string> TZXHardware::ApplyTiming(const TTimingValues& timing) {
  if (auto error = CheckTimingValues(timing)) return error;
  WithCpuStopped([&] {
    Timing = timing;
    InitScreenTiming();
  });
  return std::nullopt;
}
