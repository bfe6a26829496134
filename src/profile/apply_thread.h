// A profile apply on a thread of its own, so that the window stays live
// for the seconds it takes: the worker keeps the apply's pauses and its
// waits, while every line is written, and the reads, the form, the trace
// and the boxes are served, on the window's thread, which holds the port
// (see ModemSession::SetWorkerCalls): one writer on the wire, one thread
// for the receive assembly. The window's thread is held for one line's
// bytes at a time. Meanwhile the window holds every control that sends and
// shows itself busy.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "profile/operations.h"
#include "util/owner_calls.h"

namespace velimo::profile {

class ApplyThread {
 public:
  // host: its progress and stop_requested are called on the window's
  // thread, as in a run on that thread.
  ApplyThread(forms::ModemSession& modem, Host host);
  // A run still going is stopped before its next line and waited for
  // (its result is dropped).
  ~ApplyThread();
  ApplyThread(const ApplyThread&) = delete;
  ApplyThread& operator=(const ApplyThread&) = delete;

  // Starts the apply; called on the window's thread, which must go on
  // serving its event loop. done gets the result there once the worker
  // has ended and the window is released. A platform that cannot watch a
  // descriptor (the tests' virtual clock) runs the apply here, at once.
  void Start(Profile profile, std::function<void(ApplyResult)> done);
  // The run ends before its next line; the lines not sent say so.
  void RequestStop() { stop_.store(true); }
  bool StopRequested() const { return stop_.load(); }
  bool Running() const { return running_; }

 private:
  Host WorkerHost();
  void Begin();
  void Finish();

  forms::ModemSession& modem_;
  Host host_;
  OwnerCalls calls_;
  std::unique_ptr<PlatformWatch> watch_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> worker_ended_{false};
  bool running_ = false;
  bool result_wanted_ = true;
};

}  // namespace velimo::profile
