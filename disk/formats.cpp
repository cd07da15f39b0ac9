#include "disk/formats.h"

#include "disk/file_extensions.h"

#include <algorithm>
#include <array>
#include <string>

namespace disk {

namespace {

// One entry per format.
constexpr std::array kHandlers = {
    FormatHandler{ImageFormat::Trd, &LoadTrd, &SaveTrd, &LargestTrd, DiskMessage::TooManyCylinders},
    FormatHandler{ImageFormat::Scl, &LoadScl, &SaveScl, &LargestScl, DiskMessage::SclFormat},
    FormatHandler{ImageFormat::Fdi, &LoadFdi, &SaveFdi, &LargestFdi, DiskMessage::FdiFormat},
    FormatHandler{ImageFormat::Fdd, &LoadFdd, &SaveFdd, &LargestFdd, DiskMessage::TooManyCylinders},
    FormatHandler{ImageFormat::Udi, &LoadUdi, &SaveUdi, &LargestUdi, DiskMessage::UdiFormat},
    FormatHandler{ImageFormat::Td0, &LoadTd0, &SaveTd0, &LargestTd0, DiskMessage::Td0Format},
    // HOBETA files are only read, onto a disk that is never written back.
    FormatHandler{ImageFormat::Hobeta, &LoadHobeta, nullptr, &LargestHobeta, DiskMessage::UnknownFormat},
};

}  // namespace

ImageFormat FormatFromExtension(std::string_view name) {
  const FileExtension* known = FindExtension(UpperExtension(name));
  return known && known->Kind == FileKind::Disk ? known->Format : ImageFormat::None;
}

const FormatHandler* FindFormatHandler(ImageFormat format) {
  for (const FormatHandler& h : kHandlers)
    if (h.Format == format) return &h;
  return nullptr;
}

std::optional<std::vector<uint8_t>> SaveReadable(const FormatHandler& handler,
                                                 const TDiskContents& disk) {
  if (!handler.Save) return std::nullopt;
  auto bytes = handler.Save(disk);
  if (!bytes) return std::nullopt;
  // Read back as the open path reads a file: its size judged first.
  const auto file = std::span<const uint8_t>(*bytes);
  if (file.size() > handler.Largest(file.first(std::min(file.size(), kSizeProbeBytes))))
    return std::nullopt;
  if (!handler.Load(file, {}).Ok) return std::nullopt;
  return bytes;
}

TrackIds WalkTrackIds(const TDiskContents& disk, int cylinder, int side, size_t limit) {
  TrackIds result;
  const TTrack* track = disk.Track(cylinder, side);
  if (!track) return result;
  const uint32_t len = track->Length();
  TSectorInfo info;
  if (!FindNextIdOnTrack(*track, 0, info)) return result;
  // Distance walked from the first ID: one turn ends the walk even when an
  // ID overlapping the first one makes the search step past it.
  uint64_t walked = 0;
  const uint32_t first = info.IdPos;
  for (;;) {
    if (result.Ids.size() == limit) {
      result.More = true;
      break;
    }
    TSectorInfo sector = info;
    FindSectorOnTrack(*track, info.IdByte(2), sector, info.IdA1Pos);
    sector.Cylinder = static_cast<uint8_t>(cylinder);
    sector.Side = static_cast<uint8_t>(side);
    result.Ids.push_back(sector);
    const uint32_t from = info.AfterIdPos;
    const uint32_t previous = info.IdPos;
    if (!FindNextIdOnTrack(*track, from, info)) break;
    walked += (info.IdPos + len - previous) % len;
    if (info.IdPos == previous) walked += len;
    if (info.IdPos == first || walked >= len) break;
  }
  return result;
}

std::span<const uint8_t, 256> FillerSector() {
  static const std::array<uint8_t, 256> filler = [] {
    std::array<uint8_t, 256> s{};
    static constexpr char kText[] = "ERROR: THIS SECTOR NOT FOUND OR IN NON TR-DOS FORMAT!";
    static_assert(sizeof kText == 54, "the text and its terminating zero take 54 bytes");
    size_t k = 0;
    for (; k < sizeof kText; ++k) s[k] = static_cast<uint8_t>(kText[k]);
    for (; k < s.size(); ++k) s[k] = '*';
    return s;
  }();
  return filler;
}

}  // namespace disk
