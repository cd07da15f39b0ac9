// The FDD reader on arbitrary bytes: it loads a whole disk or refuses, and
// what loads is written back and reads again as the same file. Short inputs
// are also tried padded with zeros to the least length the reader takes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "disk/formats.h"

namespace {

void Check(std::span<const uint8_t> file) {
  disk::LoadResult r = disk::LoadFdd(file, {});
  if (r.Ok == r.Disk.Empty()) std::abort();
  if (!r.Ok) return;
  // Written back, every track of the geometry is stored: two disks of
  // thousands of tracks at once would pass the memory limit.
  if (r.Disk.Cylinders() * r.Disk.Sides() > 2048) return;
  const auto saved = disk::SaveFdd(r.Disk);
  if (!saved) return;
  const disk::LoadResult again = disk::LoadFdd(*saved, {});
  if (!again.Ok || disk::SaveFdd(again.Disk) != saved) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check({data, size});
  if (size < 4132) {
    std::vector<uint8_t> padded(data, data + size);
    padded.resize(4132, 0);
    Check(padded);
  }
  return 0;
}
