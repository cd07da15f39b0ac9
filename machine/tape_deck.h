// The machine's tape deck: the tape player (tape_player.h) behind the
// machine's ITapeDeck seam, and the opening of tape files.
#pragma once

#include <string>

#include "machine/devices.h"
#include "machine/tape_player.h"

class TZXHardware;

class TTapeDeck : public ITapeDeck {
 public:
  uint8_t TapeGetEarBit(TZXHardware& machine) override;
  // The machine has checked the switches, PC #056B and the 48 ROM; the trap
  // itself checks that a tape is playing and that the block fits.
  void TapeTrapLoad(TZXHardware& machine) override;

  // Reads and checks a .TAP or .TZX file and, only when it is good, puts it
  // in place of the current tape and installs this deck in the machine. A
  // file that fails gets a message and the current tape plays on.
  bool OpenTapeFile(TZXHardware& machine, const std::string& fileName);

  tape::TapePlayer& Player() { return player_; }

 private:
  tape::TapePlayer player_;
};
