// libFuzzer entry point for one reader, chosen at compile time. A reader
// must either refuse the input or give a snapshot that the loader can apply
// without further checks.
#include <algorithm>
#include <cstdint>
#include <span>
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

// Formats of fixed lengths (.SNA, .SIT, .ZX, the older .SP) are larger than
// the inputs libFuzzer makes, so random inputs would only ever meet the
// length check. The first byte picks one of the lengths the reader takes
// (or none); the rest of the input is laid at the start and around the end
// of a zero-filled file of that length, where the headers and trailers lie.
[[maybe_unused]] std::vector<uint8_t> ShapeTo(std::span<const uint8_t> in,
                                             std::initializer_list<size_t> sizes) {
  if (in.empty()) return {};
  const size_t pick = in[0] % (sizes.size() + 1);
  in = in.subspan(1);
  if (pick == sizes.size()) return std::vector<uint8_t>(in.begin(), in.end());
  const size_t size = sizes.begin()[pick] + (in.empty() ? 0 : in[0] % 3) - 1;
  std::vector<uint8_t> out(size);
  const size_t head = std::min(in.size(), size);
  std::copy(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(head), out.begin());
  const size_t tail = std::min(in.size(), size - head);
  std::copy(in.end() - static_cast<std::ptrdiff_t>(tail), in.end(),
            out.end() - static_cast<std::ptrdiff_t>(tail));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
#if defined(FUZZ_READER_Z80)
  CheckSnapshot(snapshot::ReadZ80(file));
#elif defined(FUZZ_READER_SNA)
  const auto shaped = ShapeTo(file, {49179, 49179 + 4 + 5 * 16384, 49179 + 4 + 6 * 16384});
  CheckSnapshot(snapshot::ReadSNA(shaped));
#elif defined(FUZZ_READER_SIT)
  const auto shaped = ShapeTo(file, {28 + 4 * 16384});
  CheckSnapshot(snapshot::ReadSIT(shaped));
#elif defined(FUZZ_READER_SP)
  const auto shaped = ShapeTo(file, {38 + 49152, 32 + 49152});
  CheckSnapshot(snapshot::ReadSP(shaped));
#elif defined(FUZZ_READER_ZX)
  const auto shaped = ShapeTo(file, {132 + 49152 + 202});
  CheckSnapshot(snapshot::ReadZX(shaped));
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
