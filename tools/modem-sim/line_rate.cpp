// Kernel headers only: <asm/termbits.h> cannot live beside <termios.h>.
#include "line_rate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace velimo::sim {

int LineRate(int fd) {
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace velimo::sim
