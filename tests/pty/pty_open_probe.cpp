// pty_open_probe [--as-nobody] [--raw-open] PATH
//
// Tries to open PATH as another process would and prints "code=C errno=E":
// with the port component (C is the EComPort code, 0 on success), or with a
// bare open() (--raw-open; C is 0 or 1). --as-nobody drops root first, so
// the kernel's exclusive-tty check and file permissions apply.
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "serial/com_port.h"

int main(int argc, char** argv) {
  bool asNobody = false;
  bool rawOpen = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--as-nobody") == 0) {
      asNobody = true;
    } else if (std::strcmp(argv[i], "--raw-open") == 0) {
      rawOpen = true;
    } else {
      path = argv[i];
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: pty_open_probe [--as-nobody] [--raw-open] PATH\n");
    return 2;
  }
  if (asNobody && getuid() == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
      std::perror("drop privileges");
      return 2;
    }
  }
  if (rawOpen) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::printf("code=%d errno=%d\n", fd < 0 ? 1 : 0, fd < 0 ? errno : 0);
    if (fd >= 0) close(fd);
    return 0;
  }
  velimo::serial::TComPort port;
  port.SetPort(path);
  try {
    port.OpenPort();
    std::printf("code=0 errno=0\n");
  } catch (const velimo::serial::EComPort& e) {
    std::printf("code=%d errno=%d\n", e.Code(), e.ErrorCode());
  }
  return 0;
}
