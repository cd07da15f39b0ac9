// File services shared by every reader and writer: the program directory,
// whole-file reads that never block or swallow a huge file, and writes that
// never damage the file they replace.
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

// True when nothing at all lies at path. A dangling or looping link, a FIFO,
// a directory or a device is something: it is not missing, only unreadable.
bool PathMissing(const std::string& path);

// False when the file may not be written: no write permission for us, a
// read-only file system, or no write bit in its mode at all (which the
// superuser would otherwise ignore).
bool FileWritable(const std::string& path);

// False when WriteFileAtomic could not replace the file at path (or create
// it there): the file may not be written, or a new file cannot be made in
// its folder where it would be replaced through one (a folder we may not
// write, a read-only file system, a folder that is gone). True for the
// superuser wherever the file system is writable.
bool CanReplaceFile(const std::string& path);

// True when both paths name one file (through links, hard links and
// different spellings of a path): the same device and inode, or for a path
// where nothing lies yet, the same place once resolved.
bool SameFile(const std::string& a, const std::string& b);

// A regular file opened for reading. Opening never blocks and never opens a
// FIFO, device or directory; those give NotRegular.
class InputFile {
 public:
  enum class Status { Ok, Missing, NotRegular, OpenFailed };

  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  Status status() const { return status_; }
  bool ok() const { return status_ == Status::Ok; }
  uint64_t size() const { return size_; }

  // Up to `count` bytes from the start; fewer when the file is shorter.
  std::optional<std::vector<uint8_t>> ReadHead(size_t count);
  // Up to `count` bytes from `offset`; fewer when the file ends sooner,
  // none from an offset at or past its end.
  std::optional<std::vector<uint8_t>> ReadAt(uint64_t offset, size_t count);
  // The whole file as its size was when opened. Throws std::bad_alloc when
  // that much memory cannot be had.
  std::optional<std::vector<uint8_t>> ReadAll();

 private:
  std::optional<std::vector<uint8_t>> ReadUpTo(uint64_t offset, uint64_t count);

  int fd_ = -1;
  Status status_ = Status::OpenFailed;
  uint64_t size_ = 0;
};

// Reads a whole regular file of at most max_size bytes. Empty optional when
// it cannot be opened or read, is not a regular file, or is larger.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  uint64_t max_size = UINT64_MAX);

// Replaces the contents of the file at path (through a symbolic link, its
// target) and keeps its mode, owner and hard links. The new contents are
// written into an unnamed temporary file beside it, flushed and renamed over
// it, and the directory is flushed before true is returned; a crash leaves
// the old file whole and no temporary file. A file with other hard links, or
// whose owner cannot be kept, is rewritten in place instead. A file that may
// not be written (FileWritable) is not replaced, though its folder would
// allow it. On failure the original file is untouched (rewritten in place:
// its space was reserved first) and false is returned.
bool WriteFileAtomic(const std::string& path, const void* data, size_t size);
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}

// Seam for tests: when set, WriteFileAtomic calls it instead of touching the
// disk. Returning false simulates a failed write.
using FileWriter = std::function<bool(const std::string& path, const void* data, size_t size)>;
FileWriter SetFileWriterForTesting(FileWriter writer);

}  // namespace platform
