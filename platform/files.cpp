#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace platform {

namespace {
std::mutex g_mutex;
std::string g_program_dir_override;
FileWriter g_writer;

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
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

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (r == 0) break;
    data.insert(data.end(), buf, buf + r);
  }
  ::close(fd);
  return data;
}

bool WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  FileWriter writer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    writer = g_writer;
  }
  if (writer) return writer(path, data, size);

  std::filesystem::path target(path);
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size) && ::fsync(fd) == 0;
  // Keep the permissions of the file being replaced, or the usual 0644.
  struct stat st {};
  mode_t mode = (::stat(path.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(tmpl.c_str(), path.c_str()) == 0) return true;
  ::unlink(tmpl.c_str());
  return false;
}

FileWriter SetFileWriterForTesting(FileWriter writer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::swap(g_writer, writer);
  return writer;
}

}  // namespace platform
