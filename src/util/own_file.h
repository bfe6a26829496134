// The tool's own files (the settings file, the log's day files and their
// folder), reached so that nothing put in their place can hang a write,
// redirect it or take it:
// - a symbolic link is followed only when it belongs to this process's
//   user, to root, or to the owner of the folder that holds it
//   (LinkMayBeFollowed). The folder's owner could put any file there in
//   its place anyway, as root could anywhere: such a link gives nobody a
//   power they lacked, and an administrator may point the settings file or
//   the log at shared storage with one. A link of any other user is
//   refused in every folder (the kernel does so only in sticky folders
//   such as /tmp), so a link planted in a shared folder cannot send the
//   tool's writes (or its reads) to a file of their choice;
// - opening never waits (a FIFO without a reader, a device);
// - anything but a regular file is refused, before it is opened.
#pragma once

#include <sys/types.h>

#include <string>

namespace velimo {

struct OwnFile {
  int fd = -1;                   // the open file, or -1
  int error = 0;                 // errno when it could not be reached or opened
  const char* reason = nullptr;  // the words for a refusal of the tool's own
  std::string path;              // where the links led
  // What stands at path, as the last look found it: its kind is known
  // without a second look. False when nothing is there.
  bool exists = false;
  mode_t mode = 0;
};

// Follows the symbolic links of path's last component under the rule
// above, up to 40 of them. The path reached is a missing file or one that
// is no link; error is EACCES ("symbolic link owned by another user") or
// ELOOP when the links are not followed to the end. fd stays -1.
OwnFile FollowOwnLinks(const std::string& path);

// The rule above for one link: linkOwner owns the link, folderOwner the
// folder it stands in, user is the process's effective user.
#ifndef _WIN32
bool LinkMayBeFollowed(uid_t linkOwner, uid_t folderOwner, uid_t user);
#endif

// Opens the file at path with flags (O_RDONLY, O_RDWR, O_WRONLY | O_APPEND |
// O_CREAT ...; O_CLOEXEC, O_NOCTTY, O_NONBLOCK and O_NOFOLLOW are added) and
// mode for a file it creates. An existing file that is not a regular file is
// refused with EINVAL ("not a regular file") without being opened. The
// caller closes fd.
OwnFile OpenOwnFile(const std::string& path, int flags, mode_t mode = 0600);

// Makes the folder at path (its parent must exist), readable and writable
// by its owner only: mode 0700 on POSIX, a protected access list for the
// owner and the system on Windows. Returns 0, or the errno of the failure
// (EEXIST when something is already there).
int MakeOwnFolder(const std::string& path);

// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string DirectoryOf(const std::string& path);

}  // namespace velimo
