// Why a COM port could not be opened, in the words an operator can act
// on. The error is the system's code (GetLastError) as the Windows port
// raised it.
#include <windows.h>

#include "serial/com_error.h"
#include "serial/open_refusal.h"
#include "serial/win/win_port.h"
#include "util/wide_text_win.h"

namespace velimo::serial {

namespace {

void MissingReasons(const std::string& port, const SystemRoots& roots,
                    const std::string& rememberedSerial, std::vector<std::string>& out) {
  out.push_back("No such device: " + port + " (unplugged or renamed).");
  if (rememberedSerial.empty()) return;
  auto ports = IdentifyPorts(roots);
  if (!ports) return;
  for (const PortIdentity& id : *ports) {
    if (id.serial != rememberedSerial) continue;
    out.push_back("The adapter with serial " + rememberedSerial + " is now " + id.path + ".");
    return;
  }
}

}  // namespace

std::vector<std::string> RefusalReasons(const std::string& port, int comCode, int error,
                                        const SystemRoots& roots,
                                        const std::string& rememberedSerial) {
  std::vector<std::string> out;
  const DWORD code = static_cast<DWORD>(error);
  if (comCode != CError_OpenFailed) {
    out.push_back("The port opened but refused its set-up" +
                  (error > 0 ? ": " + SystemErrorText(code) : std::string()) + ".");
    return out;
  }
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      // Windows opens a COM port for one program at a time and does not
      // say which holds it.
      out.push_back("In use by another program.");
      break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      MissingReasons(port, roots, rememberedSerial, out);
      break;
    case ERROR_BAD_DEVICE:
      out.push_back("Not a serial device: " + port + " is not a serial port.");
      break;
    default:
      out.push_back("The system refused to open " + port + ": " +
                    (error > 0 ? SystemErrorText(code) : std::string("unknown error")) + ".");
      break;
  }
  return out;
}

// Looked at by opening the port without sharing and closing it at once.
std::string PortState(const std::string& path, const SystemRoots&) {
  HANDLE h = CreateFileW(win::WinPort::DevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return "free";
  }
  switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "in use";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "missing";
    default:
      return "no permission";
  }
}

}  // namespace velimo::serial
