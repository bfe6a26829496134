// Decoding of the About window's picture. The picture is a JPEG shipped
// beside the program; a missing or damaged file must never keep the window
// from opening, so decoding reports failure as a value with a readable
// reason instead of raising.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velimo::forms {

// An 8-bit RGB picture, rows from top to bottom, three bytes per pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width * height * 3 bytes

  bool Empty() const { return width <= 0 || height <= 0; }
};

struct JpegDecodeResult {
  bool ok = false;
  RgbImage image;     // empty unless ok
  std::string error;  // why decoding failed; empty when ok
};

// Decodes a JPEG held in memory. Greyscale pictures are expanded to RGB.
JpegDecodeResult DecodeJpeg(const std::uint8_t* data, std::size_t size);

// Reads and decodes a JPEG file. A file that is missing, unreadable, empty,
// truncated or not a JPEG gives ok = false and an error naming the file.
JpegDecodeResult DecodeJpegFile(const std::string& path);

}  // namespace velimo::forms
