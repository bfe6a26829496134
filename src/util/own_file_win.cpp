#include <fcntl.h>
#include <io.h>
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
