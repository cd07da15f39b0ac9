// A copy of the machine's paging, clock and sound-chip state for the state
// windows. The windows run on the GUI thread while the run thread changes
// these fields without locks, so they never read the fields themselves: the
// thread that steps the processor copies them into a slot at each frame end
// while some window watches (as the picture is handed over), and with the
// processor stopped the GUI thread copies them itself.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

// What one 16 KB window of the address space shows.
struct TMemorySource {
  enum Kind : uint8_t { kNone, kRom, kRam };
  Kind kind = kNone;
  uint8_t number = 0;  // ROM slot 0-3 or RAM page 0-63

  friend bool operator==(const TMemorySource&, const TMemorySource&) = default;
};

struct TMachineState {
  uint8_t Port7FFD = 0;
  uint8_t PortDFFD = 0;
  uint8_t Port1FFD = 0;
  uint8_t PortFDFD = 0;
  uint32_t ExtendedPage = 0;
  int32_t MemoryModel = 0;
  // #0000 (the ROM window), #4000, #8000, #C000.
  std::array<TMemorySource, 4> Windows{};
  // RAM page numbers of the picture sources; -1 for a pointer to no RAM page.
  int32_t ScreenPage = -1;
  int32_t HiResBitmapPage = -1;
  int32_t HiResAttrPage = -1;
  uint8_t TrdosActive = 0;
  uint8_t ExtRomActive = 0;
  uint32_t FrameTact = 0;
  uint64_t GlobalTact = 0;
  uint32_t FrameLength = 0;  // the frame clock's period (timeLoopTime)
  // The sound chip's registers 0-15 as the emulated program would read them,
  // and the selected register number.
  std::array<uint8_t, 16> AyRegisters{};
  uint32_t AySelectedRegister = 0;
};

// The hand-over between the thread that steps the processor and the GUI.
class TMachineStateSlot {
 public:
  // GUI thread: a state window starts or stops watching. While nobody
  // watches, the frame end copies nothing.
  void Watch();
  void Unwatch();
  bool Watched() const { return watchers_.load(std::memory_order_relaxed) > 0; }

  // Stepping thread. Never waits: while the GUI is reading, this frame's
  // copy is dropped and the next frame's goes in.
  void Put(const TMachineState& state);
  // GUI thread: the newest copy; false when none arrived since watching began.
  bool Get(TMachineState& out) const;

 private:
  std::atomic<int> watchers_{0};
  mutable std::mutex mutex_;
  TMachineState latest_;
  bool filled_ = false;
};
