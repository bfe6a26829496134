// The event thread on POSIX: epoll on the device and an eventfd as the
// stop event; the hand-over's wake-up is an eventfd too.
#include <errno.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include "serial/com_error.h"
#include "serial/com_thread.h"
#include "util/waitable.h"

namespace velimo::serial {

// ---- TComThread ----

TComThread::TComThread(Waitable fd, TComEvents events, uint64_t session, HandOver& handOver,
                       std::function<bool()> hungUp)
    : fd_(fd),
      events_(events),
      session_(session),
      hand_over_(handOver),
      hung_up_(std::move(hungUp)) {
  stop_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (stop_fd_ < 0) throw EComPort(CError_WaitFailed, errno);
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  int err = epoll_fd_ < 0 ? errno : 0;
  if (!err) {
    epoll_event stop{};
    stop.events = EPOLLIN;
    stop.data.fd = stop_fd_;
    // The device is watched edge-triggered: a wake-up means new bytes (or
    // a hang-up), so bytes that a handler leaves unread are reported again
    // only with the next arrival instead of waking the thread in a loop.
    epoll_event device{};
    device.events = EPOLLIN | EPOLLET | EPOLLRDHUP;
    device.data.fd = fd_;
    if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, stop_fd_, &stop) < 0 ||
        epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd_, &device) < 0) {
      err = errno;
    }
  }
  if (err) {
    if (epoll_fd_ >= 0) close(epoll_fd_);
    close(stop_fd_);
    throw EComPort(CError_WaitFailed, err);
  }
}

TComThread::~TComThread() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
  close(epoll_fd_);
  close(stop_fd_);
}

void TComThread::Execute() {
  bool cleanUp = true;
  for (;;) {
    epoll_event ready[2];
    int n = epoll_wait(epoll_fd_, ready, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // the wait itself failed
    }
    bool stop = false;
    uint32_t device = 0;
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.fd == stop_fd_) {
        stop = true;
      } else {
        device |= ready[i].events;
      }
    }
    if (stop) break;
    // The device went away (an unplugged adapter, the far side of a
    // pseudo-terminal closed): nothing will arrive any more, and waiting
    // again would return at once for ever. The user-interface thread is
    // told at once, so the window does not learn of it only at the next
    // command; a hung-up tty has nothing left to read.
    const bool hangUp = device & (EPOLLHUP | EPOLLERR | EPOLLRDHUP);

    TComEvents batch;
    if ((device & EPOLLIN) && !hangUp) {
      if (events_.Contains(evRxChar)) batch.Include(evRxChar);
      // Line errors arrive with the bytes they spoiled; the batch asks the
      // port to look at the driver's error counters.
      if (events_.Contains(evError)) batch.Include(evError);
    }
    if (batch.Empty() && !hangUp) continue;

    std::exception_ptr error;
    HandOver::Outcome outcome = hand_over_.Deliver(batch, session_, &error, hangUp);
    if (hangUp) break;
    if (outcome == HandOver::Outcome::Failed) {
      // An error raised while the batch ran ends the thread at once; the
      // port stays open but delivers nothing more until it is reopened.
      // When the error came from a device that has hung up meanwhile, the
      // hang-up is still told.
      cleanUp = false;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
        std::exception_ptr ignored;
        hand_over_.Deliver(TComEvents(), session_, &ignored, true);
      }
      break;
    }
    if (outcome == HandOver::Outcome::Abandoned) break;
  }
  if (cleanUp) {
    // Whatever waits in the queues is not delivered any more.
    tcflush(fd_, TCIOFLUSH);
  }
  active_.store(false, std::memory_order_release);
  hand_over_.MarkFinished(session_);
}

}  // namespace velimo::serial
