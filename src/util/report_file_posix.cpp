#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/own_file.h"
#include "util/report_file.h"

namespace velimo {

namespace {

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string WriteReportFile(const std::string& path, std::string_view text, bool holdsSecrets) {
  const OwnFile target = FollowOwnLinks(path);
  if (target.error) return target.reason ? target.reason : std::strerror(target.error);
  if (target.exists && !S_ISREG(target.mode)) return "not a regular file";

  const mode_t mode = holdsSecrets ? 0600 : 0644;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target.path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    do {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                  mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return std::strerror(errno);
  bool ok = WriteAll(fd, text);
  // The umask only narrows; a secret report stays exactly its owner's.
  if (ok && holdsSecrets) ok = ::fchmod(fd, 0600) == 0;
  ok = ok && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), target.path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return std::strerror(error);
  }
  // The rename itself reaches the disk with the folder.
  const int folder = ::open(DirectoryOf(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return {};
}

}  // namespace velimo
