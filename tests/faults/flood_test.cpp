// A modem that floods the line: ten megabytes of report lines at full speed
// through a pseudo-terminal into the program (the form model with the real
// port on the headless event loop). Every line is echoed and parsed, in
// order; the trace pane stays within its bound; timers keep ticking between
// lines. And a megabyte without a line feed: dropped without a write past
// the line buffer, and the next line is parsed as usual.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fault_fixture.h"
#include "trace/trace_log.h"

namespace velimo::faults {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // freed memory is held back on purpose
#else
constexpr bool kSanitized = false;
#endif

const std::string kPrefix = "Source ID = ";

// Resident memory of this process now, in kB.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

// The number at the end of "Source ID = N" (with or without its line end),
// -1 for any other text.
long NumberIn(const std::string& text) {
  if (text.rfind(kPrefix, 0) != 0) return -1;
  return std::strtol(text.c_str() + kPrefix.size(), nullptr, 10);
}

// Checks, line by line and without keeping them, that numbered lines come
// in order: 1, 2, 3 ...
struct InOrder {
  long seen = 0;
  long wrong = 0;
  std::string first_wrong;
  void Next(long number, const std::string& what) {
    ++seen;
    if (number != seen && wrong++ == 0)
      first_wrong = what + " " + std::to_string(number) + " at " + std::to_string(seen);
  }
};

// Watches the source identifier label, which every report line sets: the
// parses in order, each after its own echo.
class SidWatch : public forms::ControlObserver {
 public:
  void ControlChanged(forms::Control& c, forms::ControlProperty property) override {
    if (property != forms::ControlProperty::Text) return;
    const long n = std::strtol(static_cast<forms::TLabel&>(c).Caption().c_str(), nullptr, 10);
    parsed.Next(n, "parse");
    if (echoes && echoes->seen != n && parsed_before_echo++ == 0)
      first_early =
          "line " + std::to_string(n) + " parsed with " + std::to_string(echoes->seen) + " echoed";
  }
  InOrder parsed;
  const InOrder* echoes = nullptr;
  long parsed_before_echo = 0;
  std::string first_early;
};

class FloodTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    char name[128] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    device_ = name;
  }
  void TearDown() override {
    StopWriter();
    if (session_started_) {
      Main().LB_S_SID.SetObserver(nullptr);
      Main().Trace().Pane().SetObserver(nullptr);
    }
    FaultTest::TearDown();
    close(master_);
    close(slave_);
  }

  // The program connected to the pseudo-terminal, sTavi chosen; the pane's
  // changes and the label's values recorded from here on.
  void ConnectToThePty() {
    StartProgram();
    session_started_ = true;
    S().SelectModel('s');
    cli::LinkChoice link;
    link.port = device_;
    ASSERT_TRUE(S().Connect(link));
    ASSERT_TRUE(TakeMessages().empty());
    watch_ = std::make_unique<SidWatch>();
    watch_->echoes = &echoes_;
    Main().LB_S_SID.SetObserver(watch_.get());
    trace::TracePane& pane = Main().Trace().Pane();
    pane.TakeChanges();
    pane.SetObserver([this, &pane] {
      const trace::PaneChanges c = pane.TakeChanges();
      for (size_t i = c.first; i < c.first + c.count; ++i) {
        const std::string& line = pane.Lines()[i];
        if (line.rfind(kPrefix, 0) != 0) continue;
        echoes_.Next(NumberIn(line), "echo");
        longest_echo_ = std::max(longest_echo_, line.size());
      }
      most_displayed_ = std::max(most_displayed_, pane.DisplayedLineCount());
    });
  }

  // Writes bytes into the far end from a thread of its own, as fast as the
  // line takes them.
  void StartWriter(std::string bytes) {
    StopWriter();
    stop_ = false;
    payload_ = std::move(bytes);
    writer_ = std::thread([this] {
      size_t done = 0;
      while (done < payload_.size() && !stop_) {
        const size_t want = std::min<size_t>(payload_.size() - done, 1 << 16);
        const ssize_t n = write(master_, payload_.data() + done, want);
        if (n > 0) {
          done += static_cast<size_t>(n);
        } else {
          pollfd p{master_, POLLOUT, 0};
          poll(&p, 1, 20);
        }
        // The program's own commands come back on this side; take them.
        char sink[256];
        while (read(master_, sink, sizeof sink) > 0) {
        }
      }
      written_ = done;
    });
  }
  void StopWriter() {
    stop_ = true;
    if (writer_.joinable()) writer_.join();
  }

  int master_ = -1;
  int slave_ = -1;
  std::string device_;
  bool session_started_ = false;
  std::unique_ptr<SidWatch> watch_;
  InOrder echoes_;
  size_t longest_echo_ = 0;
  size_t most_displayed_ = 0;
  std::string payload_;
  std::thread writer_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> written_{0};
};

TEST_F(FloodTest, TenMegabytesOfReportLinesAllEchoedAndParsedInOrder) {
  ConnectToThePty();
  std::string flood;
  long lines = 0;
  while (flood.size() < 10u * 1024 * 1024) flood += kPrefix + std::to_string(++lines) + "\r\n";

  // A timer of the program's platform, as the response watchdog and the
  // window's own timers are: it must get its turn between lines.
  // Each tick notes when it ran and how far the flood had come.
  std::vector<std::pair<int64_t, long>> ticks;
  std::unique_ptr<PlatformTimer> probe =
      Platform().CreateTimer([&] { ticks.emplace_back(NowMs(), watch_->parsed.seen); });
  probe->Start(10);
  long base_kb = ResidentKb();
  long peak_kb = base_kb;
  std::unique_ptr<PlatformTimer> memory =
      Platform().CreateTimer([&] { peak_kb = std::max(peak_kb, ResidentKb()); });
  memory->Start(50);

  const size_t flood_bytes = flood.size();
  const int64_t start = NowMs();
  StartWriter(std::move(flood));
  const bool all = Platform().RunUntil([&] { return watch_->parsed.seen >= lines; }, 80000);
  const int64_t took = NowMs() - start;
  probe->Stop();
  memory->Stop();
  StopWriter();
  ASSERT_TRUE(all) << watch_->parsed.seen << " of " << lines << " lines parsed in " << took
                   << " ms";

  // Parsed and echoed, each once and in order, each echo before its parse.
  EXPECT_EQ(watch_->parsed.seen, lines);
  EXPECT_EQ(watch_->parsed.wrong, 0) << watch_->parsed.first_wrong;
  EXPECT_EQ(echoes_.seen, lines);
  EXPECT_EQ(echoes_.wrong, 0) << echoes_.first_wrong;
  EXPECT_EQ(watch_->parsed_before_echo, 0) << watch_->first_early;
  EXPECT_EQ(Value("Edit_S_Sid"), std::to_string(lines));
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());

  // The pane kept within its bound: only the newest lines are there.
  EXPECT_LE(most_displayed_, trace::TraceLog::kMaxReceivedPaneLines);
  EXPECT_EQ(NumberIn(Main().Trace().Pane().Lines().back()), lines);
  if (!kSanitized) {
    EXPECT_LT(peak_kb - base_kb, 16 * 1024) << "memory grew with the flood";
  }

  // Timers ticked all through the flood, between the batches of lines the
  // port hands over, not only before and after it. (How long the longest
  // wait was depends on the machine; it is printed, not judged.)
  int64_t longest_gap = 0;
  std::vector<long> inside;  // progress seen by ticks in the middle of it
  for (size_t i = 0; i < ticks.size(); ++i) {
    if (i > 0) longest_gap = std::max(longest_gap, ticks[i].first - ticks[i - 1].first);
    const long at = ticks[i].second;
    if (at > 0 && at < lines && (inside.empty() || inside.back() != at)) inside.push_back(at);
  }
  EXPECT_GE(inside.size(), 10u) << "timers ticked only around the flood, not within it";

  RecordProperty("lines", std::to_string(lines));
  RecordProperty("flood_ms", std::to_string(took));
  RecordProperty("longest_tick_gap_ms", std::to_string(longest_gap));
  RecordProperty("ticks_within", std::to_string(inside.size()));
  RecordProperty("memory_growth_kb", std::to_string(peak_kb - base_kb));
  std::printf(
      "flood: %ld lines (%zu bytes) in %lld ms; ticks within %zu, longest gap %lld ms; memory "
      "+%ld kB\n",
      lines, flood_bytes, static_cast<long long>(took), inside.size(),
      static_cast<long long>(longest_gap), peak_kb - base_kb);
}

TEST_F(FloodTest, AMegabyteWithoutALineFeedIsDroppedAndTheNextLineParsed) {
  ConnectToThePty();
  // The over-long line even starts like a report line: no piece of it may
  // be taken for one.
  std::string junk = kPrefix + "999";
  for (int i = 0; junk.size() < 1024 * 1024; ++i) junk += static_cast<char>(' ' + i % 95);
  StartWriter(kPrefix + "1\r\n" + junk + "\r\n" + kPrefix + "2\r\n");
  const bool done = Platform().RunUntil([&] { return watch_->parsed.seen >= 2; }, 30000);
  StopWriter();
  ASSERT_TRUE(done) << watch_->parsed.seen;
  Platform().RunFor(200);  // anything that still comes
  // "1" and "2" parsed and echoed, and nothing else (not the 999).
  EXPECT_EQ(watch_->parsed.seen, 2);
  EXPECT_EQ(watch_->parsed.wrong, 0) << watch_->parsed.first_wrong;
  EXPECT_EQ(echoes_.seen, 2);
  EXPECT_EQ(echoes_.wrong, 0) << echoes_.first_wrong;
  EXPECT_LT(longest_echo_, 100u);
  for (const std::string& line : Main().Trace().Pane().Lines())
    EXPECT_LE(line.size(), 8192u) << "a received line longer than the line buffer";
  EXPECT_EQ(Value("Edit_S_Sid"), "2");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());

  // The line is in step again: the next line too.
  StartWriter(kPrefix + "3\r\n");
  EXPECT_TRUE(Platform().RunUntil([&] { return watch_->parsed.seen >= 3; }, 5000));
  StopWriter();
  EXPECT_EQ(Value("Edit_S_Sid"), "3");
}

}  // namespace
}  // namespace velimo::faults
