// Reading a file Velimo is handed (a profile, a bench's units file, an
// attribute the kernel publishes about a port) so that whatever stands at
// its name cannot hang the program or fill its memory:
// - the kind is looked at before anything is opened, and only a regular
//   file is read ("not a regular file"): a FIFO would wait for a writer
//   for ever, /dev/zero never ends, and opening a tty can move its lines;
// - the open never waits, should the name be swapped for a FIFO between
//   the look and the open, and the opened file is looked at again;
// - each kind of file has a size it cannot sensibly exceed; a larger file
//   is refused from its size alone, before a byte of it is read, and one
//   that grows while it is read is refused when it passes the limit.
// Symbolic links are followed: the operator names these files, and what
// they lead to is checked as above.
#pragma once

#include <cstddef>
#include <string>

namespace velimo {

// The limits of the files read so.
inline constexpr size_t kProfileFileLimit = size_t{1} << 20;      // 1 MiB
inline constexpr size_t kUnitsFileLimit = size_t{16} << 20;       // 16 MiB
inline constexpr size_t kSystemAttributeLimit = size_t{4} << 10;  // 4 KiB

struct BoundedRead {
  bool ok = false;
  std::string text;             // the whole file when ok
  int error = 0;                // errno: EINVAL not regular, EFBIG too large, or the system's
  std::string reason;           // in words: "not a regular file", "larger than 1 MiB", strerror
  unsigned long long size = 0;  // the size the file had when it was looked at
};

// Reads the whole file at path when it is a regular file of at most limit
// bytes.
BoundedRead ReadBoundedFile(const std::string& path, size_t limit);

// The same for a file just opened (by the rules of util/own_file.h); the
// caller closes fd.
BoundedRead ReadBoundedOpenFile(int fd, size_t limit);

// "1 MiB", "16 MiB", "4 KiB", "100 bytes": a limit in words.
std::string SizeInWords(size_t bytes);

}  // namespace velimo
