#include "machine/tape_player.h"

#include <chrono>
#include <thread>

namespace tape {

namespace {

// Raises busy for the life of a read, so that the opener never frees the
// image under it.
class BusyGuard {
 public:
  explicit BusyGuard(std::atomic<uint8_t>& busy) : busy_(busy) { busy_.store(1); }
  ~BusyGuard() { busy_.store(0); }

 private:
  std::atomic<uint8_t>& busy_;
};

}  // namespace

void TapePlayer::Open(TapeImage image, uint64_t global_tact) {
  TapePlaying.store(0);
  while (TapeBusy.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  image_ = std::make_unique<TapeImage>(std::move(image));
  TapeNextIndex = 0;
  TapePulseCount = 0;
  TapeBytePos = 0;
  TapeBitMask = 0x80;
  // The level, pulse length and flags carry over from the previous tape.
  TapeNextBlock();
  TapeLastEdge = global_tact;
  TapePlaying.store(1);
}

void TapePlayer::TapeNextBlock() {
  if (TapeNextIndex >= image_->blocks.size()) TapeNextIndex = 0;
  const auto& b = image_->blocks[TapeNextIndex++];
  TapeBlock = image_->bytes.data() + b.offset;
  TapeBlockLen = b.length;
  TapePulseCount = 0;
  TapeBytePos = 0;
  TapeBitMask = 0x80;
}

uint64_t TapePlayer::TapeNextPulse() {
  if (TapeBlockLen == 0) return kNoBlockHalf;
  const int32_t c = TapePulseCount++;
  if (c == 0) {
    // The lead-in, after which the pause runs.
    TapePauseFlag = 1;
    return kLeadInHalf;
  }
  if (TapePulseCount < kSyncPulseCount) return kPilotHalf;
  if (TapePulseCount == kSyncPulseCount) {
    TapeSyncFlag = 1;
    return kSync1Half;
  }
  const uint64_t len = (TapeBlock[TapeBytePos] & TapeBitMask) ? kBit1Half : kBit0Half;
  TapeBitMask >>= 1;
  if (TapeBitMask == 0) {
    TapeBitMask = 0x80;
    if (static_cast<uint32_t>(TapeBytePos) >= TapeBlockLen - 1) {
      TapeBytePos = 0;
      TapePulseCount = 0;
      TapeNextBlock();
      TapeBlockDone = 1;
    } else {
      ++TapeBytePos;
    }
  }
  return len;
}

void TapePlayer::TapeRestartPilot() {
  // A short interruption continues the pilot; a long one starts the block
  // over with its lead-in and pause.
  TapePulseCount = TapePulseCount <= kPilotRestartWithPause ? 1 : 0;
  TapeBytePos = 0;
  TapeBitMask = 0x80;
}

uint8_t TapePlayer::TapeGetEarBit(uint64_t global_tact) {
  BusyGuard busy(TapeBusy);
  if (!TapePlaying.load()) return 0;
  return EarBit(global_tact);
}

uint8_t TapePlayer::EarBit(uint64_t now) {
  const uint64_t e = now - TapeLastEdge;

  // The loader stopped listening during the pilot: give it a fresh pilot.
  if (TapePulseLen == kPilotHalf && e > kPilotRestartIdle) {
    TapeLastEdge = now;
    TapeHalf = 0;
    TapeLevel = 0;
    TapeRestartPilot();
    return 0;
  }
  // The loader gave up inside a block's data: skip the rest of the block.
  if ((TapePulseLen == kBit1Half || TapePulseLen == kBit0Half) && TapeBytePos > 0 &&
      e > kDataAbandonIdle) {
    TapeLastEdge = now;
    TapeHalf = 0;
    TapeNextBlock();
    TapePulseLen = kLeadInHalf;
    return TapeLevel;
  }
  if (TapePauseFlag) {
    if (e < kPauseLength) return TapeLevel;
    TapeLastEdge = now;
    TapePauseFlag = 0;
    TapeHalf = 0;
    return TapeLevel;
  }
  if (e < TapePulseLen) return TapeLevel;

  // An even number of elapsed half-periods leaves the level as it was.
  const bool invert = (e / TapePulseLen) & 1;
  if (TapeSyncFlag) {
    TapeLastEdge += TapePulseLen;
    if (invert) TapeLevel ^= 0x40;
    TapeSyncFlag = 0;
    TapePulseLen = kSync2Half;
    TapeHalf = 1;
    return TapeLevel;
  }
  if (TapePulseLen == kPilotHalf) {
    TapeLastEdge = now - now % kPilotHalf;
  } else {
    TapeLastEdge += TapePulseLen;
  }
  if (invert) TapeLevel ^= 0x40;
  if (TapeHalf) {
    if (TapeBlockDone) {
      // The next pulse is fetched one half-period later.
      TapeBlockDone = 0;
    } else {
      TapePulseLen = TapeNextPulse();
    }
    TapeHalf = 0;
  } else {
    TapeHalf = 1;
  }
  return TapeLevel;
}

bool TapePlayer::TapeTrapLoad(TrapRegisters& regs, TrapWriteFn write, void* user) {
  BusyGuard busy(TapeBusy);
  if (!TapePlaying.load()) return false;
  if (static_cast<int64_t>(regs.DE) != static_cast<int64_t>(TapeBlockLen) - 2) return false;

  // The length test is about the whole block, so the copy starts at its
  // first byte even when the wave had stopped inside it.
  TapeBytePos = 0;
  uint8_t x = TapeBlock[TapeBytePos++];  // the flag byte
  for (uint32_t n = regs.DE; n > 0; --n) {
    const uint8_t b = TapeBlock[TapeBytePos++];
    x ^= b;
    write(regs.IX, b, user);
    regs.IX = static_cast<uint16_t>(regs.IX + 1);
  }
  const uint8_t checksum = TapeBlock[TapeBytePos];
  regs.HL = static_cast<uint16_t>(((x ^ checksum) << 8) | checksum);
  regs.PC = kTrapReturn;
  regs.DE = 0;
  regs.BC = 0xB001;

  TapeBitMask = 0x80;
  TapeBytePos = 0;
  TapePulseCount = 0;
  TapeNextBlock();
  TapeBlockDone = 1;
  return true;
}

}  // namespace tape
