// A bounds-checked cursor over a byte buffer. Every file reader parses
// through it, so a read past the end is an error result, never a wild read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace platform {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(std::span<const uint8_t> s) : data_(s.data()), size_(s.size()) {}

  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ == size_; }
  bool Has(size_t n) const { return n <= size_ - pos_; }

  bool Seek(size_t pos) {
    if (pos > size_) return false;
    pos_ = pos;
    return true;
  }
  bool Skip(size_t n) {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }
  bool U8(uint8_t& v) {
    if (!Has(1)) return false;
    v = data_[pos_++];
    return true;
  }
  bool U16(uint16_t& v) {  // little-endian
    if (!Has(2)) return false;
    v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t& v) {  // little-endian
    if (!Has(4)) return false;
    v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
        (static_cast<uint32_t>(data_[pos_ + 2]) << 16) |
        (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return true;
  }
  bool Bytes(void* out, size_t n) {
    if (!Has(n)) return false;
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  // A view of the next n bytes, advancing past them; empty span and false
  // when fewer remain.
  bool View(size_t n, std::span<const uint8_t>& out) {
    if (!Has(n)) return false;
    out = std::span<const uint8_t>(data_ + pos_, n);
    pos_ += n;
    return true;
  }
  const uint8_t* Here() const { return data_ + pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace platform
