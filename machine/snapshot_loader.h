// Loading snapshot files into the machine and saving its state as .Z80.
//
// Every loader reads the whole file and has it checked by its reader
// (snapshot_format.h) before the machine is touched: a file that fails gets
// its message and leaves the machine exactly as it was. Messages go through
// platform::ShowMessage with the captions of the format.
#pragma once

#include <string>

#include "machine/hardware.h"
#include "machine/snapshot_format.h"

// Loads any supported snapshot by its extension (.Z80, .SNA, .SIT, .SP,
// .ZX, in any case). A running processor is stopped around the load and
// restarted. True when the machine now holds the file's state.
bool LoadSnapshot(TZXHardware& machine, const std::string& fileName);

// Saves the machine's state as .Z80. A name without an extension gets
// `defaultExtension` (the shell passes ".z80"); any extension other than
// .Z80 is refused. Asks before replacing an existing file, writes through a
// temporary file, and keeps the old file when writing fails.
bool SaveSnapshot(TZXHardware& machine, const std::string& fileName,
                  const std::string& defaultExtension);

// The readers and the writer; call with the processor stopped.
bool LoadZ80(TZXHardware& machine, const std::string& fileName);
bool LoadSNA(TZXHardware& machine, const std::string& fileName);
bool LoadSIT(TZXHardware& machine, const std::string& fileName);
bool LoadSP(TZXHardware& machine, const std::string& fileName);
bool LoadZX(TZXHardware& machine, const std::string& fileName);
bool SaveZ80(TZXHardware& machine, const std::string& fileName);

// The loader reset: AY registers cleared, TR-DOS ROM out, the #DFFD, #1FFD
// and #FDFD latches cleared, then #7FFD written with `port7ffd` (#30: 48 ROM,
// paging locked, RAM page 0 at #C000 on the 128K models).
void SnapshotLoaderReset(TZXHardware& machine, uint8_t port7ffd);

// Puts a checked snapshot into the machine: the loader reset, the notices,
// memory, registers, border, AY registers. Processor stopped.
void ApplySnapshot(TZXHardware& machine, const snapshot::Snapshot& snap);

// The machine's state as the .Z80 writer needs it.
snapshot::Z80SaveState GatherZ80State(TZXHardware& machine);
