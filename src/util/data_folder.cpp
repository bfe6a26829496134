#include "util/data_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace velimo {

namespace fs = std::filesystem;

namespace {

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string AccountHome() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !Absolute(found->pw_dir))
    return {};
  return found->pw_dir;
}

}  // namespace

DataFolderChoice UserDataFolder(const char* xdgDataHome, const char* home) {
  if (Absolute(xdgDataHome)) return {fs::path(xdgDataHome) / "velimo", {}};
  std::string base = Absolute(home) ? std::string(home) : AccountHome();
  if (base.empty()) return {{}, "no home folder is known (HOME is not set)"};
  return {fs::path(base) / ".local" / "share" / "velimo", {}};
}

DataFolderChoice UserDataFolder() {
  return UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

std::optional<std::string> EnterFolder(const fs::path& folder) {
  // Each missing folder on the way is made in turn, owner-only; one that
  // exists is left as it is.
  fs::path made;
  for (const fs::path& part : folder.lexically_normal()) {
    made /= part;
    if (made == made.root_path() || part.empty()) continue;
    if (mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
      return "cannot make " + made.string() + ": " + std::strerror(errno);
  }
  if (chdir(folder.c_str()) != 0)
    return "cannot enter " + folder.string() + ": " + std::strerror(errno);
  return std::nullopt;
}

}  // namespace velimo
