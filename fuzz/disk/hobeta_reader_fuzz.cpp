// The HOBETA reader on arbitrary bytes, onto a fresh disk and onto the disk
// it built: it adds the file whole or refuses, leaving the disk as it was.
#include <cstdint>
#include <cstdlib>

#include "disk/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  disk::LoadResult first = disk::LoadHobeta({data, size}, {});
  if (first.Ok == first.Disk.Empty()) std::abort();
  if (!first.Ok) return 0;
  disk::LoadOptions onto;
  onto.Existing = &first.Disk;
  const disk::LoadResult second = disk::LoadHobeta({data, size}, onto);
  if (second.Ok == second.Disk.Empty()) std::abort();
  return 0;
}
