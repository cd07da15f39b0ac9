// Test helpers for the sector-list and raw-track formats. They share no code
// with the readers and writers: raw tracks are laid out by hand and CRCs are
// computed here bit by bit.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "disk/formats.h"

namespace format_test {

inline uint16_t CrcCcitt(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  uint16_t crc = 0xFFFF;
  for (size_t k = from; k < to; ++k) {
    for (int b = 7; b >= 0; --b) {
      const bool in = ((bytes[k] >> b) & 1) != 0;
      const bool top = (crc & 0x8000) != 0;
      crc = static_cast<uint16_t>(crc << 1);
      if (in != top) crc ^= 0x1021;
    }
  }
  return crc;
}

// Lays out a raw track field by field.
class RawTrack {
 public:
  RawTrack& Gap(size_t n, uint8_t b = 0x4E) {
    for (size_t k = 0; k < n; ++k) Put(b, 0);
    return *this;
  }
  RawTrack& Id(uint8_t c, uint8_t h, uint8_t r, uint8_t n, bool goodCrc = true) {
    Gap(12, 0x00);
    const size_t from = data.size();
    for (int k = 0; k < 3; ++k) Put(0xA1, 0xFF);
    for (uint8_t b : {uint8_t{0xFE}, c, h, r, n}) Put(b, 0);
    Crc(from, goodCrc);
    return Gap(22);
  }
  RawTrack& DataField(uint8_t mark, const std::vector<uint8_t>& bytes, bool goodCrc = true) {
    Gap(12, 0x00);
    const size_t from = data.size();
    for (int k = 0; k < 3; ++k) Put(0xA1, 0xFF);
    Put(mark, 0);
    for (uint8_t b : bytes) Put(b, 0);
    Crc(from, goodCrc);
    return Gap(24);
  }
  // Pads (or must already fit) to `length` bytes of 4E.
  disk::TTrack Build(size_t length = disk::kStandardTrackLength) {
    EXPECT_LE(data.size(), length);
    disk::TTrack t;
    t.Data = data;
    t.Marks = marks;
    t.Data.resize(length, 0x4E);
    t.Marks.resize(length, 0);
    return t;
  }

  std::vector<uint8_t> data, marks;

 private:
  void Put(uint8_t b, uint8_t m) {
    data.push_back(b);
    marks.push_back(m);
  }
  void Crc(size_t from, bool good) {
    uint16_t crc = CrcCcitt(data, from, data.size());
    if (!good) crc = static_cast<uint16_t>(crc ^ 0x0101);
    Put(static_cast<uint8_t>(crc >> 8), 0);
    Put(static_cast<uint8_t>(crc), 0);
  }
};

inline void PutTrack(disk::TDiskContents& disk, int c, int s, disk::TTrack t) {
  ASSERT_TRUE(disk.SetTrack(c, s, std::move(t.Data), std::move(t.Marks)));
}

// A byte pattern that differs from sector to sector.
inline std::vector<uint8_t> Pattern(size_t size, unsigned seed) {
  std::vector<uint8_t> v(size);
  for (size_t k = 0; k < size; ++k) v[k] = static_cast<uint8_t>(seed * 31 + k * 7 + (k >> 8));
  return v;
}

// What a sector looks like to the controller.
struct SectorView {
  bool found = false;
  bool dataFound = false;
  bool crcOk = false;
  uint8_t mark = 0;
  std::vector<uint8_t> data;
};

inline SectorView ReadSector(const disk::TDiskContents& disk, int c, int s, uint8_t r,
                             uint32_t start = 0) {
  SectorView v;
  disk::TSectorInfo info;
  const bool ok = disk::FindSector(disk, c, s, r, info, start);
  v.found = info.IdFound && info.IdByte(2) == r;
  if (!ok) return v;
  v.dataFound = info.DataFound;
  v.crcOk = info.DataCrcOk;
  v.mark = info.DataMark;
  for (uint32_t k = 0; k < info.DataSize && k < 65536; ++k) v.data.push_back(info.DataByte(k));
  return v;
}

// Every sector of every track, in the order the IDs lie, as a comparable text.
// `asRead`: a data field larger than its track, which no controller reads,
// counts as none.
inline std::vector<std::string> Describe(const disk::TDiskContents& disk, bool asRead = false) {
  std::vector<std::string> out;
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      const auto walk = disk::WalkTrackIds(disk, c, s, 1000);
      for (const auto& id : walk.Ids) {
        std::string line = std::to_string(c) + "/" + std::to_string(s) + " ";
        for (int k = 0; k < 4; ++k) line += std::to_string(id.IdByte(k)) + ",";
        if (id.DataFound && (id.DataFits || !asRead)) {
          line += " mark " + std::to_string(id.DataMark) + (id.DataCrcOk ? " ok " : " bad ");
          uint32_t sum = 0;
          for (uint32_t k = 0; k < id.DataSize; ++k) sum = sum * 131 + id.DataByte(k);
          line += std::to_string(sum);
        } else {
          line += " no data";
        }
        out.push_back(line);
      }
    }
  }
  return out;
}

// Checks that a reader refused an input without building anything.
inline void ExpectRefused(const disk::LoadResult& r, disk::DiskMessage m) {
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(static_cast<int>(r.Error), static_cast<int>(m));
  EXPECT_TRUE(r.Disk.Empty());
}

// A load either gives a whole disk that can be written back in its format,
// or is refused with nothing built.
inline void ExpectWholeOrNothing(const disk::LoadResult& r, disk::SaveFn save) {
  if (!r.Ok) {
    EXPECT_TRUE(r.Disk.Empty());
    return;
  }
  ASSERT_FALSE(r.Disk.Empty());
  if (save && r.Disk.Cylinders() * r.Disk.Sides() <= 2048) {
    EXPECT_TRUE(save(r.Disk));
  }
}

// Every short cut of a valid file, then random damage concentrated on the
// header and counts. Run under AddressSanitizer this also shows that nothing
// is read outside the file.
inline void Hostile(disk::LoadFn load, disk::SaveFn save, const std::vector<uint8_t>& valid,
                    const disk::LoadOptions& options = {}, int rounds = 300) {
  for (size_t len = 0; len < valid.size(); len += (len < 400 ? 1 : 1 + valid.size() / 300)) {
    SCOPED_TRACE(len);
    ExpectWholeOrNothing(load(std::span(valid).first(len), options), save);
  }
  std::mt19937 rng(static_cast<unsigned>(valid.size()));
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    std::vector<uint8_t> file = valid;
    const int hits = 1 + static_cast<int>(rng() % 8);
    for (int h = 0; h < hits; ++h) {
      const size_t at = (rng() % 2) ? rng() % std::min<size_t>(file.size(), 64) : rng() % file.size();
      file[at] = static_cast<uint8_t>(rng());
    }
    if (rng() % 4 == 0) file.resize(rng() % (file.size() + 1));
    if (rng() % 8 == 0) file.resize(file.size() + rng() % 3000, static_cast<uint8_t>(rng()));
    ExpectWholeOrNothing(load(file, options), save);
  }
}

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x);
  Put16(v, x >> 16);
}

}  // namespace format_test
