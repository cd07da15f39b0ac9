// Disassembly listings of a memory range, written as .lst text files.
#pragma once

#include <cstdint>
#include <string>

struct TZ80Object;

namespace z80dbg {

// What the last listing asked for; the dialogs start from it next time.
struct ListingRequest {
  std::string FileName = "dump";
  uint32_t Start = 0;
  uint32_t Length = 0;
};

// The whole listing: a banner, an empty line, then one line per instruction
// starting from start to start + length inclusive, CR LF line ends. Addresses
// and the bytes read wrap at #FFFF; addressLength hex digits per address.
std::string BuildListing(TZ80Object* object, uint32_t start, uint32_t length,
                         int addressLength = 4);

// Writes the listing whole or not at all: false leaves any earlier file as it
// was and no partial file behind. A file that may not be written (read-only)
// is refused, not replaced.
bool WriteListing(const std::string& path, const std::string& text);

}  // namespace z80dbg
