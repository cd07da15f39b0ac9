// TD0: a header, an optional comment, then tracks listing their sectors, each
// sector's data (if it has any) in a block that may be run-length encoded. In
// "td" images everything after the header is LZHUF-compressed. The reader
// decodes the whole image into plain sector data first and synthesises the
// raw tracks from it; the writer produces an uncompressed image with plain
// blocks.
#include <algorithm>
#include <array>

#include "disk/formats.h"
#include "disk/lzhuf.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr uint8_t kMinVersion = 10;
constexpr uint8_t kMaxVersion = 21;
constexpr uint8_t kMinCompressedVersion = 20;
constexpr uint8_t kCommentFlag = 0x80;
constexpr uint8_t kEndOfTracks = 0xFF;
// The writer lists at most this many IDs a track (0xFF ends the tracks).
constexpr size_t kMaxSectorsWritten = 254;
constexpr uint8_t kMaxSizeCode = 6;
// Sector flags: not allocated, or no data. Either says no block follows the
// sector header: the ID has no data field. The writer marks its IDs without
// data "no data".
constexpr uint8_t kNoBlockFlags = 0x30;
constexpr uint8_t kNoDataFlag = 0x20;
// How far a decompressed or decoded image may grow beyond its file.
constexpr uint64_t kCompressedSlack = 1500000;
constexpr uint64_t kDecodedSlack = 5120000;

struct Td0Sector {
  uint8_t C = 0, H = 0, R = 0, N = 0;
  bool HasData = false;
  std::vector<uint8_t> Data;  // 128 << N bytes
};

struct Td0Track {
  uint8_t Cylinder = 0, Head = 0;
  std::vector<Td0Sector> Sectors;
};

std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i << 8;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0xA097 : crc << 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}

// Decodes one block into `out` (zeroed, the sector's size). False when the
// block is malformed or would write past the sector.
bool DecodeBlock(std::span<const uint8_t> block, std::vector<uint8_t>& out) {
  platform::ByteReader in(block);
  uint8_t encoding = 0;
  in.U8(encoding);
  switch (encoding) {
    case 0:
      if (in.Remaining() > out.size()) return false;
      in.Bytes(out.data(), in.Remaining());
      return true;
    case 1: {
      uint16_t count = 0;
      uint8_t pattern[2];
      if (!in.U16(count) || !in.Bytes(pattern, 2) || size_t{count} * 2 > out.size()) return false;
      for (size_t k = 0; k < count; ++k) out[2 * k] = pattern[0], out[2 * k + 1] = pattern[1];
      return true;
    }
    case 2: {
      size_t at = 0;
      while (!in.AtEnd()) {
        uint8_t kind = 0, count = 0;
        if (!in.U8(kind) || !in.U8(count)) return false;
        if (kind == 0) {
          if (at + count > out.size() || !in.Bytes(out.data() + at, count)) return false;
          at += count;
        } else if (kind == 1) {
          uint8_t pattern[2];
          if (!in.Bytes(pattern, 2) || at + 2u * count > out.size()) return false;
          for (int k = 0; k < count; ++k) out[at++] = pattern[0], out[at++] = pattern[1];
        } else {
          return false;
        }
      }
      return true;
    }
    default:
      return false;
  }
}

// Parses the tracks after the header (and comment). The data ending at a
// track boundary ends the image like the end marker does; a track cut
// part-way is refused.
bool ParseTracks(platform::ByteReader& in, uint64_t maxDecoded, std::vector<Td0Track>& tracks) {
  uint64_t decoded = in.Position();
  while (!in.AtEnd()) {
    uint8_t count = 0, crc = 0;
    Td0Track track;
    in.U8(count);
    if (count == kEndOfTracks) return true;
    if (!in.U8(track.Cylinder) || !in.U8(track.Head) || !in.U8(crc)) return false;
    decoded += 4;
    track.Sectors.resize(count);
    for (Td0Sector& s : track.Sectors) {
      uint8_t flags = 0, sectorCrc = 0;
      uint16_t length = 0;
      std::span<const uint8_t> block;
      if (!in.U8(s.C) || !in.U8(s.H) || !in.U8(s.R) || !in.U8(s.N) || !in.U8(flags) ||
          !in.U8(sectorCrc))
        return false;
      decoded += 6;
      if (decoded > maxDecoded) return false;
      if (flags & kNoBlockFlags) continue;
      if (!in.U16(length) || length == 0 || !in.View(length, block)) return false;
      decoded += 3;
      // Earlier versions of this program wrote an ID without data with flags
      // 0 and a block of only its encoding byte. No sector's data fits in so
      // short a block, so it cannot be mistaken for one.
      if (length == 1) continue;
      if ((s.N & 31) > kMaxSizeCode) return false;
      s.HasData = true;
      s.Data.assign(size_t{128} << (s.N & 31), 0);
      decoded += s.Data.size();
      if (decoded > maxDecoded || !DecodeBlock(block, s.Data)) return false;
    }
    tracks.push_back(std::move(track));
  }
  return true;
}

// What a sector takes of a synthesised track by this format's count: 5
// plus its ID, marks and CRCs and its data. The reader refuses a track whose
// sectors take more than a standard track, so the writer refuses to store one.
uint64_t SectorNeed(uint64_t dataSize) { return 5 + 12 + dataSize; }

uint64_t BytesNeeded(const Td0Track& t) {
  uint64_t need = 0;
  for (const Td0Sector& s : t.Sectors) need += SectorNeed(s.Data.size());
  return need;
}

}  // namespace

uint16_t Td0Crc16(std::span<const uint8_t> bytes) {
  static const std::array<uint16_t, 256> table = MakeCrcTable();
  uint16_t crc = 0;
  for (uint8_t b : bytes) crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ b) & 0xFF]);
  return crc;
}

// The header, the longest comment, and every track a cylinder and head byte
// can name holding 255 sector headers and a full track's worth of data;
// twice that for the compressed form, which can grow what it codes.
uint64_t LargestTd0(std::span<const uint8_t>) {
  constexpr uint64_t tracks = 256ull * 256;
  return 2 * (kHeaderSize + 10 + 0xFFFF + tracks * (4 + 255 * 9 + kStandardTrackLength) + 1);
}

LoadResult LoadTd0(std::span<const uint8_t> file, const LoadOptions&) {
  if (file.size() < kHeaderSize) return LoadResult::Fail(DiskMessage::Truncated);
  const auto header = file.first(kHeaderSize);
  const bool compressed = header[0] == 't' && header[1] == 'd';
  if (!compressed && !(header[0] == 'T' && header[1] == 'D'))
    return LoadResult::Fail(DiskMessage::Td0Format);
  if (Td0Crc16(header.first(10)) != (header[10] | header[11] << 8))
    return LoadResult::Fail(DiskMessage::Td0Crc);
  const uint8_t version = header[4];
  if (version < kMinVersion || version > kMaxVersion) return LoadResult::Fail(DiskMessage::Td0Version);
  if (header[8] != 0) return LoadResult::Fail(DiskMessage::Td0DosAllocated);

  // The image after the header, decompressed when it is a "td" image.
  std::vector<uint8_t> expanded;
  std::span<const uint8_t> image = file;
  if (compressed) {
    if (version < kMinCompressedVersion) return LoadResult::Fail(DiskMessage::Td0Format);
    expanded.assign(header.begin(), header.end());
    const uint64_t limit = 2 * uint64_t{file.size()} + kCompressedSlack - kHeaderSize;
    if (!LzhDecode(file.subspan(kHeaderSize), static_cast<size_t>(limit), expanded))
      return LoadResult::Fail(DiskMessage::Td0Format);
    image = expanded;
  }

  platform::ByteReader in(image);
  in.Seek(kHeaderSize);
  if (header[7] & kCommentFlag) {
    uint16_t crc = 0, length = 0;
    std::span<const uint8_t> covered;
    if (!in.U16(crc) || !in.U16(length) || !in.Seek(in.Position() - 2) ||
        !in.View(8u + length, covered) || Td0Crc16(covered) != crc)
      return LoadResult::Fail(DiskMessage::Td0Format);
  }
  std::vector<Td0Track> tracks;
  if (!ParseTracks(in, uint64_t{file.size()} + kDecodedSlack, tracks))
    return LoadResult::Fail(DiskMessage::Td0Format);

  int maxCylinder = 0, maxSide = 0;
  for (const Td0Track& t : tracks) {
    maxCylinder = std::max<int>(maxCylinder, t.Cylinder);
    maxSide = std::max<int>(maxSide, t.Head);
  }
  LoadResult result;
  result.Disk = TDiskContents(maxCylinder + 1, maxSide + 1);
  // Every listing must fit, though a track listed again replaces the earlier
  // listing: only the last one is built, the first met walking back.
  for (const Td0Track& t : tracks) {
    if (BytesNeeded(t) > kStandardTrackLength)
      return LoadResult::Fail(DiskMessage::ImpossibleTrack);
  }
  std::vector<TSynthSector> sectors;
  for (auto k = tracks.rbegin(); k != tracks.rend(); ++k) {
    const Td0Track& t = *k;
    if (result.Disk.Track(t.Cylinder, t.Head)) continue;
    sectors.clear();
    for (const Td0Sector& s : t.Sectors) {
      TSynthSector synth;
      synth.C = s.C;
      synth.H = s.H;
      synth.R = s.R;
      synth.N = s.N;
      synth.HasData = s.HasData;
      synth.Data = s.Data;
      sectors.push_back(synth);
    }
    TTrack built;
    if (!SynthesizeTrack(sectors, static_cast<uint32_t>(BytesNeeded(t)), built))
      return LoadResult::Fail(DiskMessage::ImpossibleTrack);
    result.Disk.SetTrack(t.Cylinder, t.Head, std::move(built.Data), std::move(built.Marks));
  }
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveTd0(const TDiskContents& disk) {
  if (disk.Empty()) return std::nullopt;
  std::vector<uint8_t> out = {'T', 'D', 0, 0, kMaxVersion, 0, 3, 0, 0, 2};
  auto put16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  put16(Td0Crc16(out));
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      // A count of 255 would read as the end of the image: a track with
      // more IDs cannot be stored whole, and none of them may be dropped.
      const TrackIds walk = WalkTrackIds(disk, c, s, kMaxSectorsWritten);
      if (walk.More) return std::nullopt;
      const uint8_t head[3] = {static_cast<uint8_t>(walk.Ids.size()), static_cast<uint8_t>(c),
                               static_cast<uint8_t>(s)};
      out.insert(out.end(), head, head + 3);
      out.push_back(static_cast<uint8_t>(Td0Crc16(head)));
      uint64_t need = 0;
      for (const TSectorInfo& id : walk.Ids) {
        // A data field that neither its track nor any track of this format
        // can hold is read by no controller: its ID is kept as one without
        // data, and the rest of the disk with it.
        const bool hasData =
            id.DataFound && (id.DataFits || SectorNeed(id.DataSize) <= kStandardTrackLength);
        if (hasData && (id.IdByte(3) & 31) > kMaxSizeCode) return std::nullopt;
        const uint32_t size = hasData ? id.DataSize : 0;
        // Fields laid over one another take more than the track as sector
        // lists count it.
        need += SectorNeed(size);
        if (need > kStandardTrackLength) return std::nullopt;
        for (int k = 0; k < 4; ++k) out.push_back(id.IdByte(k));
        out.push_back(hasData ? 0 : kNoDataFlag);
        const size_t crcAt = out.size();
        out.push_back(0);  // the low byte of the block's CRC; 0 without a block
        if (!hasData) continue;
        put16(size + 1);
        // The block: encoding 0 (plain data), then the data read around the ring.
        const size_t block = out.size();
        out.push_back(0);
        for (uint32_t pos = id.DataPos, left = size; left > 0; pos = 0) {
          const uint32_t chunk = std::min(left, id.TrackLength - pos);
          out.insert(out.end(), id.TrackData + pos, id.TrackData + pos + chunk);
          left -= chunk;
        }
        out[crcAt] = static_cast<uint8_t>(Td0Crc16(std::span(out).subspan(block)));
      }
    }
  }
  out.insert(out.end(), {kEndOfTracks, 0, 0, 0});
  return out;
}

}  // namespace disk
