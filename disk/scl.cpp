// SCL: a TR-DOS file archive. The reader lays the files out on a blank
// TR-DOS disk as TR-DOS itself would; the writer gathers them back from the
// catalogue.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr char kSignature[8] = {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R'};
constexpr int kCatalogueEntries = 128;
// The catalogue's track byte counts logical tracks 0..255 and track 0 holds
// the catalogue, so files can take at most 255 tracks.
constexpr uint32_t kMaxFileSectors = 255 * 16;
constexpr size_t kEntrySize = 14;
constexpr size_t kSectorSize = 256;

struct Archive {
  std::vector<std::span<const uint8_t>> entries;  // 14 bytes each
  std::vector<std::span<const uint8_t>> files;    // sector count x 256 bytes each
  uint32_t storedSum = 0;
  uint32_t sum = 0;
  uint32_t totalSectors = 0;
};

uint32_t Sum(std::span<const uint8_t> bytes) {
  uint32_t s = 0;
  for (uint8_t b : bytes) s += b;
  return s;
}

// Every length is checked before anything is built.
DiskMessage ParseArchive(std::span<const uint8_t> file, Archive& a, bool& ok) {
  ok = false;
  platform::ByteReader reader(file);
  if (file.size() < 13) return DiskMessage::Truncated;
  std::span<const uint8_t> header;
  reader.View(9, header);
  if (std::memcmp(header.data(), kSignature, sizeof kSignature) != 0) return DiskMessage::SclFormat;
  const size_t count = header[8];
  if (13 + kEntrySize * count > file.size()) return DiskMessage::Truncated;
  if (count > kCatalogueEntries) return DiskMessage::SclFormat;
  a.sum = Sum(header);
  for (size_t i = 0; i < count; ++i) {
    std::span<const uint8_t> e;
    if (!reader.View(kEntrySize, e)) return DiskMessage::Truncated;
    a.entries.push_back(e);
    a.sum += Sum(e);
    a.totalSectors += e[13];
  }
  if (a.totalSectors > kMaxFileSectors) return DiskMessage::SclFormat;
  for (const auto& e : a.entries) {
    const size_t bytes = e[13] * kSectorSize;
    if (!reader.Has(bytes + 4)) return DiskMessage::Truncated;
    std::span<const uint8_t> data;
    reader.View(bytes, data);
    a.files.push_back(data);
    a.sum += Sum(data);
  }
  if (!reader.U32(a.storedSum)) return DiskMessage::Truncated;
  ok = true;
  return DiskMessage::Count;
}

void PutSector(std::vector<uint8_t>& flat, int track, int r, std::span<const uint8_t> data) {
  std::copy(data.begin(), data.end(),
            flat.begin() + static_cast<ptrdiff_t>((static_cast<size_t>(track) * 16 + r - 1) * 256));
}

uint8_t* CatalogueSlot(std::vector<uint8_t>& flat, int slot) {
  return flat.data() + static_cast<size_t>(slot) * 16;  // track 0, sectors 1-8, in order
}

}  // namespace

// A full catalogue and every sector files may take, with the signature,
// the count and the checksum.
uint64_t LargestScl(std::span<const uint8_t>) {
  return 9 + kEntrySize * kCatalogueEntries + uint64_t{kMaxFileSectors} * kSectorSize + 4;
}

LoadResult LoadScl(std::span<const uint8_t> file, const LoadOptions& options) {
  Archive a;
  bool ok = false;
  const DiskMessage error = ParseArchive(file, a, ok);
  if (!ok) return LoadResult::Fail(error);

  LoadResult result;
  if (a.sum != a.storedSum) result.Warnings.push_back(DiskMessage::SclCrc);

  const int cylinders = a.totalSectors < 2544 ? 80 : static_cast<int>((a.totalSectors + 16 + 31) / 32);
  const int tracks = cylinders * 2;
  // The disk is laid out as a flat TRD (logical track t = cylinder t / 2,
  // side t mod 2) and built into raw tracks at the end, CRCs and all.
  // Kept between loads: a fresh buffer of this size is a memory mapping of
  // its own every time.
  static thread_local std::vector<uint8_t> flat;
  flat.assign(static_cast<size_t>(tracks) * 16 * 256, 0);
  uint8_t* sys = flat.data() + 8 * 256;
  unsigned freeSectors = static_cast<unsigned>(cylinders * 32 - 16);
  sys[227] = 22;
  sys[231] = 16;
  static constexpr char kLabel[] = "OVRIN   ";
  std::memcpy(sys + 245, kLabel, 8);

  int s = 0, t = 1, files = 0, deleted = 0;
  bool bootWanted = true;
  for (size_t i = 0; i < a.entries.size() && t < tracks; ++i) {
    const auto& e = a.entries[i];
    if (e[0] == 0x01) ++deleted;
    ++files;
    char nameType[9];
    for (int k = 0; k < 9; ++k) nameType[k] = static_cast<char>(std::toupper(e[k]));
    if (std::memcmp(nameType, "BOOT    B", 9) == 0) bootWanted = false;

    uint8_t* slot = CatalogueSlot(flat, static_cast<int>(i));
    std::memcpy(slot, e.data(), kEntrySize);
    slot[14] = static_cast<uint8_t>(s);
    slot[15] = static_cast<uint8_t>(t);

    const auto& data = a.files[i];
    for (size_t k = 0; k < data.size() / kSectorSize && t < tracks; ++k) {
      PutSector(flat, t, s + 1, data.subspan(k * kSectorSize, kSectorSize));
      --freeSectors;
      if (++s > 15) {
        s = 0;
        ++t;
      }
    }
  }

  // The boot file goes into the archive when the disk is written back, so
  // it must leave the archive within what this reader takes.
  const uint32_t bootSectors = BootCatalogueEntry()[13];
  if (options.AddBoot && bootWanted && files + deleted < 127 &&
      a.totalSectors + bootSectors <= kMaxFileSectors) {
    std::memcpy(CatalogueSlot(flat, files), BootCatalogueEntry().data(), 16);
    ++files;
    const auto boot = BootFileSectors();
    const int first = BootCatalogueEntry()[14] + 1;
    for (int r = first; r <= 16; ++r)
      PutSector(flat, 0, r, boot.subspan(static_cast<size_t>(r - first) * 256, 256));
  }

  // Files filling every track up to 255 leave the first free place at track
  // 256, which has no byte: the same place is named as the sector after the
  // last one of track 255, so that it never wraps to the catalogue track.
  if (t > 255) {
    s += 16 * (t - 255);
    t = 255;
  }
  sys[225] = static_cast<uint8_t>(s);
  sys[226] = static_cast<uint8_t>(t);
  sys[228] = static_cast<uint8_t>(files);
  sys[244] = static_cast<uint8_t>(deleted);
  sys[229] = static_cast<uint8_t>(freeSectors);
  sys[230] = static_cast<uint8_t>(freeSectors >> 8);

  result.Disk = TDiskContents(cylinders, 2);
  for (int track = 0; track < tracks; ++track) {
    TTrack raw = BuildTrdosTrack(track / 2, std::span<const uint8_t>(flat).subspan(
                                                static_cast<size_t>(track) * 4096, 4096));
    result.Disk.SetTrack(track / 2, track % 2, std::move(raw.Data), std::move(raw.Marks));
  }
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveScl(const TDiskContents& disk) {
  TSectorInfo info;
  if (!FindSector(disk, 0, 0, 9, info, 0)) return std::nullopt;
  const uint8_t count = info.DataByte(228);
  const uint8_t type = info.DataByte(227);
  // Nothing is written that the reader would refuse: more entries than a
  // catalogue holds, or more sectors than the tracks after the catalogue.
  if (info.DataByte(231) != 16 || count > kCatalogueEntries || type < 22 || type > 25)
    return std::nullopt;
  const int sides = type <= 23 ? 2 : 1;

  std::vector<uint8_t> out(kSignature, kSignature + sizeof kSignature);
  out.push_back(count);
  std::vector<std::array<uint8_t, 16>> entries(count);
  for (int i = 0; i < count; ++i) {
    auto& e = entries[static_cast<size_t>(i)];
    if (FindSector(disk, 0, 0, static_cast<uint8_t>(i * 16 / 256 + 1), info, 0)) {
      for (uint32_t k = 0; k < 16; ++k) e[k] = info.DataByte(static_cast<uint32_t>(i % 16) * 16 + k);
    } else {
      static constexpr uint8_t kWrong[16] = {'W', 'R', 'O', 'N', 'G', 'S', 'E', 'C', 'E',
                                             0xEE, 0xEE, 0xEE, 0xEE, 0, 0, 0};
      std::memcpy(e.data(), kWrong, 16);
    }
    out.insert(out.end(), e.begin(), e.begin() + kEntrySize);
  }
  uint32_t totalSectors = 0;
  for (const auto& e : entries) totalSectors += e[13];
  if (totalSectors > kMaxFileSectors) return std::nullopt;
  const auto filler = FillerSector();
  for (const auto& e : entries) {
    int s = e[14], t = e[15];
    for (int k = 0; k < e[13]; ++k) {
      if (FindSector(disk, t / sides, t % sides, static_cast<uint8_t>(s + 1), info, 0)) {
        for (uint32_t b = 0; b < 256; ++b) out.push_back(info.DataByte(b));
      } else {
        out.insert(out.end(), filler.begin(), filler.end());
      }
      if (++s > 15) {
        s = 0;
        ++t;
      }
    }
  }
  const uint32_t sum = Sum(out);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(sum >> (8 * k)));
  return out;
}

}  // namespace disk
