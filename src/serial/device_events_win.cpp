#include <windows.h>

#include "serial/device_events.h"

namespace velimo::serial {

namespace {

constexpr const wchar_t* kPortList = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Asks for the next change of the key's values or subkeys; the event is
// signalled then. False when the key cannot be watched.
bool Arm(HKEY key, HANDLE event) {
  return RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                 event, TRUE) == ERROR_SUCCESS;
}

}  // namespace

DeviceWatcher::DeviceWatcher(const SystemRoots& roots) : roots_(roots) {
  HKEY key = nullptr;
  // The key exists only while a driver has a port to list; without it
  // there is nothing to watch yet, and nothing is reported.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortList, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) return;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event || !Arm(key, event)) {
    if (event) CloseHandle(event);
    RegCloseKey(key);
    return;
  }
  key_ = key;
  fd_ = event;
}

DeviceWatcher::~DeviceWatcher() {
  if (key_) RegCloseKey(static_cast<HKEY>(key_));
  if (fd_) CloseHandle(fd_);
}

void DeviceWatcher::AddWatch(const std::string&) {}

// Every port is in the one list; there are no folders to add.
void DeviceWatcher::WatchFolder(const std::string&) {}

bool DeviceWatcher::TakeChanges() {
  if (!fd_ || WaitForSingleObject(fd_, 0) != WAIT_OBJECT_0) return false;
  ResetEvent(fd_);
  // The next change is asked for before the caller looks at the list, so
  // one that comes while it looks is not lost.
  Arm(static_cast<HKEY>(key_), fd_);
  return true;
}

}  // namespace velimo::serial
