// The file extensions the program knows, listed once: which kind of file
// each names (a disk image and its format, a tape, a snapshot) and how the
// open dialogs offer it. The disk images decide their format here, the
// shell's open-by-extension routine its destination, and the dialogs build
// their filters from the same rows. It lives with the disks because they
// are the lowest layer that asks.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "disk/disk_image.h"

namespace disk {

enum class FileKind : uint8_t { Disk, Tape, Snapshot };

struct FileExtension {
  // Upper case with its dot. A prefix row matches every extension that
  // begins with it (".$" takes ".$C", ".$B" and ".$" itself).
  const char* Extension;
  bool Prefix;
  FileKind Kind;
  ImageFormat Format;  // disks only
  // The filter label in the Open... dialog and in the disk dialog; null
  // where the dialog does not offer it. Rows with the same label next to
  // each other form one filter.
  const char* OpenLabel;
  const char* DiskLabel;

  // The dialog pattern: "*.trd", "*.$*".
  std::string Pattern() const;
};

std::span<const FileExtension> KnownExtensions();

// The upper-cased extension of a name: from the last '.' of its last path
// component, dot included, trailing blanks trimmed; empty when none.
std::string UpperExtension(std::string_view fileName);

// The row of an upper-cased extension; null for one the program does not
// know by name.
const FileExtension* FindExtension(std::string_view upperExt);

}  // namespace disk
