// TRD: a flat dump of every 256-byte sector, cylinder after cylinder, side 0
// then side 1, sectors 1 to 16.
#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {
constexpr size_t kCylinderBytes = 2 * 16 * 256;
}

// 256 cylinders, the most the disk model holds.
uint64_t LargestTrd(std::span<const uint8_t>) { return uint64_t{kMaxCylinders} * kCylinderBytes; }

LoadResult LoadTrd(std::span<const uint8_t> file, const LoadOptions&) {
  if (file.empty()) return LoadResult::Fail(DiskMessage::Truncated);
  if (file.size() % kCylinderBytes != 0) return LoadResult::Fail(DiskMessage::UnknownFormat);
  const size_t cylinders = file.size() / kCylinderBytes;
  if (cylinders > static_cast<size_t>(kMaxCylinders))
    return LoadResult::Fail(DiskMessage::TooManyCylinders);

  LoadResult result;
  result.Disk = TDiskContents(static_cast<int>(cylinders), 2);
  platform::ByteReader reader(file);
  for (int c = 0; c < result.Disk.Cylinders(); ++c) {
    for (int s = 0; s < 2; ++s) {
      std::span<const uint8_t> sectors;
      if (!reader.View(16 * 256, sectors)) return LoadResult::Fail(DiskMessage::Truncated);
      TTrack t = BuildTrdosTrack(c, sectors);
      result.Disk.SetTrack(c, s, std::move(t.Data), std::move(t.Marks));
    }
  }
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveTrd(const TDiskContents& disk) {
  if (disk.Empty()) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(disk.Cylinders()) * disk.Sides() * 16 * 256);
  const auto filler = FillerSector();
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      for (int r = 1; r <= 16; ++r) {
        TSectorInfo info;
        if (FindSector(disk, c, s, static_cast<uint8_t>(r), info, 0)) {
          // The first 256 bytes whatever the sector's size, read around the ring.
          for (uint32_t k = 0; k < 256; ++k) out.push_back(info.DataByte(k));
        } else {
          out.insert(out.end(), filler.begin(), filler.end());
        }
      }
    }
  }
  return out;
}

}  // namespace disk
