// Serial devices coming and going, told by the kernel: inotify on /dev
// (device nodes appear and vanish there as adapters are plugged and
// pulled), on /dev/serial/by-id (udev's stable links, made a moment later)
// and on any other folder a port lives in. The descriptor turns readable
// on a change and costs nothing while nothing happens.
//
// inotify rather than a udev monitor: it needs no library, sees the same
// events in containers and on systems without udev (devtmpfs makes the
// nodes), and a test can drive it with plain files in a folder of its own.
//
// On Windows the registry's port list (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
// where serial drivers enter and remove their ports) is watched with
// RegNotifyChangeKeyValue; the waitable is the event it signals.
#pragma once

#include <string>
#include <vector>

#include "serial/port_identity.h"
#include "util/waitable.h"

namespace velimo::serial {

class DeviceWatcher {
 public:
  // Watches roots.dev and roots.by_id (the latter from when it appears).
  explicit DeviceWatcher(const SystemRoots& roots = {});
  ~DeviceWatcher();
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  // kNoWaitable (-1) when inotify could not be had; then nothing is ever
  // reported.
  Waitable Fd() const { return fd_; }
  // Also watch this folder (where a port outside /dev lives).
  void WatchFolder(const std::string& folder);
  // Reads what has happened; true when an entry was created, removed,
  // renamed or had its owner or mode changed (udev sets those after the
  // node appears).
  bool TakeChanges();

 private:
  void AddWatch(const std::string& folder);

  SystemRoots roots_;
  Waitable fd_ = kNoWaitable;
  int by_id_watch_ = -1;
  void* key_ = nullptr;  // Windows: the registry's port list, watched
  std::vector<std::string> folders_;
};

}  // namespace velimo::serial
