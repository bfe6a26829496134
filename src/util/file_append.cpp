#include "util/file_append.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/errors.h"
#include "util/own_file.h"

namespace velimo {

namespace {

[[noreturn]] void RaiseIo(const std::string& path, int error, const char* reason = nullptr) {
  std::string message = "I/O error ";
  message.append(std::to_string(error)).append(" (").append(reason ? reason : std::strerror(error));
  message.append(") on ").append(path);
  throw EInOutError(message, error);
}

}  // namespace

void AppendLineToFile(const std::string& path, std::string_view line) {
  // One open in append mode creates a missing file and keeps an existing one
  // whole. It never makes a directory, so a line aimed at a directory that is
  // not there fails here and leaves nothing behind.
  // The log holds what was said to the modem: its files are the owner's
  // alone.
  const OwnFile file = OpenOwnFile(path, O_WRONLY | O_APPEND | O_CREAT, 0600);
  if (file.fd < 0) RaiseIo(path, file.error, file.reason);
  const int fd = file.fd;

  // Line and line end go out in one buffer, so a line is never split from
  // its CR LF by another writer appending to the same file.
  std::string record;
  record.reserve(line.size() + 2);
  record.append(line);
  record.append("\r\n");

  size_t written = 0;
  while (written < record.size()) {
    const ssize_t n = ::write(fd, record.data() + written, record.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      RaiseIo(path, error);
    }
    if (n == 0) {
      ::close(fd);
      RaiseIo(path, EIO);
    }
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && errno != EINTR) RaiseIo(path, errno);
}

}  // namespace velimo
