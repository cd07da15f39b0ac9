// The tape player: plays the data blocks of a tape image into the ear bit of
// port #FE as the standard ROM loader's square wave (pilot, sync, bits and a
// pause between blocks, the tape starting over after its last block), and
// the load trap that copies a whole block into memory at the ROM's byte
// loader. Nothing runs between reads of the port: each read works out from
// the global T-state counter how far the wave has moved since its last edge.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "machine/tape_image.h"

namespace tape {

// Timing of the wave, in T-states.
inline constexpr uint64_t kLeadInHalf = 100;
inline constexpr uint64_t kPauseLength = 7000000;
inline constexpr uint64_t kPilotHalf = 2168;
inline constexpr int32_t kSyncPulseCount = 2000;  // pulse counts 2..1999 are pilot
inline constexpr uint64_t kSync1Half = 667, kSync2Half = 735;
inline constexpr uint64_t kBit0Half = 855, kBit1Half = 1710;
inline constexpr uint64_t kNoBlockHalf = 3000;
inline constexpr uint64_t kPilotRestartIdle = 2500;
inline constexpr uint64_t kDataAbandonIdle = 3000;
inline constexpr int32_t kPilotRestartWithPause = 1000;

inline constexpr uint16_t kTrapAddress = 0x056B;   // the 48 ROM's byte loader
inline constexpr uint16_t kTrapReturn = 0x05DF;    // where it tests H for success

// The registers the trap reads and sets.
struct TrapRegisters {
  uint16_t PC, DE, IX, BC, HL;
};
using TrapWriteFn = void (*)(uint32_t address, uint8_t value, void* user);

class TapePlayer {
 public:
  // Replaces the tape with a validated image and starts playing it. Runs on
  // the user-interface thread; a read in progress on the run thread is
  // waited for before the old image goes.
  void Open(TapeImage image, uint64_t global_tact);
  bool Playing() const { return TapePlaying.load(); }

  // The ear level (0 or #40) at `global_tact`.
  uint8_t TapeGetEarBit(uint64_t global_tact);

  // At the ROM's byte loader: when DE asks for exactly the current block's
  // length less its flag and checksum bytes, copies the block to IX through
  // `write` and leaves the registers as the loader leaves them on its way
  // out. False (and nothing changed) otherwise.
  bool TapeTrapLoad(TrapRegisters& regs, TrapWriteFn write, void* user);

  // Read-only views for tests and the state window.
  uint32_t BlockLength() const { return TapeBlockLen; }
  size_t NextBlockIndex() const { return TapeNextIndex; }
  size_t BlockCount() const { return image_ ? image_->blocks.size() : 0; }
  int32_t PulseCount() const { return TapePulseCount; }
  uint64_t PulseLength() const { return TapePulseLen; }
  bool PauseRunning() const { return TapePauseFlag != 0; }

 private:
  uint8_t EarBit(uint64_t now);
  void TapeNextBlock();
  uint64_t TapeNextPulse();
  void TapeRestartPilot();

  // Playing and busy form the handshake between the opener and the run
  // thread: a reader raises busy before it looks at playing, the opener
  // lowers playing before it looks at busy, so one of them always sees the
  // other.
  std::atomic<uint8_t> TapePlaying{0};
  std::atomic<uint8_t> TapeBusy{0};

  std::unique_ptr<TapeImage> image_;
  size_t TapeNextIndex = 0;  // the block that TapeNextBlock takes next
  const uint8_t* TapeBlock = nullptr;
  uint32_t TapeBlockLen = 0;
  int32_t TapeBytePos = 0;
  uint8_t TapeBitMask = 0x80;
  int32_t TapePulseCount = 0;
  uint64_t TapePulseLen = 100;
  uint8_t TapeLevel = 0;
  uint8_t TapeHalf = 0;
  uint64_t TapeLastEdge = 0;
  uint8_t TapePauseFlag = 1;
  uint8_t TapeSyncFlag = 0;
  uint8_t TapeBlockDone = 0;
};

}  // namespace tape
