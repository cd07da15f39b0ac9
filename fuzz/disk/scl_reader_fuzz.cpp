// The SCL reader on arbitrary bytes, with and without the boot file: it
// loads a whole disk or refuses, and what loads can be written back.
#include <cstdint>
#include <cstdlib>

#include "disk/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  disk::LoadOptions options;
  options.AddBoot = size > 0 && (data[size - 1] & 1);
  disk::LoadResult r = disk::LoadScl({data, size}, options);
  if (r.Ok == r.Disk.Empty()) std::abort();
  if (r.Ok && !disk::SaveScl(r.Disk)) std::abort();
  return 0;
}
