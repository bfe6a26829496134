#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string_view>

#include "serial/port_holders.h"

namespace velimo::serial {

namespace {

// Each process entry of /proc: its number and folder.
void ForEachProcess(const std::string& proc,
                    const std::function<void(int, const std::string&)>& fn) {
  DIR* dir = opendir(proc.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    const char* end = name + std::char_traits<char>::length(name);
    int pid = 0;
    auto [ptr, ec] = std::from_chars(name, end, pid);
    if (ec != std::errc() || ptr != end || pid <= 0) continue;
    fn(pid, proc + "/" + name);
  }
  closedir(dir);
}

std::string CommandName(const std::string& folder) {
  std::ifstream in(folder + "/comm");
  std::string line;
  std::getline(in, line);
  return line;
}

// The processes holding a flock on the file (major, minor, inode), from
// /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF".
std::vector<int> LockersOf(const std::string& proc, const struct stat& st) {
  std::vector<int> pids;
  std::ifstream in(proc + "/locks");
  std::string line;
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, type, advisory, mode, pid, where;
    if (!(fields >> id >> type >> advisory >> mode >> pid >> where)) continue;
    if (type != "FLOCK" || where != file) continue;
    int value = 0;
    auto [ptr, ec] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    if (ec == std::errc() && value > 0) pids.push_back(value);
  }
  return pids;
}

// The number of a pseudo-terminal's slave ("/dev/pts/3" gives 3), -1 for
// any other device.
int PtyIndexOf(const std::string& target) {
  static constexpr std::string_view kPts = "/dev/pts/";
  if (target.compare(0, kPts.size(), kPts) != 0) return -1;
  const char* begin = target.data() + kPts.size();
  const char* end = target.data() + target.size();
  int index = -1;
  auto [ptr, ec] = std::from_chars(begin, end, index);
  return ec == std::errc() && ptr == end && begin != end ? index : -1;
}

// The slave a master descriptor drives, from the "tty-index:" line the
// kernel writes in the descriptor's fdinfo; -1 when it tells none.
int MasterIndexOf(const std::string& fdinfo) {
  std::ifstream in(fdinfo);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("tty-index:", 0) != 0) continue;
    const auto digit = line.find_first_of("0123456789");
    if (digit == std::string::npos) return -1;
    int index = -1;
    std::from_chars(line.data() + digit, line.data() + line.size(), index);
    return index;
  }
  return -1;
}

}  // namespace

std::vector<ProcessRef> HoldersOf(const std::string& path, const std::string& proc) {
  std::vector<ProcessRef> holders;
  char real[PATH_MAX];
  if (!realpath(path.c_str(), real)) return holders;
  const std::string target = real;
  const int ptyIndex = PtyIndexOf(target);
  const int self = static_cast<int>(getpid());
  ForEachProcess(proc, [&](int pid, const std::string& folder) {
    if (pid == self) return;
    DIR* fds = opendir((folder + "/fd").c_str());
    if (!fds) return;  // another user's process
    bool holds = false;
    bool ownOtherSide = false;
    while (dirent* e = readdir(fds)) {
      if (e->d_name[0] == '.') continue;
      char link[PATH_MAX];
      const ssize_t n = readlink((folder + "/fd/" + e->d_name).c_str(), link, sizeof link - 1);
      if (n <= 0) continue;
      const std::string_view opened(link, static_cast<size_t>(n));
      if (opened == target) holds = true;
      // The process at the other end of a pseudo-terminal (a simulator, a
      // test peer) keeps its slave open as a matter of course: the line
      // is still free for whoever comes to talk to it.
      if (ptyIndex >= 0 && (opened == "/dev/ptmx" || opened == "/dev/pts/ptmx") &&
          MasterIndexOf(folder + "/fdinfo/" + e->d_name) == ptyIndex)
        ownOtherSide = true;
    }
    closedir(fds);
    if (holds && !ownOtherSide) holders.push_back(ProcessRef{pid, CommandName(folder)});
  });
  // Of several holders, the one that locked the device is the one that
  // keeps others out (a pseudo-terminal's own end, a shell with the line
  // open, hold it without locking).
  struct stat st;
  if (holders.size() > 1 && stat(real, &st) == 0) {
    const std::vector<int> lockers = LockersOf(proc, st);
    std::vector<ProcessRef> locking;
    for (const ProcessRef& p : holders)
      if (std::find(lockers.begin(), lockers.end(), p.pid) != lockers.end()) locking.push_back(p);
    if (!locking.empty()) holders = locking;
  }
  return holders;
}

std::vector<ProcessRef> ProcessesNamed(const std::string& name, const std::string& proc) {
  std::vector<ProcessRef> found;
  ForEachProcess(proc, [&](int pid, const std::string& folder) {
    if (CommandName(folder) == name) found.push_back(ProcessRef{pid, name});
  });
  return found;
}

}  // namespace velimo::serial
