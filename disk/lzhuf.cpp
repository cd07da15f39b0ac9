#include "disk/lzhuf.h"

#include <array>
#include <cstring>

namespace disk {

namespace {

constexpr unsigned kRingSize = 4096;
constexpr unsigned kMaxMatch = 60;
constexpr unsigned kThreshold = 2;  // matches are longer than this
// 256 literals and one symbol for each match length 3..60.
constexpr int kSymbols = 256 - kThreshold + kMaxMatch;
constexpr int kNodes = 2 * kSymbols - 1;
constexpr int kRoot = kNodes - 1;
constexpr unsigned kMaxFreq = 0x8000;

// The position code: the first byte read selects the upper six bits of the
// position (code) and how many bits that prefix takes (length); the bits
// after the prefix give the lower six.
struct PositionTables {
  std::array<uint8_t, 256> code{};
  std::array<uint8_t, 256> length{};
};

constexpr PositionTables MakePositionTables() {
  PositionTables t;
  // (entries per code value, number of code values): 0 for 32 entries, 1-3
  // for 16 each, 4-11 for 8, 12-23 for 4, 24-47 for 2, 48-63 once.
  constexpr int kCodeRuns[][2] = {{32, 1}, {16, 3}, {8, 8}, {4, 12}, {2, 24}, {1, 16}};
  int at = 0, value = 0;
  for (const auto& run : kCodeRuns)
    for (int v = 0; v < run[1]; ++v, ++value)
      for (int e = 0; e < run[0]; ++e) t.code[static_cast<size_t>(at++)] = static_cast<uint8_t>(value);
  // (entries, length): the prefix grows as the code values get rarer.
  constexpr int kLengthRuns[][2] = {{32, 3}, {48, 4}, {64, 5}, {48, 6}, {48, 7}, {16, 8}};
  at = 0;
  for (const auto& run : kLengthRuns)
    for (int e = 0; e < run[0]; ++e) t.length[static_cast<size_t>(at++)] = static_cast<uint8_t>(run[1]);
  return t;
}

constexpr PositionTables kPosition = MakePositionTables();
static_assert(kPosition.code[255] == 63 && kPosition.code[31] == 0 && kPosition.code[32] == 1);
static_assert(kPosition.length[255] == 8 && kPosition.length[80] == 5);

class BitInput {
 public:
  explicit BitInput(std::span<const uint8_t> in) : in_(in) {}
  bool UsedUp() const { return consumed_ >= 8 * uint64_t{in_.size()}; }
  unsigned Bit() {
    const uint64_t byte = consumed_ / 8;
    const unsigned b = byte < in_.size() ? (in_[byte] >> (7 - consumed_ % 8)) & 1 : 0;
    ++consumed_;
    return b;
  }
  unsigned Bits(int n) {
    unsigned v = 0;
    for (int k = 0; k < n; ++k) v = (v << 1) | Bit();
    return v;
  }

 private:
  std::span<const uint8_t> in_;
  uint64_t consumed_ = 0;
};

// The adaptive Huffman tree, kept as nodes ordered by frequency (the
// sibling property): freq and son per node position, parent per node and
// per leaf (leaves are numbered kNodes + symbol).
class AdaptiveTree {
 public:
  AdaptiveTree() {
    for (int i = 0; i < kSymbols; ++i) {
      freq_[i] = 1;
      son_[i] = i + kNodes;
      parent_[i + kNodes] = i;
    }
    for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      son_[j] = i;
      parent_[i] = parent_[i + 1] = j;
    }
    freq_[kNodes] = 0xFFFF;  // guards the search for a node to swap with
    parent_[kRoot] = 0;
  }

  int Decode(BitInput& in) {
    int c = son_[kRoot];
    while (c < kNodes) c = son_[c + static_cast<int>(in.Bit())];
    c -= kNodes;
    Update(c);
    return c;
  }

 private:
  // Halves every leaf's count and builds the tree again from the leaves.
  void Rebuild() {
    int j = 0;
    for (int i = 0; i < kNodes; ++i) {
      if (son_[i] >= kNodes) {
        freq_[j] = (freq_[i] + 1) / 2;
        son_[j] = son_[i];
        ++j;
      }
    }
    for (int i = 0, node = kSymbols; node < kNodes; i += 2, ++node) {
      const unsigned f = freq_[i] + freq_[i + 1];
      int k = node - 1;
      while (f < freq_[k]) --k;
      ++k;
      std::memmove(&freq_[k + 1], &freq_[k], sizeof freq_[0] * static_cast<size_t>(node - k));
      std::memmove(&son_[k + 1], &son_[k], sizeof son_[0] * static_cast<size_t>(node - k));
      freq_[k] = f;
      son_[k] = i;
    }
    for (int i = 0; i < kNodes; ++i) {
      const int k = son_[i];
      if (k >= kNodes) {
        parent_[k] = i;
      } else {
        parent_[k] = parent_[k + 1] = i;
      }
    }
  }

  // Counts one more use of symbol c, swapping nodes upward to keep the
  // order.
  void Update(int c) {
    if (freq_[kRoot] == kMaxFreq) Rebuild();
    c = parent_[c + kNodes];
    do {
      const unsigned k = ++freq_[c];
      int l = c + 1;
      if (k > freq_[l]) {
        while (k > freq_[++l]) {
        }
        --l;
        freq_[c] = freq_[l];
        freq_[l] = k;
        const int i = son_[c];
        parent_[i] = l;
        if (i < kNodes) parent_[i + 1] = l;
        const int j = son_[l];
        son_[l] = i;
        parent_[j] = c;
        if (j < kNodes) parent_[j + 1] = c;
        son_[c] = j;
        c = l;
      }
      c = parent_[c];
    } while (c != 0);
  }

  std::array<unsigned, kNodes + 1> freq_{};
  std::array<int, kNodes + kSymbols> parent_{};
  std::array<int, kNodes> son_{};
};

unsigned DecodePosition(BitInput& in) {
  unsigned i = in.Bits(8);
  const unsigned upper = kPosition.code[i];
  i = (i << (kPosition.length[i] - 2)) | in.Bits(kPosition.length[i] - 2);
  return (upper << 6) | (i & 0x3F);
}

}  // namespace

bool LzhDecode(std::span<const uint8_t> input, size_t maxOutput, std::vector<uint8_t>& output) {
  std::array<uint8_t, kRingSize> ring{};
  std::memset(ring.data(), ' ', kRingSize - kMaxMatch);
  unsigned r = kRingSize - kMaxMatch;
  const size_t start = output.size();
  auto emit = [&](uint8_t b) {
    if (output.size() - start >= maxOutput) return false;
    output.push_back(b);
    ring[r] = b;
    r = (r + 1) % kRingSize;
    return true;
  };

  BitInput in(input);
  AdaptiveTree tree;
  while (!in.UsedUp()) {
    const int c = tree.Decode(in);
    if (c < 256) {
      if (!emit(static_cast<uint8_t>(c))) return false;
      continue;
    }
    const unsigned from = (r - DecodePosition(in) - 1) % kRingSize;
    const unsigned length = static_cast<unsigned>(c) - 256 + kThreshold + 1;
    for (unsigned k = 0; k < length; ++k)
      if (!emit(ring[(from + k) % kRingSize])) return false;
  }
  return true;
}

}  // namespace disk
