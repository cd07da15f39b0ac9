// The TD0 reader on arbitrary bytes: it loads a whole disk or refuses, and
// what loads is written back and reads again as the same file. The header
// and comment CRCs are made to match so that the search gets past them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "disk/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  if (size >= 12) {
    const uint16_t crc = disk::Td0Crc16(std::span(file).first(10));
    file[10] = static_cast<uint8_t>(crc), file[11] = static_cast<uint8_t>(crc >> 8);
    const size_t comment = 8u + (size >= 16 ? (file[14] | file[15] << 8) : 0u);
    if ((file[7] & 0x80) && file[0] == 'T' && 14 + comment <= size) {
      const uint16_t c = disk::Td0Crc16(std::span(file).subspan(14, comment));
      file[12] = static_cast<uint8_t>(c), file[13] = static_cast<uint8_t>(c >> 8);
    }
  }
  disk::LoadResult r = disk::LoadTd0(file, {});
  if (r.Ok == r.Disk.Empty()) std::abort();
  if (!r.Ok) return 0;
  // Written back, every track of the geometry is stored, and each round trip
  // synthesises every track twice more. The round trip is checked up to two
  // sides of 256 cylinders, the most a drive has; larger made-up geometries
  // still go through the reader above.
  if (r.Disk.Cylinders() * r.Disk.Sides() > 512) return 0;
  const auto saved = disk::SaveTd0(r.Disk);
  if (!saved) return 0;
  const disk::LoadResult again = disk::LoadTd0(*saved, {});
  if (!again.Ok || disk::SaveTd0(again.Disk) != saved) std::abort();
  return 0;
}
