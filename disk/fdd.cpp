// FDD: a label, the geometry and a table of absolute track offsets; each track
// lists its sector IDs with the absolute offset of each sector's data. There
// are no flags: every sector has a data field with a good CRC.
#include <cstring>

#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kLabelSize = 30;
// Files shorter than this are refused as cut short, so the writer never
// produces one.
constexpr size_t kMinFileSize = 4132;
constexpr uint8_t kMaxSizeCode = 6;
constexpr int kMaxFddSides = 2;
constexpr int kMaxFddCylinders = 255;

constexpr char kLabel[] = "OVRIN disk image";
static_assert(sizeof kLabel <= kLabelSize);
constexpr char kMissingSector[] = "***ERROR: SECTOR NOT FOUND!***";

// What a sector takes of a synthesised track by this format's count; the
// reader refuses a track whose sectors take more than a standard track, so
// the writer refuses to store one.
uint64_t SectorNeed(uint64_t dataSize) { return 5 + 12 + dataSize; }

}  // namespace

// Every track of the largest geometry listing 255 sectors with a full
// track's worth of data.
uint64_t LargestFdd(std::span<const uint8_t>) {
  constexpr uint64_t tracks = uint64_t{kMaxFddCylinders} * kMaxFddSides;
  return kHeaderSize + 4 * tracks + tracks * (2 + 8 * 255 + kStandardTrackLength);
}

LoadResult LoadFdd(std::span<const uint8_t> file, const LoadOptions&) {
  if (file.size() < kMinFileSize) return LoadResult::Fail(DiskMessage::Truncated);
  platform::ByteReader header(file);
  uint8_t cylinders = 0, sides = 0;
  header.Skip(kLabelSize);
  header.U8(cylinders);
  header.U8(sides);
  header.Skip(4);
  if (sides == 0 || sides > kMaxFddSides) return LoadResult::Fail(DiskMessage::TooManySides);
  if (cylinders == 0) return LoadResult::Fail(DiskMessage::TooManyCylinders);

  LoadResult result;
  result.Disk = TDiskContents(cylinders, sides);
  std::vector<TSynthSector> sectors;
  for (int c = 0; c < cylinders; ++c) {
    for (int s = 0; s < sides; ++s) {
      uint32_t offset = 0;
      if (!header.U32(offset)) return LoadResult::Fail(DiskMessage::Truncated);
      platform::ByteReader track(file);
      uint8_t zero = 0, count = 0;
      if (!track.Seek(offset) || !track.U8(zero) || !track.U8(count) || !track.Has(8u * count))
        return LoadResult::Fail(DiskMessage::Truncated);
      sectors.assign(count, TSynthSector{});
      uint64_t need = 0;
      for (TSynthSector& sector : sectors) {
        uint32_t dataOffset = 0;
        track.U8(sector.C);
        track.U8(sector.H);
        track.U8(sector.R);
        track.U8(sector.N);
        track.U32(dataOffset);
        if ((sector.N & 31) > kMaxSizeCode) return LoadResult::Fail(DiskMessage::ImpossibleTrack);
        const uint64_t size = 128ull << (sector.N & 31);
        if (uint64_t{dataOffset} + size > file.size()) return LoadResult::Fail(DiskMessage::Truncated);
        sector.HasData = true;
        sector.Data = file.subspan(dataOffset, static_cast<size_t>(size));
        need += SectorNeed(size);
      }
      TTrack built;
      if (need > kStandardTrackLength ||
          !SynthesizeTrack(sectors, static_cast<uint32_t>(need), built))
        return LoadResult::Fail(DiskMessage::ImpossibleTrack);
      result.Disk.SetTrack(c, s, std::move(built.Data), std::move(built.Marks));
    }
  }
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveFdd(const TDiskContents& disk) {
  if (disk.Empty() || disk.Cylinders() > kMaxFddCylinders || disk.Sides() > kMaxFddSides)
    return std::nullopt;
  const size_t tracks = static_cast<size_t>(disk.Cylinders()) * disk.Sides();
  std::vector<uint8_t> out(kHeaderSize + 4 * tracks, 0);
  std::memcpy(out.data(), kLabel, sizeof kLabel);
  out[30] = static_cast<uint8_t>(disk.Cylinders());
  out[31] = static_cast<uint8_t>(disk.Sides());
  auto put32 = [&](size_t at, uint64_t v) {
    for (int k = 0; k < 4; ++k) out[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
  };
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      const TrackIds walk = WalkTrackIds(disk, c, s, 255);
      if (walk.More) return std::nullopt;
      put32(kHeaderSize + 4 * (static_cast<size_t>(c) * disk.Sides() + static_cast<size_t>(s)), out.size());
      out.push_back(0);
      out.push_back(static_cast<uint8_t>(walk.Ids.size()));
      const size_t records = out.size();
      out.resize(records + 8 * walk.Ids.size(), 0);
      uint64_t need = 0;
      for (size_t k = 0; k < walk.Ids.size(); ++k) {
        const TSectorInfo& id = walk.Ids[k];
        // As many bytes as the reader takes for this size code.
        if ((id.IdByte(3) & 31) > kMaxSizeCode) return std::nullopt;
        const size_t size = size_t{128} << (id.IdByte(3) & 31);
        // Fields laid over one another take more than the track as sector
        // lists count it.
        need += SectorNeed(size);
        if (out.size() > 0xFFFFFFFFu || need > kStandardTrackLength) return std::nullopt;
        const size_t record = records + 8 * k;
        for (int b = 0; b < 4; ++b) out[record + static_cast<size_t>(b)] = id.IdByte(b);
        put32(record + 4, out.size());
        if (id.DataFound) {
          for (uint32_t b = 0; b < size; ++b) out.push_back(id.DataByte(b));
        } else {
          const size_t at = out.size();
          out.resize(at + size, 0);
          std::memcpy(out.data() + at, kMissingSector, sizeof kMissingSector);
        }
      }
    }
  }
  if (out.size() < kMinFileSize) out.resize(kMinFileSize, 0);
  return out;
}

}  // namespace disk
