#include "util/background_work.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/test_platform.h"

namespace velimo {
namespace {

// The virtual-clock platform with the one thing it lacks here: watched
// descriptors, served by ServeUntil on the calling thread as an event loop
// serves them.
class WatchingPlatform : public test::TestPlatform {
 public:
  std::unique_ptr<PlatformWatch> WatchReadable(Waitable fd,
                                               std::function<void()> onReady) override {
    auto watch = std::make_unique<Watch>(*this);
    watches_.push_back({watch.get(), fd, std::move(onReady)});
    return watch;
  }
  // Serves ready descriptors until done() holds or a generous bound has
  // passed; returns done().
  bool ServeUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < until) {
      std::vector<Waitable> fds;
      for (const Entry& e : watches_) fds.push_back(e.fd);
      for (Waitable ready : WaitForAny(fds, 50)) {
        const auto e = std::find_if(watches_.begin(), watches_.end(),
                                    [&](const Entry& x) { return x.fd == ready; });
        if (e != watches_.end()) std::function<void()>(e->on_ready)();
      }
    }
    return done();
  }

 private:
  struct Watch : PlatformWatch {
    explicit Watch(WatchingPlatform& p) : platform(p) {}
    ~Watch() override {
      std::erase_if(platform.watches_, [this](const Entry& e) { return e.watch == this; });
    }
    WatchingPlatform& platform;
  };
  struct Entry {
    Watch* watch;
    Waitable fd;
    std::function<void()> on_ready;
  };
  std::vector<Entry> watches_;
};

using Job = Background<std::string, int>;

// The work reports 1, waits for the owner's cancel (a wait the token
// wakes), asks the owner something, reports 2 and ends "stopped".
std::string WaitForCancel(Job::Worker& worker, std::vector<std::thread::id>& workThreads) {
  workThreads.push_back(std::this_thread::get_id());
  worker.Report(1);
  while (!worker.Cancelled()) WaitForAny({worker.Token().Fd()}, -1);
  const int asked = worker.Call([] { return 40; });
  worker.Report(2);
  return "stopped after " + std::to_string(asked + 2);
}

struct Seen {
  std::vector<int> progress;
  std::vector<std::string> results;
  std::vector<std::thread::id> owner_threads;
};

TEST(BackgroundWork, ReportsAndResultReachTheOwnerThreadWhileItGoesOnServing) {
  WatchingPlatform platform;
  Seen seen;
  std::vector<std::thread::id> workThreads;
  auto job = std::make_unique<Job>(platform);
  job->Start([&](Job::Worker& w) { return WaitForCancel(w, workThreads); },
             [&](std::string result) {
               seen.owner_threads.push_back(std::this_thread::get_id());
               seen.results.push_back(std::move(result));
               job.reset();  // the owner may end the job from its result
             },
             [&](int p) {
               seen.owner_threads.push_back(std::this_thread::get_id());
               seen.progress.push_back(p);
             });
  // The first report arrives while the work still runs.
  ASSERT_TRUE(platform.ServeUntil([&] { return !seen.progress.empty(); }));
  EXPECT_TRUE(job->Running());
  EXPECT_TRUE(seen.results.empty());

  job->Cancel();
  ASSERT_TRUE(platform.ServeUntil([&] { return !seen.results.empty(); }));
  EXPECT_EQ(job, nullptr);
  EXPECT_EQ(seen.progress, (std::vector<int>{1, 2})) << "every report, in order, before the end";
  EXPECT_EQ(seen.results, (std::vector<std::string>{"stopped after 42"}));
  ASSERT_EQ(workThreads.size(), 1u);
  EXPECT_NE(workThreads.front(), std::this_thread::get_id());
  for (std::thread::id id : seen.owner_threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(BackgroundWork, DestroyedWhileRunningServesTheWorkToItsEndAndDeliversNothing) {
  WatchingPlatform platform;
  Seen seen;
  std::vector<std::thread::id> workThreads;
  auto job = std::make_unique<Job>(platform);
  job->Start([&](Job::Worker& w) { return WaitForCancel(w, workThreads); },
             [&](std::string result) { seen.results.push_back(std::move(result)); },
             [&](int p) { seen.progress.push_back(p); });
  ASSERT_TRUE(platform.ServeUntil([&] { return !seen.progress.empty(); }));
  // The work waits for the cancel, then for a call the owner serves while
  // it destroys the job: neither hangs.
  job.reset();
  EXPECT_EQ(seen.progress, std::vector<int>{1}) << "a report after the owner let go";
  EXPECT_TRUE(seen.results.empty()) << "a result delivered to an owner that let go";
}

TEST(BackgroundWork, WherePlatformCannotWatchTheWorkRunsAtOnceOnTheCaller) {
  test::TestPlatform platform;  // watches nothing
  Seen seen;
  std::vector<std::thread::id> workThreads;
  Job job(platform);
  job.Cancel();  // so the work does not wait
  job.Start([&](Job::Worker& w) { return WaitForCancel(w, workThreads); },
            [&](std::string result) { seen.results.push_back(std::move(result)); },
            [&](int p) { seen.progress.push_back(p); });
  EXPECT_EQ(seen.progress, (std::vector<int>{1, 2}));
  EXPECT_EQ(seen.results, (std::vector<std::string>{"stopped after 42"}));
  EXPECT_EQ(workThreads, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_FALSE(job.Running());

  // An error of the work reaches the caller as the result would.
  Job failing(platform);
  EXPECT_THROW(failing.Start([](Job::Worker&) -> std::string { throw std::runtime_error("x"); },
                             [&](std::string) { seen.results.push_back("wrong"); }),
               std::runtime_error);
  EXPECT_EQ(seen.results.size(), 1u);
  EXPECT_FALSE(failing.Running());
}

}  // namespace
}  // namespace velimo
