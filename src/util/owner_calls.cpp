#include "util/owner_calls.h"

#include <exception>

namespace velimo {

OwnerCalls::OwnerCalls() : owner_(std::this_thread::get_id()) {
  wake_fd_ = CreateWakeEvent();
}

OwnerCalls::~OwnerCalls() {
  DestroyWakeEvent(wake_fd_);
}

void OwnerCalls::Queue(const std::shared_ptr<Item>& item) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(item);
  }
  SignalWakeEvent(wake_fd_);
}

void OwnerCalls::Call(const std::function<void()>& fn) {
  if (OnOwnerThread()) {
    fn();
    return;
  }
  auto item = std::make_shared<Item>();
  item->fn = fn;
  item->waited = true;
  Queue(item);
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [&] { return item->done; });
  if (item->error) std::rethrow_exception(item->error);
}

void OwnerCalls::Post(std::function<void()> fn) {
  if (OnOwnerThread()) {
    fn();
    return;
  }
  auto item = std::make_shared<Item>();
  item->fn = std::move(fn);
  Queue(item);
}

int OwnerCalls::RunPending() {
  // Reset before the queue is taken: a call queued from here on signals
  // again.
  ResetWakeEvent(wake_fd_);
  std::deque<std::shared_ptr<Item>> now;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    now.swap(queue_);
  }
  // Every call is run and every waiting worker released, even when one
  // raises; a posted call's error goes on to the owner's error report.
  std::exception_ptr posted_error;
  for (const auto& item : now) {
    std::exception_ptr error;
    try {
      item->fn();
    } catch (...) {
      error = std::current_exception();
    }
    if (!item->waited && error && !posted_error) posted_error = error;
    std::lock_guard<std::mutex> lock(mutex_);
    item->error = error;
    item->done = true;
    cv_.notify_all();
  }
  if (posted_error) std::rethrow_exception(posted_error);
  return static_cast<int>(now.size());
}

}  // namespace velimo
