#include "machine/tape_image.h"

#include <cstdio>
#include <cstring>

#include "platform/byte_reader.h"

namespace tape {

namespace {

constexpr char kTzxSignature[] = "ZXTape!";
constexpr size_t kTzxSignatureLength = 7;
constexpr size_t kTzxHeaderLength = 10;  // signature, #1A, major and minor version

const char* kCorrupt = kTapeCorrupt;
const char* kNoBlocks = "No data blocks in tape file!";

TapeReadResult Refuse(std::string text) {
  TapeReadResult r;
  r.error = std::move(text);
  return r;
}

TapeReadResult Finish(std::vector<uint8_t>&& file, std::vector<TapeBlock>&& blocks) {
  if (blocks.empty()) return Refuse(kNoBlocks);
  TapeReadResult r;
  r.image = TapeImage{std::move(file), std::move(blocks)};
  return r;
}

// TAP: 16-bit length, then that many bytes, to the end of the file. Empty
// blocks carry nothing to play and are left out.
TapeReadResult ReadTap(std::vector<uint8_t>&& file) {
  platform::ByteReader r(file.data(), file.size());
  std::vector<TapeBlock> blocks;
  while (!r.AtEnd()) {
    uint16_t len;
    if (!r.U16(len)) return Refuse(kCorrupt);
    const size_t offset = r.Position();
    if (!r.Skip(len)) return Refuse(kCorrupt);
    if (len) blocks.push_back(TapeBlock{offset, len});
  }
  return Finish(std::move(file), std::move(blocks));
}

// Skips `count` bytes whose length is given by an n-byte little-endian field.
bool SkipCounted(platform::ByteReader& r, int field_bytes, size_t unit = 1) {
  uint32_t n = 0;
  for (int i = 0; i < field_bytes; ++i) {
    uint8_t b;
    if (!r.U8(b)) return false;
    n |= static_cast<uint32_t>(b) << (8 * i);
  }
  return r.Skip(static_cast<size_t>(n) * unit);
}

TapeReadResult ReadTzx(std::vector<uint8_t>&& file) {
  platform::ByteReader r(file.data(), file.size());
  if (!r.Skip(kTzxHeaderLength)) return Refuse(kCorrupt);
  std::vector<TapeBlock> blocks;
  while (!r.AtEnd()) {
    const size_t block_start = r.Position();
    uint8_t id;
    r.U8(id);
    bool ok;
    switch (id) {
      case 0x10: {  // standard-speed data: pause, length, data
        uint16_t pause, len;
        ok = r.U16(pause) && r.U16(len);
        const size_t offset = r.Position();
        ok = ok && r.Skip(len);
        // The player keeps its own fixed pause between blocks.
        if (ok && len) blocks.push_back(TapeBlock{offset, len});
        break;
      }
      case 0x20:  // pause or stop: 2 bytes
        ok = r.Skip(2);
        break;
      case 0x21:  // group start: name
      case 0x30:  // text description
        ok = SkipCounted(r, 1);
        break;
      case 0x22:  // group end
        ok = true;
        break;
      case 0x2A:  // stop the tape in 48K mode: 4-byte length (0)
        ok = SkipCounted(r, 4);
        break;
      case 0x31:  // message: display time, then text
        ok = r.Skip(1) && SkipCounted(r, 1);
        break;
      case 0x32:  // archive info
        ok = SkipCounted(r, 2);
        break;
      case 0x33:  // hardware type: count of 3-byte entries
        ok = SkipCounted(r, 1, 3);
        break;
      case 0x35:  // custom info: 16-byte id, 4-byte length
        ok = r.Skip(16) && SkipCounted(r, 4);
        break;
      case 0x5A:  // glue of joined files: rest of a TZX header
        ok = r.Skip(9);
        break;
      default: {
        char text[96];
        std::snprintf(text, sizeof text, "Unsupported TZX block: #%02X (offset %zu) !", id,
                      block_start);
        return Refuse(text);
      }
    }
    if (!ok) return Refuse(kCorrupt);
  }
  return Finish(std::move(file), std::move(blocks));
}

}  // namespace

TapeReadResult ReadTapeImage(std::vector<uint8_t> file) {
  if (file.size() > kLargestTapeFile) return Refuse(kCorrupt);
  if (file.size() >= kTzxSignatureLength &&
      std::memcmp(file.data(), kTzxSignature, kTzxSignatureLength) == 0) {
    return ReadTzx(std::move(file));
  }
  return ReadTap(std::move(file));
}

}  // namespace tape
