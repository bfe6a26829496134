#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <sys/stat.h>

#include <cerrno>

#include "util/own_file.h"
#include "util/wide_text_win.h"

namespace velimo {

// On Windows a symbolic link takes a privilege to make, and the folders
// the tool writes in (%APPDATA%\Velimo, the working folder) are the
// user's own: the path is taken as it is. Files are opened in binary mode
// (MinGW's default text mode would turn each "\r\n" into "\r\r\n") and not
// inherited by child processes; a file made here takes its folder's access
// list, which for the data folder is the owner's alone.
int MakeOwnFolder(const std::string& path) {
  // Full control for the owner and the system, nothing inherited from the
  // parent folder: what 0700 means on Linux.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)",
                                                       SDDL_REVISION_1, &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const BOOL made = CreateDirectoryW(Widen(path).c_str(), descriptor ? &attributes : nullptr);
  const DWORD error = made ? 0 : GetLastError();
  if (descriptor) LocalFree(descriptor);
  switch (error) {
    case 0:
      return 0;
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    default:
      return EIO;
  }
}

OwnFile FollowOwnLinks(const std::string& path) {
  OwnFile r;
  r.path = path;
  struct _stat64 st;
  if (_wstat64(Widen(path).c_str(), &st) == 0) {
    r.exists = true;
    r.mode = static_cast<mode_t>(st.st_mode);
  }
  return r;
}

OwnFile OpenOwnFile(const std::string& path, int flags, mode_t mode) {
  OwnFile r = FollowOwnLinks(path);
  if (r.exists && !S_ISREG(r.mode)) {
    r.error = EINVAL;
    r.reason = "not a regular file";
    return r;
  }
  const int pmode = (mode & 0400 ? _S_IREAD : 0) | (mode & 0200 ? _S_IWRITE : 0);
  r.fd = _wopen(Widen(r.path).c_str(), flags | _O_BINARY | _O_NOINHERIT, pmode);
  if (r.fd < 0) r.error = errno;
  return r;
}

}  // namespace velimo
