#include "util/file_append.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/errors.h"
#include "util/own_file.h"

namespace velimo {

namespace {

[[noreturn]] void RaiseIo(const std::string& path, int error, const char* reason = nullptr) {
  const std::string words = reason ? reason : std::strerror(error);
  std::string message = "I/O error ";
  message.append(std::to_string(error)).append(" (").append(words);
  message.append(") on ").append(path);
  throw EInOutError(message, error, words, path);
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

  // A record is in the file whole or not at all: a write cut short (the
  // disk full, the file size limit) is taken back to where the file ended.
  struct stat before;
  const bool sized = ::fstat(fd, &before) == 0;
  auto fail = [&](int error) {
    if (sized && ::ftruncate(fd, before.st_size) != 0) {
      // Nothing more to do: the error below says the log failed.
    }
    ::close(fd);
    RaiseIo(path, error);
  };
  size_t written = 0;
  while (written < record.size()) {
    const ssize_t n = ::write(fd, record.data() + written, record.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    if (n == 0) fail(EIO);
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && errno != EINTR) RaiseIo(path, errno);
}

}  // namespace velimo
