#include "profile/apply_thread.h"

#include <exception>
#include <system_error>

namespace velimo::profile {

ApplyThread::ApplyThread(forms::ModemSession& modem, Host host)
    : modem_(modem), host_(std::move(host)) {}

ApplyThread::~ApplyThread() {
  if (!thread_.joinable()) return;
  result_wanted_ = false;
  RequestStop();
  // The worker may be waiting for a call of its own: serve them until it
  // has ended.
  while (!worker_ended_.load()) {
    try {
      WaitForAny({calls_.WakeFd()}, 10);
    } catch (const std::system_error&) {
      // Then the calls are looked at every turn of the loop instead.
    }
    try {
      calls_.RunPending();
    } catch (const std::exception&) {
      // A progress report that failed; the run is being dropped anyway.
    }
  }
  Finish();
}

Host ApplyThread::WorkerHost() {
  Host host = host_;
  host.stop_requested = [this, own = host_.stop_requested] {
    return stop_.load() || (own && calls_.CallFor(own));
  };
  host.progress = [this, own = host_.progress](int done, int total, const SettingDef& def) {
    if (own) calls_.Post([own, done, total, &def] { own(done, total, def); });
  };
  return host;
}

void ApplyThread::Begin() {
  running_ = true;
  stop_.store(false);
  worker_ended_.store(false);
  result_wanted_ = true;
  modem_.HoldSending(true);
  modem_.platform().BeginBusy();
}

void ApplyThread::Finish() {
  if (thread_.joinable()) thread_.join();
  modem_.SetWorkerCalls(nullptr);
  watch_.reset();
  if (!running_) return;
  running_ = false;
  modem_.platform().EndBusy();
  modem_.HoldSending(false);
}

void ApplyThread::Start(Profile profile, std::function<void(ApplyResult)> done) {
  if (running_) return;
  Begin();
  watch_ = modem_.platform().WatchReadable(calls_.WakeFd(), [this] { calls_.RunPending(); });
  if (!watch_) {
    ApplyResult result;
    {
      ProfileRunner runner(modem_, WorkerHost());
      result = runner.Apply(profile);
    }
    Finish();
    if (done) done(std::move(result));
    return;
  }
  modem_.SetWorkerCalls(&calls_);
  thread_ = std::thread(
      [this, host = WorkerHost(), profile = std::move(profile), done = std::move(done)]() mutable {
        ApplyResult result;
        try {
          ProfileRunner runner(modem_, host);
          result = runner.Apply(profile);
        } catch (const std::exception& e) {
          // What the window's thread raised for the worker (a trace file that
          // cannot be written, say); the settings' outcomes are not known.
          result = {};
          result.error = e.what();
        }
        calls_.Post([this, result = std::move(result), done = std::move(done)]() mutable {
          if (!result_wanted_) return;
          Finish();
          if (done) done(std::move(result));
        });
        worker_ended_.store(true);
      });
}

}  // namespace velimo::profile
