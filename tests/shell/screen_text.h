// Reads text back from a picture of palette indices with the ROM's own
// character set, so tests judge the screen the way a user reads it.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/display.h"

namespace testing_support {

// 96 characters of 8 bytes from 0x20; in the 48K ROM they lie at 0x3D00.
using CharSet = std::array<uint8_t, 96 * 8>;

inline CharSet CharSetFromRom(const std::vector<uint8_t>& rom) {
  CharSet cs{};
  if (rom.size() >= 0x3D00 + cs.size()) std::copy_n(rom.begin() + 0x3D00, cs.size(), cs.begin());
  return cs;
}

// The 24 lines of 32 characters of a 320 x 240 picture (paper at 32, 24);
// a cell that matches no character reads '?'. Code 0x7F (the copyright
// sign) reads as 0x7F.
inline std::vector<std::string> ScreenText(const platform::Picture& pic, const CharSet& cs) {
  std::vector<std::string> lines;
  if (pic.width != 320 || pic.height != 240) return lines;
  for (int row = 0; row < 24; ++row) {
    std::string line;
    for (int col = 0; col < 32; ++col) {
      const int x0 = 32 + col * 8, y0 = 24 + row * 8;
      std::set<uint8_t> colours;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) colours.insert(pic.pixels[(y0 + y) * 320 + x0 + x]);
      if (colours.size() == 1) {
        line += ' ';
        continue;
      }
      char found = '?';
      for (uint8_t ink : colours) {
        uint8_t cell[8];
        for (int y = 0; y < 8; ++y) {
          cell[y] = 0;
          for (int x = 0; x < 8; ++x)
            if (pic.pixels[(y0 + y) * 320 + x0 + x] == ink) cell[y] |= static_cast<uint8_t>(0x80 >> x);
        }
        for (int ch = 0; ch < 96 && found == '?'; ++ch)
          if (std::equal(cell, cell + 8, cs.begin() + ch * 8)) found = static_cast<char>(0x20 + ch);
        if (found != '?') break;
      }
      line += found;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

}  // namespace testing_support
