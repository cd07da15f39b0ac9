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

struct FormatHandler {
  ImageFormat Format;
  LoadFn Load;
  SaveFn Save;
};

// Format by the name's extension (upper-cased): .TRD, .SCL, .FDI, .UDI, .TD0,
// .FDD; ".$x" and ".!x" are HOBETA; anything else None.
ImageFormat FormatFromExtension(std::string_view name);
// The handler of a format, or null while the format has no reader here.
const FormatHandler* FindFormatHandler(ImageFormat format);

LoadResult LoadTrd(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveTrd(const TDiskContents& disk);
LoadResult LoadScl(std::span<const uint8_t> file, const LoadOptions& options);
std::optional<std::vector<uint8_t>> SaveScl(const TDiskContents& disk);

// The 256 bytes written for a sector that cannot be found.
std::span<const uint8_t, 256> FillerSector();

// The built-in boot file: its catalogue entry and its seven sectors.
std::span<const uint8_t, 16> BootCatalogueEntry();
std::span<const uint8_t, 1792> BootFileSectors();

}  // namespace disk
