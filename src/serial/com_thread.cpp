#include "serial/com_thread.h"

#include <errno.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "serial/com_error.h"

namespace velimo::serial {

namespace {

void SignalEventFd(int fd) {
  uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void ResetEventFd(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace

// ---- HandOver ----

HandOver::HandOver() {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw EComPort(CError_WaitFailed, errno);
}

HandOver::~HandOver() {
  if (wake_fd_ >= 0) close(wake_fd_);
}

void HandOver::SetWakeHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

HandOver::Outcome HandOver::Deliver(TComEvents events, uint64_t session, std::exception_ptr* error,
                                    bool hangUp) {
  auto request = std::make_shared<HandOverRequest>();
  request->events = events;
  request->hang_up = hangUp;
  request->session = session;
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(request);
    hook = hook_;
  }
  SignalEventFd(wake_fd_);
  cv_.notify_all();
  if (hook) hook();

  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [&] { return request->done || (stop_session_ >= session && request->started); });
  if (!request->done) return Outcome::Abandoned;
  if (request->error) {
    *error = request->error;
    return Outcome::Failed;
  }
  return Outcome::Ran;
}

int HandOver::RunPending(const std::function<void(const HandOverRequest&)>& run) {
  // Reset the descriptor before taking the queue: a batch queued after
  // this point signals it again.
  ResetEventFd(wake_fd_);
  // Only the batches waiting now. The event thread queues its next batch
  // as soon as this one is done, so under a steady stream "until the queue
  // is empty" could last as long as the stream and keep timers and the
  // window from their turn. A batch queued meanwhile has signalled the
  // descriptor again and is served on the next round of the event loop.
  size_t budget = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    budget = queue_.size();
  }
  int count = 0;
  for (; budget > 0; --budget) {
    std::shared_ptr<HandOverRequest> request;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      request = queue_.front();
      queue_.pop_front();
      request->started = true;
    }
    std::exception_ptr error;
    try {
      run(*request);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      request->done = true;
      request->error = error;
    }
    cv_.notify_all();
    ++count;
  }
  return count;
}

bool HandOver::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty();
}

void HandOver::RequestStop(uint64_t session) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session > stop_session_) stop_session_ = session;
  }
  cv_.notify_all();
}

void HandOver::MarkFinished(uint64_t session) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session > finished_session_) finished_session_ = session;
  }
  cv_.notify_all();
}

bool HandOver::Finished(uint64_t session) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_session_ >= session;
}

void HandOver::WaitForWorkOrFinish(uint64_t session, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
               [&] { return !queue_.empty() || finished_session_ >= session; });
}

// ---- TComThread ----

TComThread::TComThread(int fd, TComEvents events, uint64_t session, HandOver& handOver)
    : fd_(fd), events_(events), session_(session), hand_over_(handOver) {
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

void TComThread::Start() {
  active_.store(true, std::memory_order_release);
  thread_ = std::thread([this] { Execute(); });
}

void TComThread::Stop() {
  SignalEventFd(stop_fd_);
  hand_over_.RequestStop(session_);
}

void TComThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
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
