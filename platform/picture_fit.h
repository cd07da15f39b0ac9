// Where the picture goes on a screen of its own (full screen): the largest
// whole multiple of its size that fits, so every emulated pixel becomes the
// same square of screen pixels; only a screen smaller than the picture gets
// it shrunk, in its own proportions. Centred; the rest of the screen is black.
#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

struct PictureArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PictureArea&, const PictureArea&) = default;
};

constexpr PictureArea FitPicture(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) return {};
  int width, height;
  if (const int times = std::min(screenWidth / pictureWidth, screenHeight / pictureHeight); times >= 1) {
    width = pictureWidth * times;
    height = pictureHeight * times;
  } else if (int64_t{pictureWidth} * screenHeight <= int64_t{pictureHeight} * screenWidth) {
    height = screenHeight;  // the height is the tighter limit
    width = static_cast<int>(int64_t{pictureWidth} * screenHeight / pictureHeight);
  } else {
    width = screenWidth;
    height = static_cast<int>(int64_t{pictureHeight} * screenWidth / pictureWidth);
  }
  return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

}  // namespace platform
