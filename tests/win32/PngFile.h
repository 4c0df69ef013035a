// Writes 24-bit RGB pictures as PNG files: uncompressed (stored) deflate blocks, which every viewer reads
// and which need no compression library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace win32test {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel
};

bool WritePng(const std::string& path, const RgbImage& image);

}  // namespace win32test
