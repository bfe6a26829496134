// A search over many ports: a bounded number of threads probes them, and
// each port's result is told as soon as its probe has ended.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "scan/port_scan.h"

namespace velimo::scan {
namespace {

TEST(ScanPorts, ManyPortsShareBoundedThreadsAndEachIsToldOnceAsItEnds) {
  char folder[] = "/tmp/velimo-scan-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  ScanOptions options;
  options.roots = serial::SystemRoots::Under(dir);
  // Names that lead nowhere: each probe ends at its refused open.
  for (int i = 0; i < 30; ++i) options.ports.push_back(dir + "/none" + std::to_string(i));

  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::multiset<std::string> told;
  const std::vector<PortResult> results = ScanPorts(options, [&](const PortResult& r) {
    const std::lock_guard<std::mutex> lock(mutex);
    threads.insert(std::this_thread::get_id());
    told.insert(r.port);
  });

  // The probing threads are all joined only at the end, so none of their
  // ids is reused: the count is the number of threads started.
  EXPECT_LE(threads.size(), kMaxProbeThreads);
  EXPECT_EQ(told, std::multiset<std::string>(options.ports.begin(), options.ports.end()));
  ASSERT_EQ(results.size(), options.ports.size());
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].port, options.ports[i]) << "results in the order of the ports";
    EXPECT_EQ(results[i].outcome, PortResult::Outcome::Failed) << results[i].port;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velimo::scan
