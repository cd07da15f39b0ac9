// UDI: every track as raw bytes with a bitmap of its sync bytes, exactly the
// disk model, so tracks keep their own lengths. A CRC-32 trailer guards the
// whole file.
#include <algorithm>
#include <array>
#include <cstring>

#include "disk/formats.h"
#include "platform/byte_reader.h"

namespace disk {

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kTrailerSize = 4;
constexpr uint8_t kMfmTrack = 0;

uint32_t BitmapBytes(uint32_t length) { return (length + 7) / 8; }

// A track of another kind is held as a blank MFM track that carries no
// sectors; while it stays blank, the stored track is what gets written back.
bool IsForeignStandIn(const TTrack& t) {
  if (t.ForeignType == kMfmTrack || t.Length() != kStandardTrackLength) return false;
  const auto zero = [](uint8_t b) { return b == 0; };
  return std::all_of(t.Data.begin(), t.Data.end(), zero) &&
         std::all_of(t.Marks.begin(), t.Marks.end(), zero);
}

}  // namespace

namespace {

// One bit of the CRC step: the shift keeps the sign bit, which is what makes
// the variant differ from the common CRC-32.
uint32_t Crc32UdiBits(uint32_t r, int bits) {
  for (int k = 0; k < bits; ++k) {
    const bool out = (r & 1) != 0;
    r = (r >> 1) | (r & 0x80000000u);
    if (out) r ^= 0xEDB88320u;
  }
  return r;
}

// Eight steps are linear over the bits: the low byte's share comes from the
// table, the rest is shifted with the sign bit kept, as no bit of it leaves
// during the eight steps.
const std::array<uint32_t, 256>& Crc32UdiTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) t[b] = Crc32UdiBits(b, 8);
    return t;
  }();
  return table;
}

uint32_t Crc32UdiStep(uint32_t r, uint8_t byte, const std::array<uint32_t, 256>& table) {
  r ^= byte;
  return table[r & 0xFF] ^ static_cast<uint32_t>(static_cast<int32_t>(r) >> 8);
}

}  // namespace

uint32_t Crc32Udi(uint32_t crc, uint8_t byte) { return ~Crc32UdiStep(~crc, byte, Crc32UdiTable()); }

uint32_t Crc32Udi(std::span<const uint8_t> bytes) {
  const auto& table = Crc32UdiTable();
  uint32_t r = 0;  // the complement of the running value 0xFFFFFFFF
  for (uint8_t b : bytes) r = Crc32UdiStep(r, b, table);
  return ~r;
}

// Every track of the geometry the header says at the longest length a
// track record holds, with its bitmap.
uint64_t LargestUdi(std::span<const uint8_t> head) {
  uint64_t tracks = uint64_t{kMaxCylinders} * kMaxSides;
  if (head.size() >= 11) tracks = (uint64_t{head[9]} + 1) * (uint64_t{head[10]} + 1);
  return kHeaderSize + tracks * (5 + kMaxTrackLength + BitmapBytes(kMaxTrackLength)) + kTrailerSize;
}

LoadResult LoadUdi(std::span<const uint8_t> file, const LoadOptions&) {
  if (file.size() < kHeaderSize + kTrailerSize) return LoadResult::Fail(DiskMessage::Truncated);
  platform::ByteReader header(file);
  uint8_t magic[4], version = 0, maxCylinder = 0, maxSide = 0, flags = 0;
  uint32_t length = 0, extended = 0;
  header.Bytes(magic, 4);
  header.U32(length);
  header.U8(version);
  header.U8(maxCylinder);
  header.U8(maxSide);
  header.U8(flags);
  header.U32(extended);
  if (std::memcmp(magic, "UDI!", 4) != 0) return LoadResult::Fail(DiskMessage::UdiFormat);
  if (version != 0 || flags != 0 || extended != 0) return LoadResult::Fail(DiskMessage::UdiVersion);
  if (uint64_t{length} + kTrailerSize != file.size()) return LoadResult::Fail(DiskMessage::Truncated);

  // Tracks must lie wholly before the CRC trailer.
  const auto body = file.first(length);
  platform::ByteReader reader(body);
  reader.Seek(kHeaderSize);
  LoadResult result;
  result.Disk = TDiskContents(maxCylinder + 1, maxSide + 1);
  for (int c = 0; c <= maxCylinder; ++c) {
    for (int s = 0; s <= maxSide; ++s) {
      uint8_t type = 0;
      if (!reader.U8(type)) return LoadResult::Fail(DiskMessage::Truncated);
      if (type == kMfmTrack) {
        uint16_t len = 0;
        std::span<const uint8_t> bytes, bitmap;
        if (!reader.U16(len) || !reader.View(len, bytes) || !reader.View(BitmapBytes(len), bitmap))
          return LoadResult::Fail(DiskMessage::Truncated);
        if (len == 0) continue;  // no track here
        std::vector<uint8_t> marks(len);
        for (uint32_t k = 0; k < len; ++k)
          marks[k] = (bitmap[k / 8] >> (k % 8)) & 1 ? kSyncMark : 0;
        result.Disk.SetTrack(c, s, std::vector<uint8_t>(bytes.begin(), bytes.end()), std::move(marks));
      } else {
        uint32_t len = 0;
        std::span<const uint8_t> bytes;
        if (!reader.U32(len) || !reader.View(len, bytes)) return LoadResult::Fail(DiskMessage::Truncated);
        result.Disk.SetTrack(c, s, std::vector<uint8_t>(kStandardTrackLength, 0),
                             std::vector<uint8_t>(kStandardTrackLength, 0));
        TTrack* t = result.Disk.Track(c, s);
        t->ForeignType = type;
        t->Foreign.assign(bytes.begin(), bytes.end());
      }
    }
  }
  uint32_t stored = 0;
  platform::ByteReader trailer(file.subspan(length));
  trailer.U32(stored);
  if (Crc32Udi(body) != stored) result.Warnings.push_back(DiskMessage::UdiCrc);
  result.Ok = true;
  return result;
}

std::optional<std::vector<uint8_t>> SaveUdi(const TDiskContents& disk) {
  if (disk.Empty()) return std::nullopt;
  std::vector<uint8_t> out = {'U', 'D', 'I', '!', 0, 0, 0, 0, 0, disk.MaxCylinder, disk.MaxSide, 0,
                              0, 0, 0, 0};
  auto put = [&](uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  for (int c = 0; c < disk.Cylinders(); ++c) {
    for (int s = 0; s < disk.Sides(); ++s) {
      const TTrack* t = disk.Track(c, s);
      if (t && IsForeignStandIn(*t)) {
        out.push_back(t->ForeignType);
        put(t->Foreign.size(), 4);
        out.insert(out.end(), t->Foreign.begin(), t->Foreign.end());
        continue;
      }
      const uint32_t len = t ? t->Length() : 0;
      if (len > 0xFFFF) return std::nullopt;
      out.push_back(kMfmTrack);
      put(len, 2);
      if (!t) continue;
      out.insert(out.end(), t->Data.begin(), t->Data.end());
      const size_t bitmap = out.size();
      out.resize(bitmap + BitmapBytes(len), 0);
      for (uint32_t k = 0; k < len; ++k)
        if (t->Marks[k]) out[bitmap + k / 8] |= static_cast<uint8_t>(1u << (k % 8));
    }
  }
  if (out.size() > 0xFFFFFFFFu) return std::nullopt;
  const uint32_t length = static_cast<uint32_t>(out.size());
  for (int k = 0; k < 4; ++k) out[4 + static_cast<size_t>(k)] = static_cast<uint8_t>(length >> (8 * k));
  put(Crc32Udi(out), 4);
  return out;
}

}  // namespace disk
