// Writing a profile file on POSIX: a new file beside it, 0600 from its
// first byte when it holds secrets, synced and renamed over the old one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "profile/profile_file.h"
#include "util/errors.h"

namespace velimo::profile {

void WriteProfileFile(const std::string& path, const Profile& profile) {
  const std::string text = ProfileText(profile);
  const mode_t mode = profile.HasSecrets() ? 0600 : 0644;
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  auto fail = [&](const std::string& why) -> void {
    throw Exception("Unable to write to " + path + ": " + why);
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) fail(std::strerror(errno));
  std::string_view rest = text;
  bool ok = true;
  while (ok && !rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) rest.remove_prefix(static_cast<size_t>(n));
  }
  // The umask never widens a secret file; fchmod keeps it exactly 0600.
  if (ok && profile.HasSecrets()) ok = ::fchmod(fd, 0600) == 0;
  ok = ok && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(ok ? errno : err);
    ::unlink(temp.c_str());
    fail(why);
  }
}

}  // namespace velimo::profile
