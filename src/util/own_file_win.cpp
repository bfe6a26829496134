#include <windows.h>
// after windows.h
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "util/own_file.h"
#include "util/owner_only_win.h"
#include "util/wide_text_win.h"

namespace velimo {

// On Windows a symbolic link takes a privilege to make, and the folders
// the tool writes in (%APPDATA%\Velimo, the working folder) are the
// user's own: the path is taken as it is. Files are opened in binary mode
// (MinGW's default text mode would turn each "\r\n" into "\r\r\n") and not
// inherited by child processes.
int MakeOwnFolder(const std::string& path) {
  // Full control for the owner and the system, nothing inherited from the
  // parent folder: what 0700 means on Linux.
  OwnerOnlyAccess access(OwnerOnlyAccess::For::Folder);
  const BOOL made = CreateDirectoryW(Widen(path).c_str(), access.Attributes());
  const DWORD error = made ? 0 : GetLastError();
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
  if ((flags & O_CREAT) && !(flags & O_EXCL) && !(mode & 0077) && !r.exists) {
    // A file for its owner alone (a log's day file) is made with its own
    // access list, as 0600 is given on Linux whatever the folder allows;
    // the open below then finds it.
    OwnerOnlyAccess access(OwnerOnlyAccess::For::File);
    const HANDLE made =
        CreateFileW(Widen(r.path).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, access.Attributes(),
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
  }
  const int pmode = (mode & 0400 ? _S_IREAD : 0) | (mode & 0200 ? _S_IWRITE : 0);
  r.fd = _wopen(Widen(r.path).c_str(), flags | _O_BINARY | _O_NOINHERIT, pmode);
  if (r.fd < 0) r.error = errno;
  return r;
}

}  // namespace velimo
