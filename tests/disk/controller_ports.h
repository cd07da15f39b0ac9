// Drives a floppy controller through its ports as TR-DOS does, on a clock
// the test moves by hand.
#pragma once

#include <cstdint>
#include <vector>

#include "disk/vg93.h"

namespace disk_test {

constexpr uint8_t kCmd = 0x1F, kTrack = 0x3F, kSector = 0x5F, kData = 0x7F, kLatch = 0xFF;

class ControllerPorts {
 public:
  uint64_t now = 1000;
  disk::T1818VG93 fdc{[this] { return now; }};

  // Drive, side, reset line high.
  void Select(int drive, int side) {
    fdc.WriteRegister(kLatch, static_cast<uint8_t>(0x08 | drive | (side == 0 ? 0x10 : 0)));
  }
  void Seek(int cylinder) {
    fdc.WriteRegister(kData, static_cast<uint8_t>(cylinder));
    fdc.WriteRegister(kCmd, 0x18);
    now = fdc.EndTact + 1;
  }
  // Waits for DRQ (or the end) as TR-DOS does, polling #FF.
  bool WaitDrq() {
    for (int k = 0; k < 100000; ++k) {
      const uint8_t lines = fdc.ReadRegister(kLatch);
      if (lines & 0x40) return true;
      if (lines & 0x80) return false;
      now += 112;
    }
    return false;
  }
  // A track command's end shows DRQ once more, so track reads count bytes.
  std::vector<uint8_t> ReadN(size_t n) {
    std::vector<uint8_t> out;
    while (out.size() < n && WaitDrq()) out.push_back(fdc.ReadRegister(kData));
    return out;
  }
  std::vector<uint8_t> ReadAll() {
    std::vector<uint8_t> out;
    while (WaitDrq()) out.push_back(fdc.ReadRegister(kData));
    return out;
  }
  // Hands over bytes while the controller asks for them; the count taken.
  size_t WriteAll(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size() && WaitDrq()) fdc.WriteRegister(kData, bytes[sent++]);
    return sent;
  }
  // Write Sector of sector r on the selected side of the head's cylinder.
  void WriteSector(uint8_t r, const std::vector<uint8_t>& bytes) {
    fdc.WriteRegister(kSector, r);
    fdc.WriteRegister(kCmd, 0xA0);
    WriteAll(bytes);
    now = fdc.EndTact + 1;
    fdc.ReadRegister(kLatch);
  }
  // Write Track with a stream, then waits for the command's end.
  void WriteTrack(const std::vector<uint8_t>& stream) {
    fdc.WriteRegister(kCmd, 0xF0);
    WriteAll(stream);
    now = fdc.EndTact + 1;
    fdc.ReadRegister(kLatch);
  }
};

// The byte stream TR-DOS hands to Write Track to format one track: sectors
// in the given order, each ID at the usual spacing for 256 data bytes. A
// size code other than 1 lays the IDs of larger sectors at that spacing,
// as a copier does for a protected layout, each data field overlapping the
// IDs after it.
inline std::vector<uint8_t> FormatStream(int cylinder, const std::vector<int>& order, uint8_t filler,
                                         uint8_t sizeCode = 1) {
  std::vector<uint8_t> v;
  auto put = [&](uint8_t b, int n) { v.insert(v.end(), static_cast<size_t>(n), b); };
  for (int r : order) {
    put(0x4E, 10), put(0x00, 12), put(0xF5, 3), put(0xFE, 1);
    v.push_back(static_cast<uint8_t>(cylinder)), v.push_back(0), v.push_back(static_cast<uint8_t>(r));
    v.push_back(sizeCode);
    put(0xF7, 1), put(0x4E, 22), put(0x00, 12), put(0xF5, 3), put(0xFB, 1), put(filler, 256);
    put(0xF7, 1), put(0x4E, 60);
  }
  put(0x4E, 200);  // more than enough: the track ends at its own length
  return v;
}

// Fifteen sectors, then an ID whose size code 7 asks for 16 KB with a data
// field after it: a field larger than any track.
inline std::vector<uint8_t> OversizedFieldStream(int cylinder) {
  auto v = FormatStream(cylinder, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, 0xE5);
  v.erase(v.end() - 200, v.end());
  const std::vector<uint8_t> huge = {0x4E, 0x4E, 0, 0, 0, 0xF5, 0xF5, 0xF5, 0xFE, static_cast<uint8_t>(cylinder),
                                     0, 16, 7, 0xF7, 0x4E, 0x4E, 0, 0, 0, 0xF5, 0xF5, 0xF5, 0xFB};
  v.insert(v.end(), huge.begin(), huge.end());
  v.resize(v.size() + 1000, 0x33);
  return v;
}

}  // namespace disk_test
