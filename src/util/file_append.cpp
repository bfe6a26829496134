#include "util/file_append.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/errors.h"

namespace velimo {

namespace {

[[noreturn]] void RaiseIo(const std::string& path, int error) {
  std::string message = "I/O error ";
  message.append(std::to_string(error)).append(" (").append(std::strerror(error));
  message.append(") on ").append(path);
  throw EInOutError(message, error);
}

}  // namespace

void AppendLineToFile(const std::string& path, std::string_view line) {
  // One open in append mode creates a missing file and keeps an existing one
  // whole. It never makes a directory, so a line aimed at a directory that is
  // not there fails here and leaves nothing behind.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseIo(path, errno);

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
