// The Windows build has no JPEG decoder (there is no libjpeg for MinGW in
// Debian): the headless program never shows the About picture, and the
// window will decode it with Qt's own reader.
#include "forms/jpeg_image.h"

namespace velimo::forms {

JpegDecodeResult DecodeJpeg(const std::uint8_t*, std::size_t) {
  return {false, {}, "this build decodes no JPEG pictures"};
}

JpegDecodeResult DecodeJpegFile(const std::string& path) {
  return {false, {}, path + ": this build decodes no JPEG pictures"};
}

}  // namespace velimo::forms
