// Tape files as plain values: a TAP file, or a TZX file made only of blocks
// a TAP player can play, turned into the list of data blocks to play. The
// reader checks every length before anything is kept, so the player never
// looks outside the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tape {

struct TapeBlock {
  size_t offset = 0;    // first byte of the block's data in TapeImage::bytes
  uint32_t length = 0;  // never 0
};

struct TapeImage {
  std::vector<uint8_t> bytes;     // the whole file
  std::vector<TapeBlock> blocks;  // at least one
};

struct TapeReadResult {
  std::optional<TapeImage> image;
  std::string error;  // the message that refuses the file
  bool ok() const { return image.has_value(); }
};

inline constexpr const char* kTapeCaption = "OVRIN";

// The largest tape file read: 1,024 blocks of the longest length a
// block's 16-bit field holds, each with a TZX block header. A larger file is
// refused before it is read, as corrupt.
inline constexpr size_t kLargestTapeFile = 10 + 1024 * (5 + 0xFFFF);
inline constexpr const char* kTapeCorrupt = "File corrupt!";

// A file that starts with the TZX signature is read as TZX, anything else as
// TAP (whatever its extension).
TapeReadResult ReadTapeImage(std::vector<uint8_t> file);

}  // namespace tape
