#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>

#include "serial/device_events.h"

namespace velimo::serial {

namespace {

constexpr uint32_t kEntryEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF;

}  // namespace

DeviceWatcher::DeviceWatcher(const SystemRoots& roots) : roots_(roots) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  AddWatch(roots_.dev);
  // /dev/serial appears with the first adapter; its by-id folder then
  // gets a watch of its own.
  AddWatch(roots_.dev + "/serial");
  by_id_watch_ = inotify_add_watch(fd_, roots_.by_id.c_str(), kEntryEvents);
}

DeviceWatcher::~DeviceWatcher() {
  if (fd_ >= 0) close(fd_);
}

void DeviceWatcher::AddWatch(const std::string& folder) {
  if (fd_ < 0) return;
  if (std::find(folders_.begin(), folders_.end(), folder) != folders_.end()) return;
  if (inotify_add_watch(fd_, folder.c_str(), kEntryEvents) >= 0) folders_.push_back(folder);
}

void DeviceWatcher::WatchFolder(const std::string& folder) {
  if (folder.empty() || folder == roots_.by_id) return;
  AddWatch(folder);
}

bool DeviceWatcher::TakeChanges() {
  if (fd_ < 0) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->mask & IN_IGNORED) {
        if (e->wd == by_id_watch_) by_id_watch_ = -1;
        continue;
      }
      changed = true;
    }
  }
  // The by-id folder comes and goes with the first and last adapter.
  if (changed && by_id_watch_ < 0)
    by_id_watch_ = inotify_add_watch(fd_, roots_.by_id.c_str(), kEntryEvents);
  return changed;
}

}  // namespace velimo::serial
