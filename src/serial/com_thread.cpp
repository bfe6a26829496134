#include "serial/com_thread.h"

#include <chrono>
#include <system_error>

#include "serial/com_error.h"

namespace velimo::serial {

// ---- HandOver ----

HandOver::HandOver() {
  try {
    wake_fd_ = CreateWakeEvent();
  } catch (const std::system_error& e) {
    throw EComPort(CError_WaitFailed, e.code().value());
  }
}

HandOver::~HandOver() {
  DestroyWakeEvent(wake_fd_);
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
  SignalWakeEvent(wake_fd_);
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
  ResetWakeEvent(wake_fd_);
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

// ---- TComThread: alike on every system --------------------------------------

void TComThread::Start() {
  active_.store(true, std::memory_order_release);
  thread_ = std::thread([this] { Execute(); });
}

void TComThread::Stop() {
  SignalWakeEvent(stop_fd_);
  hand_over_.RequestStop(session_);
}

void TComThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace velimo::serial
