// Writes the fuzz targets' starting corpus into the build tree: for every
// target a few small valid files made by our own writers (or laid out by
// hand where the program has no writer), and the largest input the target
// is given, from its format's largest file. Nothing of this is committed.
//
//   fuzz_make_seeds <directory>
// makes <directory>/<target>/seed-N and <directory>/<target>.max_len.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/formats.h"
#include "machine/snapshot_format.h"
#include "machine/tape_image.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Inputs past this are not tried even where the format allows more: no real
// disk image comes near it, and libFuzzer keeps a buffer of the largest size.
constexpr uint64_t kFuzzLengthCap = 8u << 20;

struct Target {
  std::string name;
  uint64_t largest;
  std::vector<Bytes> seeds;
};

// A HOBETA file of one sector: the 15 header bytes, their checksum, the data.
Bytes HobetaFile() {
  Bytes f = {'s', 'e', 'e', 'd', ' ', ' ', ' ', ' ', 'C', 0x00, 0x80, 0x00, 0x01, 0x00, 0x01};
  unsigned sum = 0;
  for (uint8_t b : f) sum += b;
  const uint16_t check = static_cast<uint16_t>((sum & 0xFFFF) * 257 + 105);
  f.push_back(static_cast<uint8_t>(check));
  f.push_back(static_cast<uint8_t>(check >> 8));
  for (int k = 0; k < 256; ++k) f.push_back(static_cast<uint8_t>(k));
  return f;
}

// Small disks: a blank one of two cylinders and one with a file on it.
std::vector<disk::TDiskContents> SmallDisks() {
  std::vector<disk::TDiskContents> disks{disk::FormatTrdos(2, 2), disk::FormatTrdos(1, 1)};
  disk::LoadOptions onto;
  disk::TDiskContents withFile = disk::FormatTrdos(2, 2);
  onto.Existing = &withFile;
  const Bytes hobeta = HobetaFile();
  disk::LoadResult r = disk::LoadHobeta(hobeta, onto);
  if (r.Ok) disks.push_back(std::move(r.Disk));
  return disks;
}

template <typename Save>
std::vector<Bytes> Saved(Save save) {
  std::vector<Bytes> out;
  for (const auto& d : SmallDisks())
    if (auto bytes = save(d)) out.push_back(std::move(*bytes));
  return out;
}

Bytes Z80File(bool is128) {
  static std::array<std::array<uint8_t, snapshot::kPageSize>, 8> ram{};
  for (size_t p = 0; p < ram.size(); ++p)
    for (size_t k = 0; k < ram[p].size(); k += 97) ram[p][k] = static_cast<uint8_t>(p + k);
  snapshot::Z80SaveState st;
  st.regs.PC = 0x8000;
  st.regs.SP = 0xFF00;
  st.port7ffd = is128 ? 0x10 : 0x30;
  for (size_t p = 0; p < ram.size(); ++p) st.ram[p] = ram[p].data();
  return snapshot::BuildZ80File(st, nullptr);
}

// The shaped snapshot targets take a length choice, then the bytes laid at
// the start of a file of that length.
Bytes Shaped(uint8_t pick, Bytes head) {
  head.insert(head.begin(), pick);
  return head;
}

Bytes TapFile() {
  Bytes header = {0x00, 0x03, 's', 'e', 'e', 'd', ' ', ' ', ' ', ' ', ' ', ' ', 0x04, 0x00, 0x00, 0x80, 0x00, 0x80};
  Bytes data = {0xFF, 1, 2, 3, 4};
  Bytes out;
  for (Bytes* block : {&header, &data}) {
    uint8_t sum = 0;
    for (uint8_t b : *block) sum ^= b;
    block->push_back(sum);
    out.push_back(static_cast<uint8_t>(block->size()));
    out.push_back(static_cast<uint8_t>(block->size() >> 8));
    out.insert(out.end(), block->begin(), block->end());
  }
  return out;
}

Bytes TzxFile() {
  const Bytes tap = TapFile();
  Bytes out = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x30, 4, 's', 'e', 'e', 'd'};
  // Each TAP block becomes a standard-speed block with a pause of 1000 ms.
  for (size_t at = 0; at + 2 <= tap.size();) {
    const size_t len = tap[at] | tap[at + 1] << 8;
    out.insert(out.end(), {0x10, 0xE8, 0x03});
    out.insert(out.end(), tap.begin() + static_cast<std::ptrdiff_t>(at),
               tap.begin() + static_cast<std::ptrdiff_t>(at + 2 + len));
    at += 2 + len;
  }
  return out;
}

std::vector<Target> Targets() {
  const std::span<const uint8_t> none;
  return {
      {"fuzz_trd_reader", disk::LargestTrd(none), Saved(disk::SaveTrd)},
      {"fuzz_scl_reader", disk::LargestScl(none), Saved(disk::SaveScl)},
      {"fuzz_hobeta_reader", disk::LargestHobeta(none), {HobetaFile()}},
      {"fuzz_fdi_reader", disk::LargestFdi(none), Saved(disk::SaveFdi)},
      {"fuzz_fdd_reader", disk::LargestFdd(none), Saved(disk::SaveFdd)},
      {"fuzz_udi_reader", disk::LargestUdi(none), Saved(disk::SaveUdi)},
      {"fuzz_td0_reader", disk::LargestTd0(none), Saved(disk::SaveTd0)},
      {"fuzz_snapshot_z80", snapshot::kLargestZ80, {Z80File(false), Z80File(true)}},
      // The shaped targets need only the header bytes and a length choice.
      {"fuzz_snapshot_sna", snapshot::kLargestSna + 1,
       {Shaped(0, Bytes(27, 0x11)), Shaped(1, Bytes(27, 0x22)), Shaped(2, Bytes(27, 0x33))}},
      {"fuzz_snapshot_sit", snapshot::kLargestSit + 1, {Shaped(0, Bytes(28, 0x44))}},
      {"fuzz_snapshot_sp", snapshot::kLargestSp + 1,
       {Shaped(0, Bytes{'S', 'P', 0x00, 0x1B, 0x00, 0x40}), Shaped(1, Bytes(32, 0x55))}},
      {"fuzz_snapshot_zx", snapshot::kLargestZx + 1, {Shaped(0, Bytes(132, 0x66))}},
      {"fuzz_snapshot_tape", tape::kLargestTapeFile, {TapFile(), TzxFile()}},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  for (const Target& t : Targets()) {
    fs::create_directories(root / t.name);
    for (size_t i = 0; i < t.seeds.size(); ++i) {
      std::ofstream out(root / t.name / ("seed-" + std::to_string(i)), std::ios::binary);
      out.write(reinterpret_cast<const char*>(t.seeds[i].data()),
                static_cast<std::streamsize>(t.seeds[i].size()));
    }
    std::ofstream(root / (t.name + ".max_len")) << std::min(t.largest, kFuzzLengthCap) << "\n";
  }
  return 0;
}
