// Calls from a worker thread to the thread that owns the window's state.
//
// A long operation (a profile apply) runs on a thread of its own so that
// its pauses block that thread only; everything it does to the form model,
// the trace and the message boxes still happens on the owning thread. The
// worker queues a call and, for Call, waits for it; the owner learns of
// waiting calls through a descriptor that turns readable (watched by the
// platform's event loop) and runs them with RunPending.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "util/waitable.h"

namespace velimo {

class OwnerCalls {
 public:
  // The calling thread becomes the owner.
  OwnerCalls();
  ~OwnerCalls();
  OwnerCalls(const OwnerCalls&) = delete;
  OwnerCalls& operator=(const OwnerCalls&) = delete;

  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }
  // Readable while calls wait; RunPending empties it.
  Waitable WakeFd() const { return wake_fd_; }

  // Runs fn on the owner and waits until it has run; on the owner itself
  // it runs at once. An exception fn raises is raised here.
  void Call(const std::function<void()>& fn);
  template <class F>
  auto CallFor(F f) -> decltype(f()) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
      Call(f);
    } else {
      R result{};
      Call([&] { result = f(); });
      return result;
    }
  }
  // Queues fn for the owner without waiting (runs at once on the owner).
  void Post(std::function<void()> fn);

  // Owner: runs the calls waiting now; returns how many ran. Calls queued
  // while they run (by a nested event loop's turn) wait for the next round.
  int RunPending();

 private:
  struct Item {
    std::function<void()> fn;
    bool waited = false;
    bool done = false;
    std::exception_ptr error;
  };
  void Queue(const std::shared_ptr<Item>& item);

  std::thread::id owner_;
  Waitable wake_fd_ = kNoWaitable;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<Item>> queue_;
};

}  // namespace velimo
