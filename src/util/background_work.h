// Work that would hold the window for seconds (a port search, a probe of a
// returning adapter, a network open, a profile apply) runs on a thread of
// its own; its reports and its result reach the owner (the thread that
// made the job: the window's) through the platform's watch on the job's
// call queue, so the owner's state is only ever touched there.
//
// The owner cancels through the token, which the work polls and its waits
// watch. Destroying the job cancels it and waits for the work (serving
// the calls it waits on), and nothing more reaches the owner. Where the
// platform watches nothing (the tests' virtual clock), Start runs the
// work at once on the owner's thread.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "util/cancel_token.h"
#include "util/owner_calls.h"
#include "util/platform.h"

namespace velimo {

// A job whose work returns a Result and may Report Progress on the way.
template <class Result, class Progress = std::monostate>
class Background {
 public:
  // What the work sees of its job.
  class Worker {
   public:
    explicit Worker(Background& job) : job_(job) {}
    bool Cancelled() const { return job_.Cancelled(); }
    const CancelToken& Token() const { return job_.token_; }
    // To the owner's onProgress, in order, unless the owner let go.
    void Report(Progress p) {
      if (!job_.calls_) return job_.on_progress_(std::move(p));  // on the owner
      job_.calls_->Post([&job = job_, p = std::move(p)]() mutable {
        if (!job.dropped_) job.on_progress_(std::move(p));
      });
    }
    // Runs f on the owner's thread and waits for its value.
    template <class F>
    auto Call(F f) -> decltype(f()) {
      return job_.calls_ ? job_.calls_->CallFor(std::move(f)) : f();
    }

   private:
    Background& job_;
  };

  // The calling thread is the owner.
  explicit Background(Platform& platform) : platform_(platform) {
    try {
      calls_ = std::make_unique<OwnerCalls>();
    } catch (const std::system_error&) {
      // No wake-up left: the work will run at once, on this thread.
    }
  }
  ~Background() {
    if (!thread_.joinable()) return;
    dropped_ = true;
    watch_.reset();
    token_.Cancel();
    // The work may wait for a call of its own: serve them until its last
    // hand-over has come.
    while (!ended_) {
      try {
        WaitForAny({calls_->WakeFd()}, -1);
      } catch (const std::system_error&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      try {
        calls_->RunPending();
      } catch (const std::exception&) {
        // A call that failed; the job is being dropped anyway.
      }
    }
    thread_.join();
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // From Start until the result has been handed over.
  bool Running() const { return running_; }
  void Cancel() { token_.Cancel(); }
  bool Cancelled() const { return token_.Cancelled(); }
  // The queue the work's calls to the owner wait in; null where the work
  // runs on the owner's thread.
  OwnerCalls* Calls() { return calls_.get(); }

  // done gets the result on the owner's thread (an exception of the work
  // is raised there instead) and may destroy the job.
  void Start(
      std::function<Result(Worker&)> work, std::function<void(Result)> done,
      std::function<void(Progress)> onProgress = [](Progress) {}) {
    if (running_) return;
    running_ = true;
    ended_ = false;
    result_.reset();
    error_ = nullptr;
    on_progress_ = std::move(onProgress);
    finish_ = [this, done = std::move(done)] {
      running_ = false;
      if (error_) std::rethrow_exception(error_);
      done(std::move(*result_));  // last: done may destroy the job
    };
    auto run = [this, work = std::move(work)] {
      Worker worker(*this);
      try {
        result_.emplace(work(worker));
      } catch (...) {
        error_ = std::current_exception();
      }
    };
    watch_ = calls_ ? platform_.WatchReadable(calls_->WakeFd(), [this] { Serve(); }) : nullptr;
    if (!watch_) {
      // Nothing would tell this thread of the end: the work runs here.
      run();
      return std::function<void()>(std::move(finish_))();
    }
    thread_ = std::thread([this, run = std::move(run)] {
      run();
      calls_->Post([this] { ended_ = true; });
    });
  }

 private:
  void Serve() {
    // A report that opens a box serves this watch again from the box's
    // loop: the end is handed over by the outermost turn only.
    std::exception_ptr error;
    ++serving_;
    try {
      calls_->RunPending();
    } catch (...) {
      error = std::current_exception();
    }
    --serving_;
    if (serving_ == 0 && ended_ && running_) {
      thread_.join();
      std::function<void()>(std::move(finish_))();
    }
    if (error) std::rethrow_exception(error);
  }

  Platform& platform_;
  CancelToken token_;
  std::unique_ptr<OwnerCalls> calls_;
  std::unique_ptr<PlatformWatch> watch_;
  std::function<void(Progress)> on_progress_;
  std::function<void()> finish_;
  std::optional<Result> result_;
  std::exception_ptr error_;
  std::thread thread_;
  // The owner's side, touched on its thread only.
  bool running_ = false;
  bool ended_ = false;    // the work's last hand-over has been taken
  bool dropped_ = false;  // the owner is destroying the job
  int serving_ = 0;       // Serve nested in a box's event loop
};

}  // namespace velimo
