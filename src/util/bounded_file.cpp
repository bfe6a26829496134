#include "util/bounded_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "util/wide_text_win.h"
#endif

namespace velimo {

namespace {

constexpr const char* kNotRegular = "not a regular file";

#ifdef _WIN32
// The path reaches the system as UTF-16; the file opens in binary mode
// (the C library of Windows reads text mode by default), not inherited. A
// regular file never blocks there.
using FileStatus = struct _stat64;
int StatusOf(const std::string& path, FileStatus* st) {
  return _wstat64(Widen(path).c_str(), st);
}
int StatusOf(int fd, FileStatus* st) {
  return _fstat64(fd, st);
}
int OpenToRead(const std::string& path) {
  return _wopen(Widen(path).c_str(), O_RDONLY | O_BINARY | O_NOINHERIT);
}
#else
using FileStatus = struct stat;
int StatusOf(const std::string& path, FileStatus* st) {
  return ::stat(path.c_str(), st);
}
int StatusOf(int fd, FileStatus* st) {
  return ::fstat(fd, st);
}
int OpenToRead(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}
#endif

BoundedRead Refused(int error, std::string reason) {
  BoundedRead r;
  r.error = error;
  r.reason = std::move(reason);
  return r;
}

BoundedRead SystemError(int error) {
  return Refused(error, std::strerror(error));
}

BoundedRead TooLarge(size_t limit, unsigned long long size) {
  BoundedRead r = Refused(EFBIG, "larger than " + SizeInWords(limit));
  r.size = size;
  return r;
}

}  // namespace

std::string SizeInWords(size_t bytes) {
  if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0)
    return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (size_t{1} << 10) && bytes % (size_t{1} << 10) == 0)
    return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

BoundedRead ReadBoundedFile(const std::string& path, size_t limit) {
  FileStatus st;
  if (StatusOf(path, &st) != 0) return SystemError(errno);
  if (!S_ISREG(st.st_mode)) return Refused(EINVAL, kNotRegular);
  if (static_cast<unsigned long long>(st.st_size) > limit)
    return TooLarge(limit, static_cast<unsigned long long>(st.st_size));

  int fd;
  do {
    fd = OpenToRead(path);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return SystemError(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return ReadBoundedOpenFile(fd, limit);
}

BoundedRead ReadBoundedOpenFile(int fd, size_t limit) {
  // What was opened is what counts: the name may have been given to
  // something else since it was looked at.
  FileStatus st;
  if (StatusOf(fd, &st) != 0) return SystemError(errno);
  if (!S_ISREG(st.st_mode)) return Refused(EINVAL, kNotRegular);
  if (static_cast<unsigned long long>(st.st_size) > limit)
    return TooLarge(limit, static_cast<unsigned long long>(st.st_size));

  BoundedRead r;
  r.size = static_cast<unsigned long long>(st.st_size);
  // Kernel attributes report a page as their size whatever they hold, so
  // the size is only a first guess of what is read.
  r.text.reserve(std::min(static_cast<size_t>(st.st_size), limit));
  char buffer[65536];
  for (;;) {
    // One byte beyond the limit tells a file that grew past it.
    const size_t want = std::min(sizeof buffer, limit + 1 - r.text.size());
    const ssize_t n = ::read(fd, buffer, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemError(errno);
    if (n == 0) break;
    r.text.append(buffer, static_cast<size_t>(n));
    if (r.text.size() > limit) return TooLarge(limit, r.text.size());
  }
  r.ok = true;
  return r;
}

}  // namespace velimo
