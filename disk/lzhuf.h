// The LZHUF decompressor of compressed ("td") TD0 images: an LZSS coder with
// a 4096-byte window and matches of 3 to 60 bytes, whose literal and length
// symbols are coded with an adaptive Huffman tree and whose match positions
// use a fixed prefix code for their upper six bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace disk {

// Decodes until the input is used up (bits past its end read as 0 only to
// finish the last symbol), appending to `output`. False, with `output` cut
// at `maxOutput` bytes, when the stream would produce more than that.
bool LzhDecode(std::span<const uint8_t> input, size_t maxOutput, std::vector<uint8_t>& output);

}  // namespace disk
