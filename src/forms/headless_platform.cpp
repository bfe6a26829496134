#include "forms/headless_platform.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <limits>
#include <system_error>
#include <thread>

#include "serial/com_port.h"
#include "util/precise_pause.h"
#include "util/waitable.h"

namespace velimo::forms {

namespace {

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void PrintBox(std::string_view text) {
  std::string line = "message: ";
  line.append(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// Keeps the count of open boxes right however the reader's callback ends.
struct BoxCounter {
  explicit BoxCounter(int& n) : n_(n) { ++n_; }
  ~BoxCounter() { --n_; }
  int& n_;
};

}  // namespace

// A repeating timer on the real clock. Its ticks are run by the event loop
// of the platform that made it; the next tick is due one interval after
// the previous one was served, as a desktop timer does.
class HeadlessPlatform::Timer : public PlatformTimer {
 public:
  Timer(HeadlessPlatform& owner, std::function<void()> onTick)
      : owner_(owner), on_tick_(std::move(onTick)) {
    owner_.timers_.push_back(this);
  }
  ~Timer() override {
    auto& all = owner_.timers_;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
  }
  void Start(int intervalMs) override {
    interval_ = std::max(intervalMs, 1);
    due_ = SteadyMs() + interval_;
    active_ = true;
  }
  void Stop() override { active_ = false; }
  bool Active() const override { return active_; }

  int64_t Due() const { return due_; }
  void Tick() {
    // Scheduled before the tick runs: the tick may stop or restart it.
    due_ = SteadyMs() + interval_;
    if (on_tick_) on_tick_();
  }

 private:
  HeadlessPlatform& owner_;
  std::function<void()> on_tick_;
  int interval_ = 1;
  int64_t due_ = 0;
  bool active_ = false;
};

HeadlessPlatform::HeadlessPlatform() = default;

HeadlessPlatform::~HeadlessPlatform() = default;

void HeadlessPlatform::ShowMessage(std::string_view text) {
  BoxCounter count(open_boxes_);
  if (on_message) {
    on_message(text);
  } else {
    PrintBox(text);
  }
  BoxOpen();
}

bool HeadlessPlatform::Confirm(std::string_view text) {
  BoxCounter count(open_boxes_);
  bool yes = false;
  if (on_confirm) {
    yes = on_confirm(text);
  } else {
    std::string line = "confirm: ";
    line.append(text);
    line += " -> No\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  BoxOpen();
  return yes;
}

void HeadlessPlatform::ShowError(std::string_view text) {
  BoxCounter count(open_boxes_);
  if (on_error) {
    on_error(text);
  } else {
    PrintBox(text);
  }
  BoxOpen();
}

void HeadlessPlatform::BoxOpen() {
  // The box's own event loop: what waits is served before it closes.
  if (box_open_ms > 0) {
    RunFor(box_open_ms);
  } else {
    ProcessEvents();
  }
}

void HeadlessPlatform::Pause(int ms) {
  // Blocks the user-interface thread and serves nothing, on purpose:
  // received bytes wait in the driver's queue meanwhile.
  PrecisePause(ms);
}

LocalDateTime HeadlessPlatform::Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const time_t seconds = system_clock::to_time_t(now);
  tm local{};
  localtime_r(&seconds, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,       local.tm_hour,
                       local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

int64_t HeadlessPlatform::MonotonicMs() {
  return SteadyMs();
}

std::unique_ptr<PlatformTimer> HeadlessPlatform::CreateTimer(std::function<void()> onTick) {
  return std::make_unique<Timer>(*this, std::move(onTick));
}

void HeadlessPlatform::RestartApplication() {
  restart_requested_ = true;
  if (on_restart) on_restart();
}

class HeadlessPlatform::DescriptorWatch : public PlatformWatch {
 public:
  explicit DescriptorWatch(HeadlessPlatform& owner) : owner_(owner) {}
  ~DescriptorWatch() override {
    auto& r = owner_.readables_;
    r.erase(
        std::remove_if(r.begin(), r.end(), [this](const Readable& x) { return x.watch == this; }),
        r.end());
  }

 private:
  HeadlessPlatform& owner_;
};

std::unique_ptr<PlatformWatch> HeadlessPlatform::WatchReadable(Waitable fd,
                                                               std::function<void()> onReady) {
  if (fd == kNoWaitable) return nullptr;
  auto watch = std::make_unique<DescriptorWatch>(*this);
  readables_.push_back(Readable{watch.get(), fd, std::move(onReady)});
  return watch;
}

void HeadlessPlatform::ServeReadable(const std::vector<Waitable>& ready) {
  // A callback may end its own watch or another: look each up again.
  const std::vector<Readable> readables = readables_;
  for (const Readable& r : readables) {
    if (std::find(ready.begin(), ready.end(), r.fd) == ready.end()) continue;
    const bool still = std::any_of(readables_.begin(), readables_.end(),
                                   [&](const Readable& x) { return x.watch == r.watch; });
    if (still && r.on_ready) r.on_ready();
  }
}

void HeadlessPlatform::WatchPort(serial::TComPort& port) {
  for (const Watch& w : watches_)
    if (w.port == &port) return;
  watches_.push_back(Watch{&port});
}

void HeadlessPlatform::UnwatchPort(serial::TComPort& port) {
  watches_.erase(std::remove_if(watches_.begin(), watches_.end(),
                                [&](const Watch& w) { return w.port == &port; }),
                 watches_.end());
}

int64_t HeadlessPlatform::NextDeadline() const {
  int64_t next = std::numeric_limits<int64_t>::max();
  for (const Timer* t : timers_)
    if (t->Active()) next = std::min(next, t->Due());
  return next;
}

void HeadlessPlatform::ServeOnce(int waitMs) {
  std::vector<Waitable> items;
  items.reserve(watches_.size() + readables_.size());
  for (const Watch& w : watches_) items.push_back(w.port->WakeFd());
  for (const Readable& r : readables_) items.push_back(r.fd);

  const int64_t now = SteadyMs();
  const int64_t deadline = NextDeadline();
  if (deadline != std::numeric_limits<int64_t>::max()) {
    waitMs = static_cast<int>(std::clamp<int64_t>(deadline - now, 0, waitMs));
  }
  std::vector<Waitable> ready;
  if (!items.empty()) {
    try {
      ready = WaitForAny(items, waitMs);
    } catch (const std::system_error&) {
      // A failed wait serves what it can this round, as a timed-out one.
    }
  } else if (waitMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  ++wakeups_;
  if (!readables_.empty()) ServeReadable(ready);
  ServePorts(ready);
  ServeDueTimers();
}

void HeadlessPlatform::ServePorts(const std::vector<Waitable>& readyFds) {
  // A batch may close or unwatch a port: work from a copy and look each
  // port up again before serving it.
  const std::vector<Watch> watches = watches_;
  for (const Watch& w : watches) {
    const bool still = std::any_of(watches_.begin(), watches_.end(),
                                   [&](const Watch& x) { return x.port == w.port; });
    if (!still) continue;
    const bool ready =
        std::find(readyFds.begin(), readyFds.end(), w.port->WakeFd()) != readyFds.end();
    if (!ready && !w.port->HasPendingEvents()) continue;
    if (w.port->ProcessPendingEvents() > 0) last_port_activity_ms_ = SteadyMs();
  }
}

void HeadlessPlatform::ServeDueTimers() {
  // Each timer that is due now ticks once in this round; a tick that takes
  // longer than its interval does not starve the port.
  const int64_t now = SteadyMs();
  std::vector<Timer*> due;
  for (Timer* t : timers_)
    if (t->Active() && t->Due() <= now) due.push_back(t);
  std::sort(due.begin(), due.end(),
            [](const Timer* a, const Timer* b) { return a->Due() < b->Due(); });
  for (Timer* t : due) {
    // An earlier tick may have destroyed or stopped it.
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    if (!t->Active() || t->Due() > now) continue;
    ++ticks_served_;
    t->Tick();
    last_tick_ms_ = SteadyMs();
  }
}

void HeadlessPlatform::ProcessEvents() {
  ServeOnce(0);
}

bool HeadlessPlatform::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const int64_t until = SteadyMs() + std::max(timeoutMs, 0);
  for (;;) {
    if (done && done()) return true;
    const int64_t left = until - SteadyMs();
    if (left <= 0) return done ? done() : true;
    // Short rounds while a condition is watched, so one that turns true
    // without an event (a clock, another thread) is seen soon; with none,
    // the loop sleeps until an event or a timer wakes it, and an idle
    // program uses no processor time at all.
    const int64_t round = done ? std::min<int64_t>(left, 50) : std::min<int64_t>(left, INT_MAX);
    ServeOnce(static_cast<int>(round));
  }
}

void HeadlessPlatform::RunFor(int ms) {
  RunUntil(nullptr, ms);
}

}  // namespace velimo::forms
