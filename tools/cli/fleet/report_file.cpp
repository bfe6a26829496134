#include "fleet/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velimo::cli::fleet {

std::string WriteReportFile(const std::string& path, const std::string& text, bool secret) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, secret ? 0600 : 0644);
  if (fd < 0) return std::strerror(errno);
  std::string error;
  if (secret && fchmod(fd, 0600) != 0) error = std::strerror(errno);
  for (size_t done = 0; error.empty() && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = std::strerror(errno);
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (close(fd) != 0 && error.empty()) error = std::strerror(errno);
  return error;
}

}  // namespace velimo::cli::fleet
