// File services shared by every reader and writer: the program directory,
// whole-file reads, and writes that never damage the file they replace.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Directory of the running executable (from /proc/self/exe), without a
// trailing slash. Tests may override it.
std::string ProgramDirectory();
void SetProgramDirectoryForTesting(const std::string& dir);  // empty: real one

// A name containing '/' is used as it is; any other name is taken from the
// program directory.
std::string ResolveProgramFile(const std::string& name);

// True when path names an existing regular file (not a directory).
bool FileExists(const std::string& path);

// Reads a whole regular file. Empty optional when it cannot be opened or read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);

// Writes data to a temporary file beside path, flushes it and renames it over
// path. On any failure the original file is untouched and false is returned.
bool WriteFileAtomic(const std::string& path, const void* data, size_t size);
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}

// Seam for tests: when set, WriteFileAtomic calls it instead of touching the
// disk. Returning false simulates a failed write.
using FileWriter = std::function<bool(const std::string& path, const void* data, size_t size)>;
FileWriter SetFileWriterForTesting(FileWriter writer);

}  // namespace platform
