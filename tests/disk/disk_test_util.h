// Builders of test images that share no code with the readers.
#pragma once

#include <cstdint>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

namespace disk_test {

struct SclFile {
  char name[9];  // 8 characters
  char type;
  uint16_t start, length;
  uint8_t sectors;
  uint8_t fill;  // every data byte of the file
};

inline std::vector<uint8_t> MakeScl(const std::vector<SclFile>& files) {
  std::vector<uint8_t> v = {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', static_cast<uint8_t>(files.size())};
  for (const SclFile& f : files) {
    v.insert(v.end(), f.name, f.name + 8);
    v.push_back(static_cast<uint8_t>(f.type));
    v.push_back(static_cast<uint8_t>(f.start)), v.push_back(static_cast<uint8_t>(f.start >> 8));
    v.push_back(static_cast<uint8_t>(f.length)), v.push_back(static_cast<uint8_t>(f.length >> 8));
    v.push_back(f.sectors);
  }
  for (const SclFile& f : files) v.insert(v.end(), static_cast<size_t>(f.sectors) * 256, f.fill);
  uint32_t sum = 0;
  for (uint8_t b : v) sum += b;
  for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(sum >> (8 * k)));
  return v;
}

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("ovrin_disk_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace disk_test
