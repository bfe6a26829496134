#include "serial/com_error.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace velimo::serial {

namespace {

const char* const kTexts[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string MessageOf(int code, int systemCode) {
  std::string text = ComErrorText(code);
  if (systemCode != -1) {
    // The wording stays as operators and logs know it;
    // on this platform the number is the errno.
    char tail[48];
    std::snprintf(tail, sizeof tail, " (win error code: %d)", systemCode);
    text += tail;
  }
  return text;
}

}  // namespace

const char* ComErrorText(int code) {
  if (code < 1 || code > 23) return "";
  return kTexts[code - 1];
}

EComPort::EComPort(int code, int systemCode)
    : Exception(MessageOf(code, systemCode)), code_(code), system_code_(systemCode) {}

bool EComPort::DeviceGone() const {
  // A hung-up tty answers every call with EIO; drivers of removed devices
  // also give ENXIO or ENODEV.
  if (system_code_ == EIO || system_code_ == ENXIO || system_code_ == ENODEV) return true;
#ifdef _WIN32
  // The code is GetLastError's. An unplugged adapter's handle answers
  // with ERROR_ACCESS_DENIED (5, EIO's number) or ERROR_INVALID_HANDLE (6,
  // ENXIO's), ERROR_NOT_READY (21; wine's answer once the device behind a
  // port has hung up), ERROR_BAD_COMMAND (22), ERROR_GEN_FAILURE (31) or
  // ERROR_DEVICE_REMOVED (1617).
  if (system_code_ == 21 || system_code_ == 22 || system_code_ == 31 || system_code_ == 1617)
    return true;
#endif
  return false;
}

EComPort::EComPort(int code, int systemCode, std::string reason)
    : Exception(MessageOf(code, systemCode)),
      code_(code),
      system_code_(systemCode),
      reason_(std::move(reason)) {}

}  // namespace velimo::serial
