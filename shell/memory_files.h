// Raw memory blocks (.bin, .scr): loading a file's bytes into memory as the
// processor sees it and saving a stretch of that memory to a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class IFileMachine;
class TZXHardware;

// Writes a byte where the processor sees it: #4000 and above through the
// bus; below #4000 into the EXTROM image when it is active, RAM page 0 when
// it is paged there, the TR-DOS ROM image when that is active, and otherwise
// the ROM image at #0000. A ROM image keeps such a change until the ROMs are
// reloaded.
void PatchVisibleMemory(TZXHardware& machine, uint16_t address, uint8_t value);

// Loads up to 65536 - start bytes of the file from start on, with the
// processor stopped meanwhile. Returns the count stored, which is the count
// actually read; a file that cannot be opened is reported and changes
// nothing.
std::optional<uint32_t> LoadMemoryBlock(IFileMachine& machine, const std::string& fileName,
                                        uint16_t start);

// Saves length bytes from start (length 1 to 65536 - start) through a
// temporary file. On failure the old file stays and the user is told.
bool SaveMemoryBlock(IFileMachine& machine, const std::string& fileName, uint16_t start,
                     uint32_t length);
