// Snapshot files as plain values. Each reader turns a whole file image into a
// validated Snapshot (or a refusal with the message to show) without touching
// the machine; the loader applies the value only once it is known to be good.
// The .Z80 writer works the other way: from a machine state gathered into a
// Z80SaveState it builds the whole file image in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace snapshot {

inline constexpr size_t kPageSize = 16384;

// Captions of the readers' message boxes. The .Z80 and .SNA readers and the
// writer use the plain dialog, captioned with the application's title.
inline constexpr const char* kPlainCaption = "OVRIN";
inline constexpr const char* kZxCaption = "ZX loader";
inline constexpr const char* kSpCaption = "SP loader";
inline constexpr const char* kSitCaption = "SIT loader";

// One message box: shown for a refusal, or (as a notice) while a good file
// is being applied.
struct Message {
  std::string caption;
  std::string text;
  platform::MsgIcon icon = platform::MsgIcon::None;
};

struct Registers {
  uint16_t PC = 0, SP = 0, IR = 0, AF = 0, HL = 0, DE = 0, BC = 0;
  uint16_t _AF = 0, _HL = 0, _DE = 0, _BC = 0, IX = 0, IY = 0;
  uint8_t IFF1 = 0, IFF2 = 0;  // 0 or 1
  uint8_t IM = 0;
  uint8_t Halted = 0;
};

// Where a 16 KB page of the file goes.
enum class PageTarget {
  Ram,         // RAM page `ram_page` (0-7)
  RamAtC000,   // the RAM page mapped at #C000 once the latches are reset
  Rom48,       // the 48 ROM slot
  Rom128,      // the 128 ROM slot
};

struct Page {
  PageTarget target = PageTarget::Ram;
  uint8_t ram_page = 0;
  std::vector<uint8_t> bytes;  // kPageSize bytes
};

// Bytes placed at an address of the 48K map (#0000 the 48 ROM slot, #4000
// page 5, #8000 page 2, #C000 the page mapped there); the rest of memory
// keeps its contents.
struct MemoryPatch {
  uint32_t start = 0;
  std::vector<uint8_t> bytes;  // start + size <= 65536
};

struct Snapshot {
  Registers regs;
  std::optional<uint8_t> border;  // .ZX leaves the border as it was
  // Written to #7FFD after the other latches are cleared.
  uint8_t port7ffd = 0x30;
  bool trdos_active = false;
  std::optional<std::array<uint8_t, 16>> ay_registers;
  // 48K .SNA: PC is popped from the stack once memory is in place.
  bool pc_from_stack = false;
  std::vector<Page> pages;
  std::optional<MemoryPatch> patch;
  // Warnings and information shown, in order, while the file is applied.
  std::vector<Message> notices;
};

// A reader's answer: a snapshot, or the message that refuses the file.
struct ReadResult {
  std::optional<Snapshot> snapshot;
  Message error;
  bool ok() const { return snapshot.has_value(); }
};

// The largest file each reader can mean: a .Z80 of every page number once at
// the longest block, the 128K .SNA with six extra pages, the fixed .SIT and
// .ZX, and a .SP with the longest block its length field holds. Larger files are refused, by the
// loader before they are read, with the same message as a short one.
inline constexpr size_t kLargestZ80 = 30 + 2 + 54 + 256 * (3 + 0xFFFF);
inline constexpr size_t kLargestSna = 27 + 3 * kPageSize + 4 + 6 * kPageSize;  // 147,487
inline constexpr size_t kLargestSit = 28 + 4 * kPageSize;
inline constexpr size_t kLargestSp = 38 + 0xFFFF;
inline constexpr size_t kLargestZx = 132 + 3 * kPageSize + 202;

ReadResult ReadZ80(std::span<const uint8_t> file);
ReadResult ReadSNA(std::span<const uint8_t> file);
ReadResult ReadSIT(std::span<const uint8_t> file);
ReadResult ReadSP(std::span<const uint8_t> file);
ReadResult ReadZX(std::span<const uint8_t> file);

// The .Z80 block code. Decodes from a source of known length until `size`
// bytes are produced; false when the source runs out first or a run would
// pass `size`. Bytes of the source after the last needed one are ignored.
bool UnpackZ80Block(uint8_t* dest, size_t size, std::span<const uint8_t> source);

// Encodes `source`. When the output would reach `capacity`, the source is
// returned unchanged and `overflow` is set.
std::vector<uint8_t> PackZ80Block(std::span<const uint8_t> source, size_t capacity,
                                  bool* overflow = nullptr);

// What the writer needs from the machine.
struct Z80SaveState {
  Registers regs;
  uint8_t border = 0;
  uint8_t port7ffd = 0x30;
  std::array<uint8_t, 16> ay_registers{};
  // 128K state: RAM pages 0-7. 48K state: #4000, #8000, #C000 in ram[0..2].
  std::array<const uint8_t*, 8> ram{};
};

// True when the latch says 48K: 48 ROM paged and paging locked.
inline bool IsZ80State48K(uint8_t port7ffd) { return (port7ffd & 0x30) == 0x30; }

// The whole .Z80 file. A 48K state is written as version 1, or as version 2
// (hardware mode 0) when PC is 0, which a version-1 header cannot carry;
// a 128K state as version 2. `notices` receives the compression overflow
// message when it occurs.
std::vector<uint8_t> BuildZ80File(const Z80SaveState& state, std::vector<Message>* notices);

}  // namespace snapshot
