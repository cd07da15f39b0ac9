#include "machine/state_record.h"

#include "machine/hardware.h"

void TMachineStateSlot::Watch() {
  if (watchers_.fetch_add(1) == 0) {
    // A copy left from an earlier watch may be long out of date.
    std::lock_guard<std::mutex> lock(mutex_);
    filled_ = false;
  }
}

void TMachineStateSlot::Unwatch() {
  int n = watchers_.load();
  while (n > 0 && !watchers_.compare_exchange_weak(n, n - 1)) {
  }
}

void TMachineStateSlot::Put(const TMachineState& state) {
  std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  latest_ = state;
  filled_ = true;
}

bool TMachineStateSlot::Get(TMachineState& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!filled_) return false;
  out = latest_;
  return true;
}

namespace {

int32_t RamPageNumber(const TZXHardware& m, const uint8_t* p) {
  const uint8_t* first = m.RamPages[0];
  const uint8_t* end = first + sizeof m.RamPages;
  if (p < first || p >= end) return -1;
  return static_cast<int32_t>((p - first) / static_cast<ptrdiff_t>(TZXHardware::kPageSize));
}

TMemorySource SourceOf(const TZXHardware& m, const uint8_t* p) {
  for (uint8_t slot = 0; slot < 4; ++slot)
    if (p == m.RomSlots[slot]) return {TMemorySource::kRom, slot};
  const int32_t page = RamPageNumber(m, p);
  if (page >= 0) return {TMemorySource::kRam, static_cast<uint8_t>(page)};
  return {};
}

}  // namespace

TMachineState TZXHardware::CaptureState() {
  TMachineState s;
  s.Port7FFD = Port7FFD;
  s.PortDFFD = PortDFFD;
  s.Port1FFD = Port1FFD;
  s.PortFDFD = PortFDFD;
  s.ExtendedPage = ExtendedPage;
  s.MemoryModel = MemoryModel;
  for (size_t w = 0; w < 4; ++w) s.Windows[w] = SourceOf(*this, Windows[w]);
  s.ScreenPage = RamPageNumber(*this, ScreenPage);
  s.HiResBitmapPage = RamPageNumber(*this, HiResBitmapPage);
  s.HiResAttrPage = RamPageNumber(*this, HiResAttrPage);
  s.TrdosActive = TrdosActive;
  s.ExtRomActive = ExtRomActive;
  s.FrameTact = FrameTact;
  s.GlobalTact = GlobalTact;
  s.FrameLength = Timing.timeLoopTime;
  for (int r = 0; r < 16; ++r) s.AyRegisters[static_cast<size_t>(r)] = SoundChip.ReadRegisterValue(r);
  s.AySelectedRegister = SoundChip.SelectedRegister;
  return s;
}

void TZXHardware::PublishState() { StateSlot.Put(CaptureState()); }

bool TZXHardware::ReadState(TMachineState& out) {
  // Only this thread starts the processor, so once it is seen stopped (and
  // no run-control call is under way) nothing else writes the fields.
  if (!IsCpuRunning()) {
    out = CaptureState();
    return true;
  }
  return StateSlot.Get(out);
}
