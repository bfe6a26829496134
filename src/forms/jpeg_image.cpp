#include "forms/jpeg_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace velimo::forms {

namespace {

// A picture bigger than this is refused before any pixel memory is taken, so
// a damaged header that claims a huge size cannot exhaust memory.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

// libjpeg's default reaction to a fatal error ends the process. We jump back
// to the decoder instead and keep the library's own message as the reason.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// libjpeg decodes a damaged stream (cut short, bad data in a segment) with a
// warning and grey filler. Our picture is our own artwork, so a warning means
// the file is damaged: keep the first one and report the file as unreadable.
extern "C" void OnJpegMessage(j_common_ptr cinfo, int msg_level) {
  if (msg_level >= 0) return;  // trace messages, not problems
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (err->pub.num_warnings++ == 0) (*cinfo->err->format_message)(cinfo, err->message);
}

// Everything that can longjmp lives in here, and this frame holds nothing
// with a destructor: the output buffer is sized by the caller's callback
// before the first scanline, and the caller owns it.
// Returns 0 on success, 1 on a library error or warning (message in
// err.message),
// 2 when the picture is too big or not RGB after conversion.
int DecodeInto(const std::uint8_t* data, std::size_t size, ErrorManager& err, int& width,
               int& height, std::vector<std::uint8_t>& out) {
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegError;
  err.pub.emit_message = OnJpegMessage;
  err.message[0] = '\0';
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return 1;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const long long pixels =
      static_cast<long long>(cinfo.output_width) * static_cast<long long>(cinfo.output_height);
  if (cinfo.output_components != 3 || pixels <= 0 || pixels > kMaxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return 2;
  }
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  out.resize(stride * static_cast<std::size_t>(height));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return err.pub.num_warnings > 0 ? 1 : 0;
}

}  // namespace

JpegDecodeResult DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  JpegDecodeResult result;
  if (data == nullptr || size == 0) {
    result.error = "empty picture data";
    return result;
  }
  ErrorManager err;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
  switch (DecodeInto(data, size, err, width, height, pixels)) {
    case 0:
      result.ok = true;
      result.image.width = width;
      result.image.height = height;
      result.image.pixels = std::move(pixels);
      break;
    case 1:
      result.error = err.message[0] ? err.message : "not a readable JPEG picture";
      break;
    default:
      result.error = "picture too big or of an unsupported kind";
      break;
  }
  return result;
}

JpegDecodeResult DecodeJpegFile(const std::string& path) {
  JpegDecodeResult result;
  auto fail = [&](const char* what, int code) {
    result.error = std::string(what) + " " + path + ": " + std::strerror(code);
    return result;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail("cannot open", errno);
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[16384];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int code = errno;
      ::close(fd);
      return fail("cannot read", code);
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  ::close(fd);
  result = DecodeJpeg(bytes.data(), bytes.size());
  if (!result.ok) result.error = path + ": " + result.error;
  return result;
}

}  // namespace velimo::forms
