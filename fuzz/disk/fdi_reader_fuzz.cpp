// The FDI reader on arbitrary bytes: it loads a whole disk or refuses, and
// what loads is written back and reads again as the same file.
#include <cstdint>
#include <cstdlib>

#include "disk/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  disk::LoadResult r = disk::LoadFdi({data, size}, {});
  if (r.Ok == r.Disk.Empty()) std::abort();
  if (!r.Ok) return 0;
  // Written back, every track of the geometry is stored: two disks of
  // thousands of tracks at once would pass the memory limit.
  if (r.Disk.Cylinders() * r.Disk.Sides() > 2048) return 0;
  const auto saved = disk::SaveFdi(r.Disk);
  if (!saved) return 0;
  const disk::LoadResult again = disk::LoadFdi(*saved, {});
  if (!again.Ok || disk::SaveFdi(again.Disk) != saved) std::abort();
  return 0;
}
