// The port's event thread and the hand-over of its line events to the
// user-interface thread.
//
// The event thread sleeps in the kernel until the device or its stop event
// wakes it, then puts the batch of line events in a small queue and blocks
// until the user-interface thread has run it, so the port is only ever
// used from one thread at a time. The user-interface thread learns of
// waiting work through a wake hook (the Qt view posts an event) or by
// polling a descriptor (headless loops), and runs the queue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/com_types.h"
#include "util/waitable.h"

namespace velimo::serial {

// One batch of line events on its way to the user-interface thread.
struct HandOverRequest {
  TComEvents events;
  uint64_t session = 0;  // which opening of the port produced it
  // The device hung up (an adapter pulled out): the last batch of this
  // opening.
  bool hang_up = false;
  bool started = false;
  bool done = false;
  std::exception_ptr error;
};

class HandOver {
 public:
  enum class Outcome { Ran, Failed, Abandoned };

  // Creates the wake descriptor; raises EComPort when the system has none
  // left to give.
  HandOver();
  ~HandOver();
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  // Readable while batches wait (an eventfd; an event on Windows); reset
  // by RunPending.
  Waitable WakeFd() const { return wake_fd_; }
  // Called on the event thread after a batch was queued.
  void SetWakeHook(std::function<void()> hook);

  // Event thread: queues a batch, wakes the user-interface thread and
  // blocks until the batch has run (Ran, or Failed with the error it
  // raised in *error), or until a stop for this session arrives while the
  // batch is running (Abandoned: the close was called from inside it).
  Outcome Deliver(TComEvents events, uint64_t session, std::exception_ptr* error,
                  bool hangUp = false);

  // User-interface thread: runs the batches waiting now through run; an error
  // it raises is carried back to the batch's event thread. Returns the
  // number of batches run.
  int RunPending(const std::function<void(const HandOverRequest&)>& run);
  bool Pending() const;

  // User-interface thread: releases a Deliver of this session that waits
  // on a batch already running further up the stack.
  void RequestStop(uint64_t session);
  // Event thread: its loop has ended.
  void MarkFinished(uint64_t session);
  bool Finished(uint64_t session) const;
  // User-interface thread: sleeps until a batch waits, the session's
  // thread has finished, or the time is up.
  void WaitForWorkOrFinish(uint64_t session, int timeoutMs);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<HandOverRequest>> queue_;
  std::function<void()> hook_;
  uint64_t stop_session_ = 0;
  uint64_t finished_session_ = 0;
  Waitable wake_fd_ = kNoWaitable;
};

// The event thread of one opening of the port.
class TComThread {
 public:
  // fd: the open device, or what its transport signals (it stays open
  // until the thread has ended); events: what the owner wants to hear of.
  // hungUp: where the waitable cannot tell that the device went away (a
  // Windows event), asked after each wake-up; a hang-up ends the thread
  // as on POSIX. Raises EComPort when the stop event or the wait set
  // cannot be created.
  TComThread(Waitable fd, TComEvents events, uint64_t session, HandOver& handOver,
             std::function<bool()> hungUp = {});
  ~TComThread();
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  void Start();
  // Signals the stop event; the loop ends at its next wake-up.
  void Stop();
  // Joins the thread; the caller must have made sure it ends (Stop, and
  // batches served).
  void WaitFor();
  // False once the loop has been left, for whatever reason.
  bool Active() const { return active_.load(std::memory_order_acquire); }
  uint64_t Session() const { return session_; }

 private:
  void Execute();

  Waitable fd_;
  TComEvents events_;
  uint64_t session_;
  HandOver& hand_over_;
  std::function<bool()> hung_up_;
  Waitable stop_fd_ = kNoWaitable;
  int epoll_fd_ = -1;  // POSIX only
  std::thread thread_;
  std::atomic<bool> active_{false};
};

}  // namespace velimo::serial
