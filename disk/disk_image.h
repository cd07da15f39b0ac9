// One floppy disk in one drive, held as raw MFM-level tracks.
//
// Every image format is turned into this one model: each track is the byte
// stream a controller meets under the head (gaps, sync bytes, address marks,
// ID and data fields with their CRCs) plus a parallel array that marks the
// sync bytes written with a missing clock. A track is a ring: position 0 is
// the index hole and every position is taken modulo the track's length.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace platform {
class InputFile;
}

namespace disk {

struct FormatHandler;

enum class ImageFormat : uint8_t {
  None = 0,
  Trd = 1,
  Scl = 2,
  Fdi = 3,
  Td0 = 4,
  Udi = 5,
  Hobeta = 6,
  Fdd = 7,
};

constexpr uint32_t kStandardTrackLength = 6250;
// The longest track any image format can describe (UDI stores 16-bit lengths).
constexpr uint32_t kMaxTrackLength = 65535;
constexpr int kMaxCylinders = 256;
constexpr int kMaxSides = 256;

// Mark byte of a sync byte written with a missing clock.
constexpr uint8_t kSyncMark = 0xFF;

struct TTrack {
  std::vector<uint8_t> Data;
  std::vector<uint8_t> Marks;  // same length as Data
  // A raw track of a kind this model cannot decode (UDI types other than
  // MFM): its type and bytes as stored, while Data holds a blank stand-in.
  // Written back as stored for as long as the stand-in is unchanged.
  uint8_t ForeignType = 0;  // 0: none
  std::vector<uint8_t> Foreign;
  uint32_t Length() const { return static_cast<uint32_t>(Data.size()); }
  bool Present() const { return !Data.empty(); }
};

// The tracks of one disk and its geometry, as a value: readers build one and
// hand it over whole, so a failing reader never leaves a half-built disk.
class TDiskContents {
 public:
  TDiskContents() = default;
  // Geometry of cylinders x sides (each 1..256), every track absent.
  TDiskContents(int cylinders, int sides);

  uint8_t MaxCylinder = 0;
  uint8_t MaxSide = 0;

  int Cylinders() const { return MaxCylinder + 1; }
  int Sides() const { return MaxSide + 1; }
  bool Empty() const { return !sized_; }

  // Null outside the geometry or when the track is absent.
  TTrack* Track(int cylinder, int side);
  const TTrack* Track(int cylinder, int side) const;
  // Stores a track (data and marks of equal length, 1..kMaxTrackLength bytes).
  bool SetTrack(int cylinder, int side, std::vector<uint8_t> data, std::vector<uint8_t> marks);

 private:
  // Only the tracks present, by cylinder * 256 + side: an image may name a
  // geometry of 65,536 tracks while listing a handful, and building every
  // absent slot cost more than reading the file. A node never moves, so a
  // track's address holds until the disk is replaced.
  std::map<uint32_t, TTrack> tracks_;
  bool sized_ = false;
};

// One sector as found on a raw track by the field search.
struct TSectorInfo {
  const uint8_t* TrackData = nullptr;
  const uint8_t* TrackMarks = nullptr;
  uint32_t TrackLength = 0;
  uint8_t Cylinder = 0;  // where the track lies in its disk
  uint8_t Side = 0;

  const uint8_t* Id = nullptr;
  uint32_t IdLength = 0;
  uint32_t IdA1Pos = 0;
  uint32_t IdPos = 0;
  uint32_t AfterIdPos = 0;
  bool IdFound = false;
  bool IdCrcOk = false;

  const uint8_t* Data = nullptr;
  uint32_t DataSize = 0;  // 128 << (N & 31), saturated to 32 bits
  uint32_t DataA1Pos = 0;
  uint32_t DataPos = 0;
  uint32_t DataEndPos = 0;
  bool DataFound = false;
  bool DataCrcOk = false;
  // The data field and its CRC fit in the track; a sector that does not is
  // never transferred.
  bool DataFits = false;
  uint8_t DataMark = 0;

  // The ID bytes, read around the ring.
  uint8_t IdByte(int k) const { return TrackData[(IdPos + static_cast<uint32_t>(k)) % TrackLength]; }
  uint8_t DataByte(uint32_t k) const { return TrackData[(DataPos + k) % TrackLength]; }

  void ClearTrackAndId();
  void ClearData();
};

class TDiskImage {
 public:
  TDiskImage();
  ~TDiskImage();  // writes back a modified disk first
  TDiskImage(const TDiskImage&) = delete;
  TDiskImage& operator=(const TDiskImage&) = delete;

  // Writes the current disk back when due, then opens or creates the image by
  // the name's extension. True when a disk is inserted afterwards.
  bool Open(const std::string& name, bool writeProtect);
  // Writes the image back to FileName in its own format when it is modified
  // and writable. False when a due write failed (the disk stays modified).
  bool Flush();

  // How a write-back ended. A lasting refusal cannot succeed by trying again:
  // the format cannot hold what the disk now holds, or the file or its
  // folder cannot be written. A passing failure (a full or failing file
  // system) may succeed later.
  enum class FlushResult { Done, Passing, Lasting };
  // Flush, telling the two kinds of failure apart; the error is told either
  // way, on stderr naming the file when asked to.
  FlushResult FlushOrExplain(platform::FailureReport report = platform::FailureReport::Box);
  // Flush before the program ends: after any failure the user is asked
  // whether to give up the changes, the safe answer keeping them. False when
  // they are kept (the disk stays modified).
  bool FlushOrDiscard();

  // Takes a built disk as the drive's contents.
  void Insert(TDiskContents contents, ImageFormat format, bool writeProtect,
              std::string fileName);
  // Empties the drive: no tracks, not inserted, not modified.
  void Eject();

  TDiskContents& Disk() { return disk_; }
  const TDiskContents& Disk() const { return disk_; }
  uint8_t MaxCylinder() const { return disk_.MaxCylinder; }
  uint8_t MaxSide() const { return disk_.MaxSide; }

  std::string FileName;
  ImageFormat Format = ImageFormat::None;
  // Read by the shell's menu while the controller may set it.
  std::atomic<bool> Modified{false};
  // Also set at opening when the file may not be replaced (its mode, its
  // folder, a read-only file system) and for a disk built from HOBETA files;
  // the controller then protects the drive too.
  bool WriteProtect = true;
  bool Inserted = false;
  bool AddBoot = false;

 private:
  // After a lasting refusal: true when the user gives up this disk's changes.
  bool AskToDiscardChanges() const;
  // Reads an opened file with the format's reader and inserts the disk.
  bool Load(const FormatHandler& handler, platform::InputFile& file, const std::string& name,
            bool writeProtect);

  TDiskContents disk_;
};

// CRC-16 (polynomial 0x1021, initial 0xFFFF, MSB first, no final inversion).
uint16_t Crc16Ccitt(const uint8_t* data, size_t count, uint16_t crc = 0xFFFF);
// The same over a stretch of a ring of `length` bytes from `start`.
uint16_t Crc16Ring(const uint8_t* data, uint32_t length, uint32_t start, uint64_t count);

// Field search on one track (no geometry check).
bool FindNextIdOnTrack(const TTrack& track, uint32_t start, TSectorInfo& info);
bool FindSectorOnTrack(const TTrack& track, uint8_t r, TSectorInfo& info, uint32_t start);

// Field search on a disk: false beyond the geometry or on an absent track.
bool FindNextId(const TDiskContents& disk, int cylinder, int side, uint32_t start,
                TSectorInfo& info);
bool FindSector(const TDiskContents& disk, int cylinder, int side, uint8_t r, TSectorInfo& info,
                uint32_t start);
// The same on a drive's image, which must be inserted.
bool FindNextId(const TDiskImage& image, int cylinder, int side, uint32_t start,
                TSectorInfo& info);
bool FindSector(const TDiskImage& image, int cylinder, int side, uint8_t r, TSectorInfo& info,
                uint32_t start);

// Recomputes and stores the data CRC of the sector `info` describes. Does
// nothing when that track no longer has the length the info was taken from.
void UpdateDataCrc(TDiskContents& disk, const TSectorInfo& info);

// The track of an inserted image within its geometry, or null.
TTrack* GetTrackInfo(TDiskImage& image, int cylinder, int side);

// A blank TR-DOS disk: 16 sectors of 256 bytes on every track, a system sector.
TDiskContents FormatTrdos(int cylinders, int sides);
// The standard 6250-byte TR-DOS track with sectors 1..16 of 256 bytes; data
// holds their 4096 data bytes in order.
TTrack BuildTrdosTrack(int cylinder, std::span<const uint8_t> data);
// Offset of sector R's first data byte in a track built by BuildTrdosTrack.
constexpr uint32_t TrdosDataOffset(int r) { return static_cast<uint32_t>(r - 1) * 388 + 70; }

// Track synthesis from a sector list, for the formats that store sectors.
struct TSynthSector {
  uint8_t C = 0, H = 0, R = 0, N = 0;
  bool HasData = false;
  uint8_t DataMark = 0xFB;
  std::span<const uint8_t> Data;
  bool DataCrcGood = true;
};
// `need` is the format's own count of the bytes the sectors take (5 per
// sector plus its per-sector count). False when they cannot fit a 6250-byte
// track.
bool SynthesizeTrack(std::span<const TSynthSector> sectors, uint32_t need, TTrack& out);

}  // namespace disk
