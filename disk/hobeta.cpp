// HOBETA: one TR-DOS file behind a 17-byte header. Each file opened is added
// to a TR-DOS disk built from such files, as TR-DOS itself would place it:
// its sectors from the first free sector on, its entry in the next catalogue
// slot, the system sector updated.
#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr int kCatalogueEntries = 128;  // sectors 1-8 of track 0; sector 9 follows them
// The logical tracks of the 80-cylinder, two-sided disk this reader builds.
constexpr int kLogicalTracks = 160;
constexpr uint8_t kSystemSector = 9;

uint16_t HeaderChecksum(std::span<const uint8_t> header) {
  uint16_t sum = 0;
  for (size_t k = 0; k < 15; ++k) sum = static_cast<uint16_t>(sum + header[k]);
  return static_cast<uint16_t>(sum * 257 + 105);
}

// The sector's data, when it holds at least `count` bytes inside its track.
TTrack* SectorTrack(TDiskContents& disk, int cylinder, int side, uint8_t r, TSectorInfo& info,
                    uint32_t count) {
  if (!FindSector(disk, cylinder, side, r, info, 0) || !info.DataFits || info.DataSize < count)
    return nullptr;
  return disk.Track(cylinder, side);
}

void Put(TTrack& track, const TSectorInfo& info, uint32_t offset, std::span<const uint8_t> bytes) {
  for (size_t k = 0; k < bytes.size(); ++k)
    track.Data[(info.DataPos + offset + k) % track.Length()] = bytes[k];
}

// Adds the file to `disk`; false when it cannot be added whole.
bool AddFile(TDiskContents& disk, std::span<const uint8_t> header, std::span<const uint8_t> data) {
  TSectorInfo sys;
  TTrack* sysTrack = SectorTrack(disk, 0, 0, kSystemSector, sys, 256);
  if (!sysTrack) return false;
  int s = sys.DataByte(225);
  int t = sys.DataByte(226);
  const int files = sys.DataByte(228);
  int deleted = sys.DataByte(244);
  uint16_t freeSectors = static_cast<uint16_t>(sys.DataByte(229) | sys.DataByte(230) << 8);
  const int sectors = header[14];
  // A full catalogue would put the entry into the system sector; a file that
  // does not fit would be cut while its entry claims every sector.
  if (files >= kCatalogueEntries || s > 15 || t < 1 || t >= kLogicalTracks ||
      t * 16 + s + sectors > kLogicalTracks * 16)
    return false;

  uint8_t entry[16];
  for (int k = 0; k < 13; ++k) entry[k] = header[static_cast<size_t>(k)];
  entry[13] = static_cast<uint8_t>(sectors);  // byte 13 of the header is not used
  entry[14] = static_cast<uint8_t>(s);
  entry[15] = static_cast<uint8_t>(t);

  for (int k = 0; k < sectors; ++k) {
    TSectorInfo info;
    TTrack* track = SectorTrack(disk, t / 2, t % 2, static_cast<uint8_t>(s + 1), info, 256);
    if (!track) return false;
    Put(*track, info, 0, data.subspan(static_cast<size_t>(k) * 256, 256));
    UpdateDataCrc(disk, info);
    --freeSectors;
    if (++s > 15) {
      s = 0;
      ++t;
    }
  }

  TSectorInfo cat;
  TTrack* catTrack = SectorTrack(disk, 0, 0, static_cast<uint8_t>(files * 16 / 256 + 1), cat, 256);
  if (!catTrack) return false;
  Put(*catTrack, cat, static_cast<uint32_t>(files * 16 % 256), entry);
  UpdateDataCrc(disk, cat);

  if (header[0] == 0x01) ++deleted;
  // The system sector may share its track with a sector written above, so it
  // is looked up afresh.
  sysTrack = SectorTrack(disk, 0, 0, kSystemSector, sys, 256);
  if (!sysTrack) return false;
  const uint8_t s225[] = {static_cast<uint8_t>(s), static_cast<uint8_t>(t)};
  const uint8_t s228[] = {static_cast<uint8_t>(files + 1), static_cast<uint8_t>(freeSectors),
                          static_cast<uint8_t>(freeSectors >> 8)};
  const uint8_t s244[] = {static_cast<uint8_t>(deleted)};
  Put(*sysTrack, sys, 225, s225);
  Put(*sysTrack, sys, 228, s228);
  Put(*sysTrack, sys, 244, s244);
  UpdateDataCrc(disk, sys);
  return true;
}

}  // namespace

// The 17-byte header and the most sectors its count byte can give.
uint64_t LargestHobeta(std::span<const uint8_t>) { return 17 + 255 * 256; }

LoadResult LoadHobeta(std::span<const uint8_t> file, const LoadOptions& options) {
  platform::ByteReader reader(file);
  std::span<const uint8_t> header, data;
  uint16_t stored = 0;
  if (!reader.View(15, header) || !reader.U16(stored) ||
      !reader.View(size_t{header[14]} * 256, data))
    return LoadResult::Fail(DiskMessage::Truncated);

  LoadResult result;
  if (HeaderChecksum(header) != stored) result.Warnings.push_back(DiskMessage::HobetaCrc);
  // Built on a copy: a file that cannot be added leaves the drive as it was.
  TDiskContents disk = options.Existing ? *options.Existing : FormatTrdos(80, 2);
  if (!AddFile(disk, header, data)) {
    result.Error = DiskMessage::HobetaNoRoom;
    return result;
  }
  result.Disk = std::move(disk);
  result.Ok = true;
  return result;
}

}  // namespace disk
