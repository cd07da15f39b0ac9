// The image formats: which extension selects which format, and one reader and
// one writer per format. Each format lives in its own source file and is
// reached through one entry of the dispatch table in formats.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "disk/disk_image.h"
#include "disk/disk_messages.h"

namespace disk {

struct LoadOptions {
  bool AddBoot = false;  // SCL: add the built-in boot file
  // HOBETA: the disk built from earlier HOBETA files, which the new file is
  // added to; null for a fresh blank disk.
  const TDiskContents* Existing = nullptr;
};

// What a reader made of a file: a whole disk, or the cause of the refusal.
// Warnings are shown but do not stop the load.
struct LoadResult {
  bool Ok = false;
  DiskMessage Error = DiskMessage::UnknownFormat;
  std::vector<DiskMessage> Warnings;
  TDiskContents Disk;

  static LoadResult Fail(DiskMessage m) {
    LoadResult r;
    r.Error = m;
    return r;
  }
};

using LoadFn = LoadResult (*)(std::span<const uint8_t> file, const LoadOptions& options);
// Serialises a disk into the whole file; empty when the disk cannot be
// written in this format.
using SaveFn = std::optional<std::vector<uint8_t>> (*)(const TDiskContents& disk);

// The largest file a format can mean, judged from its first kSizeProbeBytes
// bytes (fewer when the file is shorter). A larger file is refused before it
// is read.
inline constexpr size_t kSizeProbeBytes = 16;
using LargestFn = uint64_t (*)(std::span<const uint8_t> head);

struct FormatHandler {
  ImageFormat Format;
  LoadFn Load;
  SaveFn Save;
  LargestFn Largest;
  DiskMessage TooLarge;  // the format's own refusal of a larger file
};

// The file a format's writer makes of a disk, only when the format's own
// reader takes it back: a writer never leaves a file that cannot be opened.
std::optional<std::vector<uint8_t>> SaveReadable(const FormatHandler& handler,
                                                 const TDiskContents& disk);

// Format by the name's extension (upper-cased): .TRD, .SCL, .FDI, .UDI, .TD0,
// .FDD; ".$x" and ".!x" are HOBETA; anything else None.
ImageFormat FormatFromExtension(std::string_view name);
// The handler of a format, or null while the format has no reader here.
const FormatHandler* FindFormatHandler(ImageFormat format);

uint64_t LargestTrd(std::span<const uint8_t> head);
uint64_t LargestScl(std::span<const uint8_t> head);
uint64_t LargestHobeta(std::span<const uint8_t> head);
uint64_t LargestFdi(std::span<const uint8_t> head);
uint64_t LargestFdd(std::span<const uint8_t> head);
uint64_t LargestUdi(std::span<const uint8_t> head);
uint64_t LargestTd0(std::span<const uint8_t> head);

LoadResult LoadTrd(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveTrd(const TDiskContents& disk);
LoadResult LoadScl(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveScl(const TDiskContents& disk);

LoadResult LoadHobeta(std::span<const uint8_t> file, const LoadOptions& options);
LoadResult LoadFdi(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveFdi(const TDiskContents& disk);
LoadResult LoadFdd(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveFdd(const TDiskContents& disk);
LoadResult LoadUdi(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveUdi(const TDiskContents& disk);
LoadResult LoadTd0(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveTd0(const TDiskContents& disk);

// The IDs of one track in the order they lie from the index, each looked up
// with FindSector from its own address mark (so duplicates keep their own
// data). Stops after one turn or `limit` IDs; `more` says IDs were left.
struct TrackIds {
  std::vector<TSectorInfo> Ids;  // ID part from FindNextId, data part from FindSector
  bool More = false;
};
TrackIds WalkTrackIds(const TDiskContents& disk, int cylinder, int side, size_t limit);

// UDI's CRC-32 (reflected 0xEDB88320 with a sign-keeping shift), one byte at a
// time from 0xFFFFFFFF.
uint32_t Crc32Udi(uint32_t crc, uint8_t byte);
uint32_t Crc32Udi(std::span<const uint8_t> bytes);
// TD0's CRC-16 (polynomial 0xA097, initial 0, MSB first).
uint16_t Td0Crc16(std::span<const uint8_t> bytes);

// The 256 bytes written for a sector that cannot be found.
std::span<const uint8_t, 256> FillerSector();

// The built-in boot file: its catalogue entry and its seven sectors.
std::span<const uint8_t, 16> BootCatalogueEntry();
std::span<const uint8_t, 1792> BootFileSectors();

}  // namespace disk
