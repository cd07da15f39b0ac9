// FDI: a header, one header per track listing its sectors (ID, flags and the
// offset of the data), a description text and the data area. The reader
// synthesises raw tracks from the lists; the writer walks the raw tracks.
#include <algorithm>
#include <cstring>

#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr uint8_t kDeletedFlag = 0x80;  // data mark F8 instead of FB
constexpr uint8_t kNoDataFlag = 0x40;   // ID without a data field
constexpr uint8_t kCrcFlags = 0x3F;     // data CRC good, one bit per size 128..4096
constexpr size_t kHeaderSize = 14;
constexpr size_t kTrackHeaderSize = 7;
constexpr size_t kDescriptionSize = 106;
// Data fields larger than this never fit a 6250-byte track.
constexpr uint8_t kMaxSizeCode = 6;

constexpr char kDescription[] =
    "FDI image written by the OVRIN ZX Spectrum emulator from its raw-track disk image engine";
static_assert(sizeof kDescription <= kDescriptionSize);

// What a sector takes of a synthesised track by this format's count; the
// reader refuses a track whose sectors take more than a standard track, so
// the writer refuses to store one.
uint64_t SectorNeed(bool hasData, uint64_t dataSize) { return 5 + 8 + (hasData ? 4 + dataSize : 0); }

}  // namespace

// The header, its extra part and the description, then for every track of
// the geometry the header says: its record with 255 sectors and a full
// track's worth of data.
uint64_t LargestFdi(std::span<const uint8_t> head) {
  uint64_t tracks = uint64_t{kMaxCylinders} * kMaxSides;
  if (head.size() >= 8) tracks = uint64_t(head[4] | head[5] << 8) * uint64_t(head[6] | head[7] << 8);
  return kHeaderSize + 3 * 0xFFFFull + tracks * (kTrackHeaderSize + 255 * 7 + kStandardTrackLength);
}

LoadResult LoadFdi(std::span<const uint8_t> file, const LoadOptions&) {
  platform::ByteReader reader(file);
  if (file.size() < kHeaderSize) return LoadResult::Fail(DiskMessage::Truncated);
  uint8_t magic[3], protect = 0;
  uint16_t cylinders = 0, heads = 0, textOffset = 0, dataOffset = 0, extra = 0;
  reader.Bytes(magic, 3);
  reader.U8(protect);
  reader.U16(cylinders);
  reader.U16(heads);
  reader.U16(textOffset);
  reader.U16(dataOffset);
  reader.U16(extra);
  if (std::memcmp(magic, "FDI", 3) != 0) return LoadResult::Fail(DiskMessage::FdiFormat);
  if (cylinders == 0 || cylinders > kMaxCylinders)
    return LoadResult::Fail(DiskMessage::TooManyCylinders);
  if (heads == 0 || heads > kMaxSides) return LoadResult::Fail(DiskMessage::TooManySides);
  if (uint64_t{cylinders} * heads * kTrackHeaderSize + extra + kHeaderSize > file.size() ||
      !reader.Skip(extra))
    return LoadResult::Fail(DiskMessage::Truncated);

  LoadResult result;
  result.Disk = TDiskContents(cylinders, heads);
  std::vector<TSynthSector> sectors;
  for (int c = 0; c < cylinders; ++c) {
    for (int s = 0; s < heads; ++s) {
      uint32_t trackOffset = 0;
      uint16_t reserved = 0;
      uint8_t count = 0;
      if (!reader.U32(trackOffset) || !reader.U16(reserved) || !reader.U8(count))
        return LoadResult::Fail(DiskMessage::Truncated);
      const uint64_t trackStart = uint64_t{dataOffset} + trackOffset;
      if (trackStart > file.size()) return LoadResult::Fail(DiskMessage::Truncated);
      sectors.assign(count, TSynthSector{});
      uint64_t need = 0;
      for (TSynthSector& sector : sectors) {
        uint8_t flags = 0;
        uint16_t sectorOffset = 0;
        if (!reader.U8(sector.C) || !reader.U8(sector.H) || !reader.U8(sector.R) ||
            !reader.U8(sector.N) || !reader.U8(flags) || !reader.U16(sectorOffset))
          return LoadResult::Fail(DiskMessage::Truncated);
        // A sector without a data field never uses its size code or offset.
        if (flags & kNoDataFlag) {
          need += SectorNeed(false, 0);
          continue;
        }
        if ((sector.N & 31) > kMaxSizeCode) return LoadResult::Fail(DiskMessage::ImpossibleTrack);
        const uint64_t size = 128ull << (sector.N & 31);
        const uint64_t start = trackStart + sectorOffset;
        if (start + size > file.size()) return LoadResult::Fail(DiskMessage::Truncated);
        sector.HasData = true;
        sector.DataMark = (flags & kDeletedFlag) ? 0xF8 : 0xFB;
        sector.Data = file.subspan(static_cast<size_t>(start), static_cast<size_t>(size));
        sector.DataCrcGood = (flags & kCrcFlags) != 0;
        need += SectorNeed(true, size);
      }
      TTrack track;
      if (need > kStandardTrackLength ||
          !SynthesizeTrack(sectors, static_cast<uint32_t>(need), track))
        return LoadResult::Fail(DiskMessage::ImpossibleTrack);
      result.Disk.SetTrack(c, s, std::move(track.Data), std::move(track.Marks));
    }
  }
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveFdi(const TDiskContents& disk) {
  if (disk.Empty()) return std::nullopt;
  std::vector<uint8_t> headers;
  std::vector<uint8_t> data;
  auto put16 = [&](uint32_t v) {
    headers.push_back(static_cast<uint8_t>(v));
    headers.push_back(static_cast<uint8_t>(v >> 8));
  };
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      // The count is one byte, offsets within a track 16 bits and track
      // offsets 32 bits: a track beyond them cannot be stored.
      const TrackIds walk = WalkTrackIds(disk, c, s, 255);
      if (walk.More || data.size() > 0xFFFFFFFFu) return std::nullopt;
      const uint32_t trackOffset = static_cast<uint32_t>(data.size());
      put16(trackOffset);
      put16(trackOffset >> 16);
      put16(0);
      headers.push_back(static_cast<uint8_t>(walk.Ids.size()));
      uint64_t sectorOffset = 0;
      uint64_t need = 0;
      for (const TSectorInfo& id : walk.Ids) {
        // A data field that neither its track nor any track of this format
        // can hold is read by no controller: its ID is kept as one without
        // data, and the rest of the disk with it.
        const bool hasData =
            id.DataFound && (id.DataFits || SectorNeed(true, id.DataSize) <= kStandardTrackLength);
        need += SectorNeed(hasData, id.DataSize);
        uint8_t flags = kNoDataFlag;
        if (hasData) {
          if ((id.IdByte(3) & 31) > kMaxSizeCode) return std::nullopt;
          flags = id.DataMark == 0xF8 ? kDeletedFlag : 0;
          if (id.DataCrcOk) flags |= static_cast<uint8_t>((id.DataSize >> 7) & kCrcFlags);
        }
        // Fields laid over one another (a copier's protected layout) take
        // more than the track as sector lists count it.
        if (sectorOffset > 0xFFFF || need > kStandardTrackLength) return std::nullopt;
        for (int k = 0; k < 4; ++k) headers.push_back(id.IdByte(k));
        headers.push_back(flags);
        put16(static_cast<uint32_t>(sectorOffset));
        if (hasData) {
          for (uint32_t k = 0; k < id.DataSize; ++k) data.push_back(id.DataByte(k));
          sectorOffset += id.DataSize;
        }
      }
    }
  }
  const size_t textOffset = kHeaderSize + headers.size();
  const size_t dataOffset = textOffset + kDescriptionSize;
  if (dataOffset > 0xFFFF) return std::nullopt;

  std::vector<uint8_t> out = {'F', 'D', 'I', 0};
  auto out16 = [&](size_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  out16(static_cast<size_t>(disk.Cylinders()));
  out16(static_cast<size_t>(disk.Sides()));
  out16(textOffset);
  out16(dataOffset);
  out16(0);
  out.insert(out.end(), headers.begin(), headers.end());
  const size_t text = out.size();
  out.resize(text + kDescriptionSize, 0);
  std::memcpy(out.data() + text, kDescription, sizeof kDescription);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace disk
