#include "disk/disk_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace disk {

namespace {

constexpr uint8_t kGapByte = 0x4E;

bool IsSync(const TTrack& t, uint32_t i) { return t.Data[i] == 0xA1 && t.Marks[i] != 0; }

// The first position from i before end whose mark is set, or end. Most of a
// track is unmarked, so it is passed over a block at a time, then eight
// marks at a time.
uint32_t NextMarked(const uint8_t* marks, uint32_t i, uint32_t end) {
  static constexpr uint8_t kUnmarked[512] = {};
  while (i + sizeof kUnmarked <= end && std::memcmp(marks + i, kUnmarked, sizeof kUnmarked) == 0)
    i += sizeof kUnmarked;
  while (i + 8 <= end) {
    uint64_t word;
    std::memcpy(&word, marks + i, sizeof word);
    if (word != 0) break;
    i += 8;
  }
  while (i < end && marks[i] == 0) ++i;
  return i;
}

// Where a track is kept in a disk's contents, whatever the geometry.
uint32_t TrackKey(int cylinder, int side) {
  return static_cast<uint32_t>(cylinder) * kMaxSides + static_cast<uint32_t>(side);
}

// Forward distance from a to b around a ring of `length` bytes.
uint32_t RingDistance(uint32_t a, uint32_t b, uint32_t length) {
  return b >= a ? b - a : length - a + b;
}

// Length of the run of marked A1 bytes starting at i; `length` means the
// whole ring is one run.
uint32_t SyncRun(const TTrack& t, uint32_t i) {
  const uint32_t len = t.Length();
  uint32_t run = 1;
  while (run < len && IsSync(t, (i + run) % len)) ++run;
  return run;
}

class TrackWriter {
 public:
  explicit TrackWriter(TTrack& t) : t_(t) {}
  void Put(uint8_t b, uint8_t mark = 0) {
    t_.Data.push_back(b);
    t_.Marks.push_back(mark);
  }
  void Fill(uint8_t b, size_t n, uint8_t mark = 0) {
    t_.Data.insert(t_.Data.end(), n, b);
    t_.Marks.insert(t_.Marks.end(), n, mark);
  }
  void PutBytes(std::span<const uint8_t> bytes) {
    t_.Data.insert(t_.Data.end(), bytes.begin(), bytes.end());
    t_.Marks.insert(t_.Marks.end(), bytes.size(), 0);
  }
  size_t Size() const { return t_.Data.size(); }
  // CRC of everything from `from` to the end, appended high byte first.
  void PutCrc(size_t from, bool good = true) {
    uint16_t crc = Crc16Ccitt(t_.Data.data() + from, t_.Data.size() - from);
    uint8_t hi = static_cast<uint8_t>(crc >> 8), lo = static_cast<uint8_t>(crc);
    if (!good) {
      hi = static_cast<uint8_t>(255 - hi);
      lo = static_cast<uint8_t>(255 - lo);
    }
    Put(hi);
    Put(lo);
  }

 private:
  TTrack& t_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Contents

TDiskContents::TDiskContents(int cylinders, int sides) {
  cylinders = std::clamp(cylinders, 1, kMaxCylinders);
  sides = std::clamp(sides, 1, kMaxSides);
  MaxCylinder = static_cast<uint8_t>(cylinders - 1);
  MaxSide = static_cast<uint8_t>(sides - 1);
  sized_ = true;
}

TTrack* TDiskContents::Track(int cylinder, int side) {
  if (!sized_ || cylinder < 0 || side < 0 || cylinder > MaxCylinder || side > MaxSide)
    return nullptr;
  const auto it = tracks_.find(TrackKey(cylinder, side));
  return it != tracks_.end() && it->second.Present() ? &it->second : nullptr;
}

const TTrack* TDiskContents::Track(int cylinder, int side) const {
  return const_cast<TDiskContents*>(this)->Track(cylinder, side);
}

bool TDiskContents::SetTrack(int cylinder, int side, std::vector<uint8_t> data,
                             std::vector<uint8_t> marks) {
  if (!sized_ || cylinder < 0 || side < 0 || cylinder > MaxCylinder || side > MaxSide)
    return false;
  if (data.empty() || data.size() > kMaxTrackLength || marks.size() != data.size()) return false;
  TTrack& t = tracks_[TrackKey(cylinder, side)];
  t.Data = std::move(data);
  t.Marks = std::move(marks);
  return true;
}

// ---------------------------------------------------------------------------
// Sector info

void TSectorInfo::ClearTrackAndId() {
  TrackData = nullptr;
  TrackMarks = nullptr;
  TrackLength = 0;
  Id = nullptr;
  IdLength = 0;
  IdFound = false;
  IdCrcOk = false;
}

void TSectorInfo::ClearData() {
  Data = nullptr;
  DataSize = 0;
  DataFound = false;
  DataCrcOk = false;
  DataFits = false;
}

// ---------------------------------------------------------------------------
// Image

TDiskImage::TDiskImage() {
  // An empty drive still reports a geometry: the head of a drive with no
  // disk travels as far as the usual 82 cylinders.
  disk_.MaxCylinder = 81;
  disk_.MaxSide = 1;
}

TDiskImage::~TDiskImage() { Flush(); }

void TDiskImage::Insert(TDiskContents contents, ImageFormat format, bool writeProtect,
                        std::string fileName) {
  disk_ = std::move(contents);
  Format = format;
  WriteProtect = writeProtect;
  FileName = std::move(fileName);
  Modified = false;
  Inserted = true;
}

void TDiskImage::Eject() {
  // The geometry stays, as the drive keeps reporting it while empty.
  TDiskContents empty;
  empty.MaxCylinder = disk_.MaxCylinder;
  empty.MaxSide = disk_.MaxSide;
  disk_ = std::move(empty);
  WriteProtect = true;
  Inserted = false;
  Modified = false;
  Format = ImageFormat::None;
  FileName.clear();
}

// ---------------------------------------------------------------------------
// CRC

namespace {
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t c = static_cast<uint16_t>(i << 8);
    for (int b = 0; b < 8; ++b)
      c = (c & 0x8000) ? static_cast<uint16_t>((c << 1) ^ 0x1021) : static_cast<uint16_t>(c << 1);
    t[i] = c;
  }
  return t;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
}  // namespace

uint16_t Crc16Ccitt(const uint8_t* data, size_t count, uint16_t crc) {
  for (size_t k = 0; k < count; ++k)
    crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[k]) & 0xFF]);
  return crc;
}

uint16_t Crc16Ring(const uint8_t* data, uint32_t length, uint32_t start, uint64_t count) {
  uint16_t crc = 0xFFFF;
  if (length == 0) return crc;
  uint32_t pos = start % length;
  while (count > 0) {
    uint64_t chunk = std::min<uint64_t>(count, length - pos);
    crc = Crc16Ccitt(data + pos, static_cast<size_t>(chunk), crc);
    count -= chunk;
    pos = 0;
  }
  return crc;
}

// ---------------------------------------------------------------------------
// Field search

bool FindNextIdOnTrack(const TTrack& track, uint32_t start, TSectorInfo& info) {
  info.ClearTrackAndId();
  const uint32_t len = track.Length();
  if (len == 0 || track.Marks.size() != len) return false;
  info.TrackData = track.Data.data();
  info.TrackMarks = track.Marks.data();
  info.TrackLength = len;

  // Walk one turn from the start; i is the ring position of the step.
  uint32_t i = start % len;
  uint32_t left = len;
  while (left > 0) {
    if (track.Data[i] != 0xA1 || track.Marks[i] == 0) {
      // No sync byte lies where no mark is set.
      const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(len, uint64_t{i} + left));
      const uint32_t p = NextMarked(track.Marks.data(), i + 1, end);
      left -= p - i;
      i = p == len ? 0 : p;
      continue;
    }
    const uint32_t run = SyncRun(track, i);
    if (run >= len) return false;
    const uint32_t j = (i + run) % len;
    if (track.Data[j] == 0xFE) {
      info.IdFound = true;
      info.IdA1Pos = i;
      info.IdPos = (j + 1) % len;
      info.AfterIdPos = (info.IdPos + 6) % len;
      info.IdLength = 6;
      info.Id = track.Data.data() + info.IdPos;
      const uint64_t covered = RingDistance(i, info.IdPos, len) + 4ull;
      const uint16_t crc = Crc16Ring(track.Data.data(), len, i, covered);
      const uint16_t stored =
          static_cast<uint16_t>(info.IdByte(4) << 8 | info.IdByte(5));
      info.IdCrcOk = crc == stored;
      return true;
    }
    // Every later A1 of this run leads to the same byte j: go on from there.
    if (run >= left) break;
    left -= run;
    i = j;
  }
  return false;
}

bool FindSectorOnTrack(const TTrack& track, uint8_t r, TSectorInfo& info, uint32_t start) {
  info.ClearData();
  const uint32_t len = track.Length();
  if (len == 0) {
    info.ClearTrackAndId();
    return false;
  }
  uint32_t pos = start % len;
  uint32_t firstAfter = 0;
  bool found = false;
  // Each ID found lies at a new position, so one turn ends the walk.
  for (uint32_t walked = 0; walked <= len; ++walked) {
    if (!FindNextIdOnTrack(track, pos, info)) return false;
    if (walked == 0) {
      firstAfter = info.AfterIdPos;
    } else if (info.AfterIdPos == firstAfter) {
      return false;
    }
    if (info.IdByte(2) == r) {
      found = true;
      break;
    }
    pos = info.AfterIdPos;
  }
  if (!found) return false;

  // The first address mark after the ID decides whether it has a data field.
  uint64_t q = info.AfterIdPos;
  while (q < 2ull * len && !IsSync(track, static_cast<uint32_t>(q % len))) ++q;
  if (q >= 2ull * len) return false;
  const uint32_t a1 = static_cast<uint32_t>(q % len);
  const uint32_t run = SyncRun(track, a1);
  if (run >= len) return false;
  const uint32_t j = (a1 + run) % len;
  const uint8_t mark = track.Data[j];
  if (mark < 0xF8 || mark > 0xFB) return false;

  const uint64_t size = 128ull << (info.IdByte(3) & 31);
  info.DataMark = mark;
  info.DataPos = (j + 1) % len;
  info.DataFound = true;
  info.DataSize = static_cast<uint32_t>(std::min<uint64_t>(size, std::numeric_limits<uint32_t>::max()));
  info.Data = track.Data.data() + info.DataPos;
  info.DataA1Pos = a1;
  info.DataEndPos = static_cast<uint32_t>((info.DataPos + size) % len);
  const uint64_t head = RingDistance(a1, info.DataPos, len);
  info.DataFits = head + size + 2 <= len;
  if (info.DataFits) {
    const uint16_t crc = Crc16Ring(track.Data.data(), len, a1, head + size);
    const uint16_t stored = static_cast<uint16_t>(track.Data[info.DataEndPos] << 8 |
                                                  track.Data[(info.DataEndPos + 1) % len]);
    info.DataCrcOk = crc == stored;
  }
  return true;
}

bool FindNextId(const TDiskContents& disk, int cylinder, int side, uint32_t start,
                TSectorInfo& info) {
  info.ClearTrackAndId();
  const TTrack* t = disk.Track(cylinder, side);
  if (!t) return false;
  info.Cylinder = static_cast<uint8_t>(cylinder);
  info.Side = static_cast<uint8_t>(side);
  return FindNextIdOnTrack(*t, start, info);
}

bool FindSector(const TDiskContents& disk, int cylinder, int side, uint8_t r, TSectorInfo& info,
                uint32_t start) {
  info.ClearData();
  const TTrack* t = disk.Track(cylinder, side);
  if (!t) {
    info.ClearTrackAndId();
    return false;
  }
  info.Cylinder = static_cast<uint8_t>(cylinder);
  info.Side = static_cast<uint8_t>(side);
  return FindSectorOnTrack(*t, r, info, start);
}

bool FindNextId(const TDiskImage& image, int cylinder, int side, uint32_t start,
                TSectorInfo& info) {
  if (!image.Inserted) {
    info.ClearTrackAndId();
    return false;
  }
  return FindNextId(image.Disk(), cylinder, side, start, info);
}

bool FindSector(const TDiskImage& image, int cylinder, int side, uint8_t r, TSectorInfo& info,
                uint32_t start) {
  if (!image.Inserted) {
    info.ClearData();
    info.ClearTrackAndId();
    return false;
  }
  return FindSector(image.Disk(), cylinder, side, r, info, start);
}

void UpdateDataCrc(TDiskContents& disk, const TSectorInfo& info) {
  TTrack* t = disk.Track(info.Cylinder, info.Side);
  if (!t || !info.DataFound || !info.DataFits) return;
  const uint32_t len = t->Length();
  if (len != info.TrackLength || t->Data.data() != info.TrackData) return;
  const uint64_t count = RingDistance(info.DataA1Pos, info.DataPos, len) + uint64_t{info.DataSize};
  const uint16_t crc = Crc16Ring(t->Data.data(), len, info.DataA1Pos, count);
  t->Data[info.DataEndPos % len] = static_cast<uint8_t>(crc >> 8);
  t->Data[(info.DataEndPos + 1) % len] = static_cast<uint8_t>(crc);
}

TTrack* GetTrackInfo(TDiskImage& image, int cylinder, int side) {
  if (!image.Inserted) return nullptr;
  return image.Disk().Track(cylinder, side);
}

// ---------------------------------------------------------------------------
// TR-DOS layout

namespace {

// Sector r's ID field (its sync run) starts here on a TR-DOS track.
constexpr uint32_t TrdosIdOffset(int r) { return static_cast<uint32_t>(r - 1) * 388 + 22; }

// The TR-DOS track of cylinder 0 with zero data: every track is a copy of it
// with its cylinder bytes, data and CRCs put in.
const TTrack& TrdosTemplate() {
  static const TTrack t = [] {
    TTrack t;
    TrackWriter w(t);
    for (int r = 1; r <= 16; ++r) {
      w.Fill(kGapByte, 10);
      w.Fill(0x00, 12);
      size_t from = w.Size();
      w.Fill(0xA1, 3, kSyncMark);
      w.Put(0xFE);
      w.Put(0);
      w.Put(0);
      w.Put(static_cast<uint8_t>(r));
      w.Put(1);
      w.PutCrc(from);
      w.Fill(kGapByte, 22);
      w.Fill(0x00, 12);
      from = w.Size();
      w.Fill(0xA1, 3, kSyncMark);
      w.Put(0xFB);
      w.Fill(0x00, 256);
      w.PutCrc(from);
      w.Fill(kGapByte, 60);
    }
    w.Fill(kGapByte, kStandardTrackLength - w.Size());
    return t;
  }();
  return t;
}

void PutCrcAt(std::vector<uint8_t>& d, size_t from, size_t count) {
  const uint16_t crc = Crc16Ccitt(d.data() + from, count);
  d[from + count] = static_cast<uint8_t>(crc >> 8);
  d[from + count + 1] = static_cast<uint8_t>(crc);
}

}  // namespace

TTrack BuildTrdosTrack(int cylinder, std::span<const uint8_t> data) {
  TTrack t = TrdosTemplate();
  for (int r = 1; r <= 16; ++r) {
    const uint32_t id = TrdosIdOffset(r);
    if (cylinder != 0) {
      t.Data[id + 4] = static_cast<uint8_t>(cylinder);
      PutCrcAt(t.Data, id, 8);
    }
    const size_t off = static_cast<size_t>(r - 1) * 256;
    if (off < data.size()) {
      const size_t n = std::min<size_t>(256, data.size() - off);
      // An empty sector is the template's own, CRC included.
      static constexpr uint8_t kZeros[256] = {};
      if (std::memcmp(data.data() + off, kZeros, n) == 0) continue;
      std::copy_n(data.begin() + static_cast<ptrdiff_t>(off), n, t.Data.begin() + TrdosDataOffset(r));
      PutCrcAt(t.Data, TrdosDataOffset(r) - 4, 260);
    }
  }
  return t;
}

TDiskContents FormatTrdos(int cylinders, int sides) {
  TDiskContents disk(cylinders, sides);
  // Only the system sector differs from the template's empty sectors, whose
  // data CRCs are already in place.
  std::array<uint8_t, 9 * 256> first{};
  uint8_t* sys = first.data() + 8 * 256;
  const unsigned freeSectors = static_cast<unsigned>(disk.Cylinders() * disk.Sides() * 16 - 16);
  sys[225] = 0;
  sys[226] = 1;
  sys[227] = 22;
  sys[228] = 0;
  sys[229] = static_cast<uint8_t>(freeSectors);
  sys[230] = static_cast<uint8_t>(freeSectors >> 8);
  sys[231] = 16;
  sys[244] = 0;
  static constexpr char kLabel[] = "OVRIN   ";
  for (int k = 0; k < 8; ++k) sys[245 + k] = static_cast<uint8_t>(kLabel[k]);
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      TTrack t = BuildTrdosTrack(c, c == 0 && s == 0 ? std::span<const uint8_t>(first)
                                                     : std::span<const uint8_t>());
      disk.SetTrack(c, s, std::move(t.Data), std::move(t.Marks));
    }
  }
  return disk;
}

// ---------------------------------------------------------------------------
// Track synthesis

bool SynthesizeTrack(std::span<const TSynthSector> sectors, uint32_t need, TTrack& out) {
  if (need > kStandardTrackLength) return false;
  const int64_t n = static_cast<int64_t>(sectors.size());
  int64_t room = 6246 - static_cast<int64_t>(need);
  int gap1 = 1, gap2 = 1, gap3 = 1, gap4 = 1, sync = 1;
  while (room != 0 && n > 0) {
    bool changed = false;
    if (room >= 2 * n && gap3 < 12) {
      ++gap3;
      room -= 2 * n;
      changed = true;
    }
    if (room < n) break;
    if (gap1 < 10) {
      ++gap1;
      room -= n;
      changed = true;
    }
    if (room < n) break;
    if (gap2 < 22) {
      ++gap2;
      room -= n;
      changed = true;
    }
    if (room < n) break;
    if (gap4 < 60) {
      ++gap4;
      room -= n;
      changed = true;
    }
    if (room < n) break;
    if (!changed) break;  // all gaps at their largest, or gap3 cannot grow
  }
  if (room > 2 * n + 10) {
    ++sync;
    room -= n;
  }
  if (room > 2 * n + 9) ++sync;

  TTrack t;
  t.Data.reserve(kStandardTrackLength);
  t.Marks.reserve(kStandardTrackLength);
  TrackWriter w(t);
  for (const TSynthSector& s : sectors) {
    w.Fill(kGapByte, static_cast<size_t>(gap1));
    w.Fill(0x00, static_cast<size_t>(gap3));
    size_t from = w.Size();
    w.Fill(0xA1, static_cast<size_t>(sync), kSyncMark);
    w.Put(0xFE);
    w.Put(s.C);
    w.Put(s.H);
    w.Put(s.R);
    w.Put(s.N);
    w.PutCrc(from);
    w.Fill(kGapByte, static_cast<size_t>(gap2));
    w.Fill(0x00, static_cast<size_t>(gap3));
    if (s.HasData) {
      from = w.Size();
      w.Fill(0xA1, static_cast<size_t>(sync), kSyncMark);
      w.Put(s.DataMark);
      w.PutBytes(s.Data);
      w.PutCrc(from, s.DataCrcGood);
    }
    w.Fill(kGapByte, static_cast<size_t>(gap4));
    if (w.Size() > kStandardTrackLength) return false;
  }
  w.Fill(kGapByte, kStandardTrackLength - w.Size());
  out = std::move(t);
  return true;
}

}  // namespace disk
