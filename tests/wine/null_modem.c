/* Preloaded into wine by scripts/build-windows: a pseudo-terminal answers
 * the modem-line requests as a null-modem cable would, and never becomes
 * wine's controlling terminal.
 *
 * Wine's COM ports read and drive the modem lines with TIOCMGET, TIOCMBIS,
 * TIOCMBIC and TIOCMSET. A Linux pseudo-terminal has no modem lines and
 * refuses them, so under wine every WaitCommEvent ends at once as aborted
 * and EscapeCommFunction and GetCommModemStatus fail. Here a refused
 * request on a pseudo-terminal is answered instead: the lines we drive
 * (DTR, RTS) are kept per descriptor and read back, and the far end's
 * lines (CTS, DSR, DCD) read as asserted, as through a null modem to a
 * device that is ready. Every other request, and every request on another
 * kind of file, goes to the C library unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Linux's pseudo-terminal majors: the multiplexer and the slaves. */
static int is_pseudo_terminal(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  unsigned m = major(st.st_rdev);
  return (m >= 136 && m <= 143) || (m == 5 && minor(st.st_rdev) == 2);
}

enum { kMaxFd = 4096 };
static int driven[kMaxFd]; /* DTR and RTS as last set, per descriptor */
static char known[kMaxFd];

/* Wine's server opens a COM port's device without O_NOCTTY; being a
 * session leader without a terminal, it would take the pseudo-terminal as
 * its controlling terminal, and a simulator that ends (or vanishes, as an
 * unplugged adapter does, on purpose in the tests) would hang it up. */
static mode_t mode_of(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
}

int open(const char *path, int flags, ...) {
  static int (*real)(const char *, int, ...);
  if (!real) real = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_of(flags, args);
  va_end(args);
  return real(path, flags | O_NOCTTY, mode);
}

int open64(const char *path, int flags, ...) {
  static int (*real)(const char *, int, ...);
  if (!real) real = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open64");
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_of(flags, args);
  va_end(args);
  return real(path, flags | O_NOCTTY, mode);
}

int openat(int dir, const char *path, int flags, ...) {
  static int (*real)(int, const char *, int, ...);
  if (!real) real = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat");
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_of(flags, args);
  va_end(args);
  return real(dir, path, flags | O_NOCTTY, mode);
}

int openat64(int dir, const char *path, int flags, ...) {
  static int (*real)(int, const char *, int, ...);
  if (!real) real = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat64");
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_of(flags, args);
  va_end(args);
  return real(dir, path, flags | O_NOCTTY, mode);
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real_ioctl)(int, unsigned long, ...);
  if (!real_ioctl) real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);

  int result = real_ioctl(fd, request, arg);
  int lines_request = request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC ||
                      request == TIOCMSET;
  if (result == 0 || !lines_request || fd < 0 || fd >= kMaxFd || !arg ||
      !is_pseudo_terminal(fd))
    return result;

  if (!known[fd]) { /* a port opens with DTR and RTS raised */
    driven[fd] = TIOCM_DTR | TIOCM_RTS;
    known[fd] = 1;
  }
  int bits = *(int *)arg & (TIOCM_DTR | TIOCM_RTS);
  if (request == TIOCMGET) *(int *)arg = driven[fd] | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
  else if (request == TIOCMBIS) driven[fd] |= bits;
  else if (request == TIOCMBIC) driven[fd] &= ~bits;
  else driven[fd] = bits;
  errno = 0;
  return 0;
}
