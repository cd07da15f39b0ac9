// libFuzzer entry point for one reader, chosen at compile time. A reader
// must either refuse the input or give a snapshot that the loader can apply
// without further checks.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "machine/snapshot_format.h"
#include "machine/tape_image.h"
#include "machine/tape_player.h"

namespace {

[[maybe_unused]] void CheckSnapshot(const snapshot::ReadResult& r) {
  if (!r.ok()) {
    if (r.error.text.empty()) std::abort();
    return;
  }
  for (const auto& p : r.snapshot->pages) {
    if (p.bytes.size() != snapshot::kPageSize || p.ram_page > 7) std::abort();
  }
  if (r.snapshot->patch && r.snapshot->patch->start + r.snapshot->patch->bytes.size() > 65536) {
    std::abort();
  }
}

[[maybe_unused]] void WriteNothing(uint32_t, uint8_t, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
#if defined(FUZZ_READER_Z80)
  CheckSnapshot(snapshot::ReadZ80(file));
#elif defined(FUZZ_READER_SNA)
  CheckSnapshot(snapshot::ReadSNA(file));
#elif defined(FUZZ_READER_SIT)
  CheckSnapshot(snapshot::ReadSIT(file));
#elif defined(FUZZ_READER_SP)
  CheckSnapshot(snapshot::ReadSP(file));
#elif defined(FUZZ_READER_ZX)
  CheckSnapshot(snapshot::ReadZX(file));
#elif defined(FUZZ_READER_TAPE)
  auto r = tape::ReadTapeImage(std::vector<uint8_t>(data, data + size));
  if (!r.ok()) return 0;
  // Play the first blocks through the wave and the trap: every byte they
  // touch must lie inside the image.
  tape::TapePlayer player;
  player.Open(std::move(*r.image), 0);
  uint64_t t = 0;
  for (int i = 0; i < 4000; ++i) {
    t += (i % 97 == 0) ? 7000000 : (i % 7 == 0) ? 3100 : 400;
    player.TapeGetEarBit(t);
    if (i % 500 == 0) {
      tape::TrapRegisters regs{tape::kTrapAddress, static_cast<uint16_t>(player.BlockLength() - 2),
                               0x8000, 0, 0};
      player.TapeTrapLoad(regs, WriteNothing, nullptr);
    }
  }
#endif
  return 0;
}
