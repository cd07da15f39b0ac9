// The TRD reader on arbitrary bytes: it loads a whole disk or refuses.
#include <cstdint>
#include <cstdlib>

#include "disk/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  disk::LoadResult r = disk::LoadTrd({data, size}, {});
  if (r.Ok == r.Disk.Empty()) std::abort();
  if (r.Ok && !disk::SaveTrd(r.Disk)) std::abort();
  return 0;
}
