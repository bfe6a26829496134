#include <windows.h>

#include <system_error>

#include "util/waitable.h"

namespace velimo {

std::vector<Waitable> WaitForAny(const std::vector<Waitable>& items, int timeoutMs) {
  std::vector<Waitable> ready;
  if (items.empty()) {
    if (timeoutMs > 0) Sleep(static_cast<DWORD>(timeoutMs));
    return ready;
  }
  if (items.size() > MAXIMUM_WAIT_OBJECTS)
    throw std::system_error(ERROR_INVALID_PARAMETER, std::system_category(), "too many waits");
  const DWORD woken =
      WaitForMultipleObjects(static_cast<DWORD>(items.size()), items.data(), FALSE,
                             timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (woken == WAIT_TIMEOUT) return ready;
  if (woken == WAIT_FAILED)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "WaitForMultipleObjects");
  // The wait names the first that is signalled; the others are looked at
  // without waiting. (An auto-reset event is taken by its look: only a
  // manual-reset one may be watched here together with others.)
  for (size_t i = 0; i < items.size(); ++i) {
    if (i == woken - WAIT_OBJECT_0 || WaitForSingleObject(items[i], 0) == WAIT_OBJECT_0)
      ready.push_back(items[i]);
  }
  return ready;
}

Waitable CreateWakeEvent() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateEvent");
  return event;
}

void DestroyWakeEvent(Waitable event) {
  if (event) CloseHandle(event);
}

void SignalWakeEvent(Waitable event) {
  SetEvent(event);
}

void ResetWakeEvent(Waitable event) {
  ResetEvent(event);
}

}  // namespace velimo
