// A test-only LZHUF encoder, written from the published algorithm and
// sharing nothing with the decoder: greedy longest matches in a 4096-byte
// window that starts as 4036 blanks, match lengths 3 to 60 coded as symbols
// 256..313 of an adaptive Huffman tree (sibling-ordered, counts halved when
// the root reaches 0x8000), match positions as a fixed prefix code for the
// upper six bits followed by the lower six bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzhuf_test {

class Encoder {
 public:
  std::vector<uint8_t> Encode(const std::vector<uint8_t>& text) {
    std::vector<uint8_t> window(kWindow, 0);
    std::fill(window.begin(), window.begin() + (kWindow - kLongest), uint8_t{' '});
    size_t head = kWindow - kLongest;
    size_t at = 0;
    while (at < text.size()) {
      size_t bestLen = 0, bestFrom = 0;
      const size_t most = std::min(kLongest, text.size() - at);
      // Nearest candidates first, so equal lengths prefer short distances.
      for (size_t back = 1; back <= kWindow && bestLen < most; ++back) {
        const size_t from = (head + kWindow - back) % kWindow;
        size_t len = 0;
        while (len < most) {
          const size_t src = (from + len) % kWindow;
          const size_t ahead = (src + kWindow - head) % kWindow;
          // Bytes this very match has already produced come from the text.
          const uint8_t b = ahead < len ? text[at + ahead] : window[src];
          if (b != text[at + len]) break;
          ++len;
        }
        if (len > bestLen) bestLen = len, bestFrom = from;
      }
      size_t produced = 1;
      if (bestLen >= 3) {
        PutSymbol(static_cast<int>(256 + bestLen - 3));
        PutPosition((head + kWindow - bestFrom - 1) % kWindow);
        produced = bestLen;
      } else {
        PutSymbol(text[at]);
      }
      for (size_t k = 0; k < produced; ++k) {
        window[head] = text[at + k];
        head = (head + 1) % kWindow;
      }
      at += produced;
    }
    return out_;
  }

 private:
  static constexpr size_t kWindow = 4096;
  static constexpr size_t kLongest = 60;
  static constexpr int kLeaves = 314;
  static constexpr int kSlots = 2 * kLeaves - 1;  // node slots, the root last
  static constexpr int kTop = kSlots - 1;

  struct Slot {
    unsigned count;
    int down;  // first of two child slots, or kSlots + leaf for a leaf
  };

  void PutBit(int b) {
    if (bitCount_ % 8 == 0) out_.push_back(0);
    if (b) out_.back() = static_cast<uint8_t>(out_.back() | (0x80 >> (bitCount_ % 8)));
    ++bitCount_;
  }

  void PutPosition(size_t distance) {
    // Prefix code of the upper six bits: the decoder's table of 256 first
    // bytes maps runs of equal prefixes to each value, so the code is the
    // first byte of the value's run cut to its length.
    static const std::vector<std::pair<int, int>> prefix = [] {
      const int entries[] = {32, 16, 16, 16, 8, 8, 8, 8, 8, 8, 8, 8};
      std::vector<std::pair<int, int>> p;  // (first byte, length) per value
      int first = 0;
      for (int v = 0; v < 64; ++v) {
        const int run = v < 12 ? entries[v] : (v < 24 ? 4 : (v < 48 ? 2 : 1));
        const int len = first < 32 ? 3 : first < 80 ? 4 : first < 144 ? 5 : first < 192 ? 6 : first < 240 ? 7 : 8;
        p.push_back({first, len});
        first += run;
      }
      return p;
    }();
    const auto [first, len] = prefix[distance >> 6];
    for (int k = 0; k < len; ++k) PutBit((first >> (7 - k)) & 1);
    for (int k = 5; k >= 0; --k) PutBit(static_cast<int>((distance >> k) & 1));
  }

  void PutSymbol(int symbol) {
    if (!ready_) Start();
    std::vector<int> path;
    for (int s = above_[kSlots + symbol]; s != kTop; s = above_[s]) path.push_back(s & 1);
    for (auto it = path.rbegin(); it != path.rend(); ++it) PutBit(*it);
    Count(symbol);
  }

  void Start() {
    ready_ = true;
    slots_.assign(kSlots + 1, Slot{0, 0});
    above_.assign(kSlots + kLeaves, 0);
    for (int leaf = 0; leaf < kLeaves; ++leaf) slots_[leaf] = {1, kSlots + leaf};
    for (int node = kLeaves, child = 0; node < kSlots; ++node, child += 2)
      slots_[node] = {slots_[child].count + slots_[child + 1].count, child};
    slots_[kSlots].count = 0xFFFF;
    Link();
  }

  // Parents from the children recorded in each slot.
  void Link() {
    for (int s = 0; s < kSlots; ++s) {
      const int d = slots_[s].down;
      if (d >= kSlots) {
        above_[d] = s;
      } else {
        above_[d] = s;
        above_[d + 1] = s;
      }
    }
    above_[kTop] = 0;
  }

  void Halve() {
    std::vector<Slot> leaves;
    for (int s = 0; s < kSlots; ++s)
      if (slots_[s].down >= kSlots) leaves.push_back({(slots_[s].count + 1) / 2, slots_[s].down});
    std::vector<Slot> order(leaves.begin(), leaves.end());
    // Each new node joins the next two slots and goes after every slot of
    // a count not above its own.
    for (int child = 0; static_cast<int>(order.size()) < kSlots; child += 2) {
      const Slot joined{order[static_cast<size_t>(child)].count + order[static_cast<size_t>(child) + 1].count, child};
      size_t place = order.size();
      while (place > 0 && joined.count < order[place - 1].count) --place;
      order.insert(order.begin() + static_cast<ptrdiff_t>(place), joined);
    }
    for (int s = 0; s < kSlots; ++s) slots_[s] = order[static_cast<size_t>(s)];
    Link();
  }

  void Count(int symbol) {
    if (slots_[kTop].count == 0x8000) Halve();
    int s = above_[kSlots + symbol];
    while (true) {
      const unsigned grown = ++slots_[s].count;
      if (grown > slots_[s + 1].count) {
        // Swap with the last slot whose count is still below the new one.
        int swap = s + 1;
        while (grown > slots_[swap + 1].count) ++swap;
        slots_[s].count = slots_[swap].count;
        slots_[swap].count = grown;
        const int mine = slots_[s].down, theirs = slots_[swap].down;
        slots_[swap].down = mine;
        slots_[s].down = theirs;
        above_[mine] = swap;
        if (mine < kSlots) above_[mine + 1] = swap;
        above_[theirs] = s;
        if (theirs < kSlots) above_[theirs + 1] = s;
        s = swap;
      }
      s = above_[s];
      if (s == 0) break;
    }
  }

  bool ready_ = false;
  std::vector<Slot> slots_;
  std::vector<int> above_;
  std::vector<uint8_t> out_;
  uint64_t bitCount_ = 0;
};

inline std::vector<uint8_t> Compress(const std::vector<uint8_t>& text) { return Encoder().Encode(text); }

}  // namespace lzhuf_test
