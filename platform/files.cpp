#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <new>
#include <random>

namespace platform {

namespace {
std::mutex g_mutex;
std::string g_program_dir_override;
FileWriter g_writer;

// Temporary files are named ".<name>.~ovrin.<6 characters>" beside the file.
constexpr std::string_view kTempInfix = ".~ovrin.";
constexpr size_t kTempSuffixLength = 6;
// A temporary file of ours this old was left by a writer that died.
constexpr time_t kStaleTempSeconds = 60;

bool WriteAll(int fd, const uint8_t* p, size_t n, off_t offset = -1) {
  while (n > 0) {
    ssize_t w = offset < 0 ? ::write(fd, p, n) : ::pwrite(fd, p, n, offset);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
    if (offset >= 0) offset += w;
  }
  return true;
}

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

bool SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot
  ::close(fd);
  return ok;
}

std::string TempPrefix(const std::string& base) { return "." + base + std::string(kTempInfix); }

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937 rng{std::random_device{}()};
  std::string s(kTempSuffixLength, 'x');
  for (char& c : s) c = kChars[rng() % (sizeof kChars - 1)];
  return s;
}

// Removes temporary files that an earlier writer of this file left when it
// was killed between naming and renaming one.
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  const std::string prefix = TempPrefix(base);
  const time_t now = std::time(nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name.size() != prefix.size() + kTempSuffixLength || name.substr(0, prefix.size()) != prefix)
      continue;
    struct stat st {};
    const std::string full = dir + "/" + std::string(name);
    if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > kStaleTempSeconds)
      ::unlink(full.c_str());
  }
  ::closedir(d);
}

// Rewrites an existing file where it lies: the only way to keep its other
// hard links, or an owner we may not give a new file. The space is reserved
// before the first byte is overwritten, so a full file system fails early.
bool RewriteInPlace(const std::string& target, const uint8_t* data, size_t size) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool ok = true;
  if (size > 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0 && errno != EOPNOTSUPP)
    ok = false;
  ok = ok && WriteAll(fd, data, size, 0) && ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
       ::fsync(fd) == 0;
  return (::close(fd) == 0) && ok;
}

// Links a written unnamed temporary file in as `temp`.
bool NameTempFile(int fd, const std::string& dir, const std::string& base, std::string& temp) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = dir + "/" + TempPrefix(base) + RandomSuffix();
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// Where a write to path lands: through a link, its target. False when
// nothing regular can be written there (a dangling or looping link, a
// directory, a device, a path that cannot be looked at); otherwise `exists`
// says whether a file is there, with its status in `st`.
bool WriteTarget(const std::string& path, std::string& target, struct stat& st, bool& exists) {
  target = path;
  exists = false;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      std::error_code ec;
      const auto resolved = std::filesystem::canonical(path, ec);
      if (ec) return false;
      target = resolved.string();
      if (::stat(target.c_str(), &st) != 0) return false;
    }
    if (!S_ISREG(st.st_mode)) return false;
    exists = true;
    return true;
  }
  return PathMissing(path);
}

std::string ParentDirectory(const std::string& target) {
  const std::string parent = std::filesystem::path(target).parent_path().string();
  return parent.empty() ? std::string(".") : parent;
}

}  // namespace

std::string ProgramDirectory() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_program_dir_override.empty()) return g_program_dir_override;
  }
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

void SetProgramDirectoryForTesting(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_program_dir_override = dir;
}

std::string ResolveProgramFile(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return ProgramDirectory() + "/" + name;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool PathMissing(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool FileWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  if ((st.st_mode & 0222) == 0) return false;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool CanReplaceFile(const std::string& path) {
  // The same way WriteFileAtomic goes: through a link to its target, in
  // place for a file with other names, else by a new file beside it.
  std::string target;
  struct stat st {};
  bool exists = false;
  if (!WriteTarget(path, target, st, exists)) return false;
  if (exists && !FileWritable(target)) return false;
  if (exists && st.st_nlink > 1) return true;
  return ::faccessat(AT_FDCWD, ParentDirectory(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  struct stat sa {}, sb {};
  const bool ha = ::stat(a.c_str(), &sa) == 0, hb = ::stat(b.c_str(), &sb) == 0;
  if (ha && hb) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (ha || hb) return false;
  std::error_code ea, eb;
  const auto ca = std::filesystem::weakly_canonical(a, ea);
  const auto cb = std::filesystem::weakly_canonical(b, eb);
  return ea || eb ? a == b : ca == cb;
}

InputFile::InputFile(const std::string& path) {
  // Only a regular file is opened at all: opening a device can have effects
  // of its own, and reading a FIFO would wait for a writer.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    status_ = PathMissing(path) ? Status::Missing : Status::NotRegular;
    return;
  }
  if (!S_ISREG(st.st_mode)) {
    status_ = Status::NotRegular;
    return;
  }
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    status_ = Status::OpenFailed;
    return;
  }
  // Checked again on what was opened: the path may have changed meanwhile.
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    status_ = Status::NotRegular;
    return;
  }
  size_ = static_cast<uint64_t>(st.st_size);
  status_ = Status::Ok;
}

InputFile::~InputFile() { CloseQuietly(fd_); }

std::optional<std::vector<uint8_t>> InputFile::ReadUpTo(uint64_t offset, uint64_t count) {
  if (!ok()) return std::nullopt;
  std::vector<uint8_t> data(static_cast<size_t>(count));
  size_t got = 0;
  while (got < data.size()) {
    const ssize_t r =
        ::pread(fd_, data.data() + got, data.size() - got, static_cast<off_t>(offset + got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  data.resize(got);
  return data;
}

std::optional<std::vector<uint8_t>> InputFile::ReadHead(size_t count) {
  return ReadUpTo(0, std::min<uint64_t>(count, size_));
}

std::optional<std::vector<uint8_t>> InputFile::ReadAt(uint64_t offset, size_t count) {
  const uint64_t left = offset < size_ ? size_ - offset : 0;
  return ReadUpTo(left ? offset : 0, std::min<uint64_t>(count, left));
}

std::optional<std::vector<uint8_t>> InputFile::ReadAll() {
  if (size_ > SIZE_MAX) throw std::bad_alloc();
  return ReadUpTo(0, size_);
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t max_size) {
  InputFile file(path);
  if (!file.ok() || file.size() > max_size) return std::nullopt;
  try {
    return file.ReadAll();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  FileWriter writer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    writer = g_writer;
  }
  if (writer) return writer(path, data, size);
  const auto* bytes = static_cast<const uint8_t*>(data);

  // A link is written through: its target gets the new contents and the
  // link stays.
  std::string target;
  struct stat st {};
  bool exists = false;
  if (!WriteTarget(path, target, st, exists)) return false;
  // The rename needs only the folder's permission: a file the user made
  // read-only would be replaced all the same.
  if (exists && !FileWritable(target)) return false;
  if (exists && st.st_nlink > 1) return RewriteInPlace(target, bytes, size);

  const std::string dir = ParentDirectory(target);
  const std::string base = std::filesystem::path(target).filename().string();
  RemoveStaleTemps(dir, base);

  const mode_t mode = exists ? (st.st_mode & 07777) : 0644;
  std::string temp;
  // An unnamed file vanishes with a crash; the named fallback is for file
  // systems without them and is cleaned up by the next write.
  // Naming an unnamed file goes through /proc, which a sandbox may lack.
  static const bool can_name_unnamed = ::access("/proc/self/fd", X_OK) == 0;
  int fd = can_name_unnamed ? ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1;
  const bool unnamed = fd >= 0;
  if (!unnamed) {
    std::string tmpl = dir + "/" + TempPrefix(base) + std::string(kTempSuffixLength, 'X');
    fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temp = tmpl;
  }
  const auto discard = [&] {
    CloseQuietly(fd);
    if (!temp.empty()) ::unlink(temp.c_str());
    return false;
  };
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
      ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    // A new file would change hands: keep the old one and write into it.
    discard();
    return RewriteInPlace(target, bytes, size);
  }
  if (!WriteAll(fd, bytes, size) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return discard();
  if (unnamed && !NameTempFile(fd, dir, base, temp)) return discard();
  if (::close(fd) != 0) {
    fd = -1;
    return discard();
  }
  fd = -1;
  if (::rename(temp.c_str(), target.c_str()) != 0) return discard();
  return SyncDirectory(dir);
}

FileWriter SetFileWriterForTesting(FileWriter writer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::swap(g_writer, writer);
  return writer;
}

}  // namespace platform
