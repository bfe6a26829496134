// The tool's own files (the settings file, the log's day files and their
// folder, profiles and reports it writes), reached so that nothing put in
// their place or on the way to them can hang a write, redirect it or take
// it:
// - a symbolic link is followed only when it belongs to this process's
//   user or to root (LinkMayBeFollowed), wherever it stands: in the last
//   component of a path and in every folder on the way. A link of the
//   folder's owner counts no more than any other: in a shared or open
//   folder (mode 1777, 0777) its owner may be anyone, and a link of theirs
//   would send root's writes (or reads) to a file of their choosing. The
//   kernel refuses such links only in sticky folders, and only where it
//   was told to;
// - the folder a file goes into is reached one name at a time from the
//   working folder (or /) with openat and no-follow, and the file is opened
//   or replaced relative to that folder, so a folder on the way swapped for
//   a link after it was judged changes nothing;
// - what is reached tells whether it belongs to the user or root
//   (foreignOwner): the settings file and the log folder of another user
//   are not used (util callers decide; see settings/ and trace/);
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
  // What stands at path belongs to neither this process's user nor root.
  // Always false on Windows.
  bool foreignOwner = false;
};

// Follows the symbolic links of path (its folders and its last component)
// under the rule above, up to 40 of them. The path reached is a missing
// file or one that is no link; error is EACCES ("symbolic link owned by
// another user"), ENOTDIR, ENOENT (a folder on the way is missing) or
// ELOOP when the links are not followed to the end. fd stays -1.
OwnFile FollowOwnLinks(const std::string& path);

#ifndef _WIN32
// The rule above for one link: linkOwner owns it, user is the process's
// effective user.
bool LinkMayBeFollowed(uid_t linkOwner, uid_t user);

// A folder reached as above, one name at a time: fd is an O_PATH
// descriptor of it for openat and the like (-1 with error and reason when
// it cannot be reached), owner the folder's owner. Closes fd when it goes.
struct OwnFolder {
  int fd = -1;
  int error = 0;
  const char* reason = nullptr;
  uid_t owner = 0;
  OwnFolder() = default;
  OwnFolder(OwnFolder&& other) noexcept;
  OwnFolder& operator=(OwnFolder&& other) noexcept;
  ~OwnFolder();
};
OwnFolder OpenOwnFolder(const std::string& path);

// Follows path as FollowOwnLinks does and hands over the folder that holds
// what was reached, the last component of r.path to be used relative to it.
OwnFile FollowOwnLinks(const std::string& path, OwnFolder& folder);
#endif

// The last component of a path ("Velimo.INI" of "./Velimo.INI").
std::string LeafOf(const std::string& path);

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
