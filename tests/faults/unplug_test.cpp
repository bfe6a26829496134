// The adapter pulled out while the program sits idle, in the middle of a
// command's bytes, and between the commands of a save-all: the operator is
// told what the transmitter says, the window notices the removal at once
// and disconnects, nothing hangs, the dead line costs no CPU, and once the
// adapter is back (the modem on the same link path again) the program
// connects again by itself and reads.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "fault_fixture.h"

namespace velimo::faults {
namespace {

using Texts = std::vector<std::string>;

constexpr const char* kPortError = "Serial Port ERROR!!";
constexpr const char* kPortClosed = "Check your Serial Port Status.";

// The removal is handled as soon as the window serves events again (a
// message box does): from then on a save meets a closed port instead of a
// failing one. When that happens within a sequence depends on the event
// thread, so each "Serial Port ERROR!!" after the first message may have
// become "Check your Serial Port Status.", and once one has, every later
// one has too. Every other message is expected as it stands.
Texts MessagesAfterTheRemoval(const Texts& expected, const Texts& shown) {
  Texts want = expected;
  bool closed = false;
  for (size_t i = 1; i < want.size(); ++i) {
    if (want[i] != kPortError) continue;
    if (i < shown.size() && shown[i] == kPortClosed) closed = true;
    if (closed) want[i] = kPortClosed;
  }
  return want;
}

TEST(UnplugMessages, OnlyAPortErrorMayMeetTheClosedPort) {
  const std::string E = kPortError, C = kPortClosed;
  struct Case {
    Texts expected, shown;
    bool accepted;
  } cases[] = {
      {{E, E, E}, {E, E, E}, true},
      {{E, E, E}, {E, C, C}, true},
      {{E, E, E}, {E, E, C}, true},
      // The first message meets the port still open.
      {{E, E}, {C, E}, false},
      // Once closed, the port stays closed.
      {{E, E, E}, {E, C, E}, false},
      // A wrong message after the tolerated one still fails.
      {{E, E, "Saved."}, {E, C, "Failed."}, false},
      {{E, E}, {E, C, "Failed."}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessagesAfterTheRemoval(c.expected, c.shown) == c.shown, c.accepted)
        << ::testing::PrintToString(c.shown);
  }
}

class UnplugTest;

struct Moment {
  const char* name;
  // Arms the pause hook (or pulls the adapter at once) and does what the
  // operator does meanwhile.
  std::function<void(UnplugTest&, std::function<void()> unplug)> act;
  Texts messages;  // shown during act
};

void PrintTo(const Moment& m, std::ostream* os) {
  *os << m.name;
}

class UnplugTest : public FaultTest, public ::testing::WithParamInterface<Moment> {
 public:
  // For the table's actions.
  using FaultTest::AdapterRemovalSeen;
  using FaultTest::Click;
  using FaultTest::Platform;
  using FaultTest::Set;
};

// The event loop's wake-ups in an idle second while the adapter is waited
// for: its timers' few. A loop that spins wakes thousands of times.
constexpr int64_t kIdleWakeups = 20;

TEST_P(UnplugTest, MessagesNoSpinAndANewStartConnects) {
  const Moment& m = GetParam();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  ASSERT_EQ(Value("LB_S_DID"), "16777215");
  ASSERT_TRUE(TakeMessages().empty());
  const size_t trace_before = TraceMessages().size();

  int unplugs = 0;
  const int64_t start = NowMs();
  m.act(*this, [&] {
    ++unplugs;
    KillSim();
  });
  Platform().on_pause = nullptr;
  RecordProperty("unplug_given_up_ms", std::to_string(NowMs() - start));
  ASSERT_EQ(unplugs, 1) << "the adapter was pulled out at the chosen point";
  // A dead line is given up at once, not waited for: a wait for the
  // modem's answer would end in the watchdog's box, which is not among
  // these, and a wait without end in the test's watchdog.
  const Texts shown = TakeMessages();
  EXPECT_EQ(shown, MessagesAfterTheRemoval(m.messages, shown));
  EXPECT_TRUE(TakeErrors().empty());
  // A command cut short leaves no trace line of its own.
  for (size_t i = trace_before; i < TraceMessages().size(); ++i)
    EXPECT_EQ(TraceMessages()[i].find("Send AT Command : AT+DID"), std::string::npos);

  // The hang-up is noticed without the operator: the port is closed, the
  // window takes its disconnected look and says why, and the program then
  // waits for the adapter without burning the processor.
  EXPECT_TRUE(Platform().RunUntil(
      [&] {
        return !Main().ComPortEnvBoard.EventThreadActive() &&
               Main().StatusBar1.PanelText(1) == "Disconnected (adapter removed)";
      },
      test::kGenerousMs));
  EXPECT_FALSE(Main().ComPortEnvBoard.EventThreadActive());
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  EXPECT_TRUE(Main().ConnectN1.Enabled());
  EXPECT_FALSE(Main().Disconnect1.Enabled());
  const Texts trace = TraceMessages();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Adapter removed from Port[" + link_ + "]"),
            trace.end());
  // Counted as the loop's wake-ups, not as CPU time (which a loaded
  // machine or a sanitizer changes): a loop that spins wakes thousands of
  // times a second, one that waits for the adapter a few (its timers).
  const int64_t wakeups = Platform().Wakeups();
  const double cpu = CpuMsWhileIdle(1000);
  const int64_t idleWakeups = Platform().Wakeups() - wakeups;
  EXPECT_LE(idleWakeups, kIdleWakeups) << "wake-ups over an idle second";
  RecordProperty("idle_wakeups_after_unplug", std::to_string(idleWakeups));
  RecordProperty("idle_cpu_ms_after_unplug", std::to_string(cpu));
  EXPECT_TRUE(TakeMessages().empty()) << "an unplug alone shows nothing";
  EXPECT_FALSE(Platform().RestartRequested());

  // The adapter is back on the same path: the program connects again by
  // itself, with the same line settings, and reads the modem.
  StartSim('s');
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs));
  Settle();
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + link_ + "]");
  const Texts after = TraceMessages();
  EXPECT_NE(std::find(after.begin(), after.end(), "Adapter is back: reconnected to " + link_),
            after.end());
  // A command cut off by the unplug changed nothing in the modem.
  EXPECT_EQ(Value("LB_S_DID"), "16777215");
}

// Pulled out before the modem answered the status query: no watchdog
// report follows the removal, and the adapter is still waited for.
TEST_F(FaultTest, RemovedBeforeTheAnswerIsWaitedForQuietly) {
  StartProgram();
  StartSim('s', {"--delay", "3000"});
  S().SelectModel('s');
  cli::LinkChoice link;
  link.port = link_;
  ASSERT_TRUE(S().Connect(link));
  KillSim();
  Platform().RunFor(6000);
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  StartSim('s');
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs))
      << ::testing::PrintToString(TraceMessages());
}

// The modem replaced, on the same line, by a modem of another family and
// source ID: its report is read aside, the window names it once and stays
// disconnected, its pages untouched. The same modem back: connected again,
// the Info section highlighted with its page and buttons as a fresh
// connect leaves them.
TEST_F(FaultTest, OnlyTheSameModemIsConnectedAgain) {
  StartProgram();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  Click("Btn_Left_LoRa");
  ASSERT_FALSE(Main().Btn_FactoryReset.Visible());
  TakeMessages();
  const std::string device = SimDevice();
  KillSim();
  ASSERT_TRUE(AdapterRemovalSeen());
  ASSERT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");

  StartSim('r', {"--state", dir_ + "/r.state"});
  std::printf("line of the modem %s, of the other modem %s\n", device.c_str(), SimDevice().c_str());
  const std::string other =
      "Another modem answers at " + link_ + ": rTavi, source ID 300001. Not connected.";
  ASSERT_TRUE(Platform().RunUntil(
      [&] {
        const Texts trace = TraceMessages();
        return std::find(trace.begin(), trace.end(), other) != trace.end();
      },
      test::kGenerousMs));
  // More events on the watched folder change nothing.
  for (int i = 0; i < 20; ++i) {
    WriteFile(dir_ + "/noise", std::to_string(i));
    Platform().RunFor(50);
  }
  Platform().RunFor(1500);
  EXPECT_EQ(TakeMessages(), Texts{other}) << "named once";
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  EXPECT_TRUE(Main().sTavi1.Checked());
  EXPECT_EQ(Main().LB_R_SID.Caption(), "no info") << "the other modem's report reached no page";
  EXPECT_EQ(Main().LB_S_SID.Caption(), "no info");

  KillSim();
  StartSim('s');
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs));
  Settle();
  EXPECT_TRUE(TakeMessages().empty());
  const Texts trace = TraceMessages();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Adapter is back: reconnected to " + link_),
            trace.end());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Connected to [" + link_ + "]");
  EXPECT_EQ(Main().Btn_Left_Info.Glyph(), forms::ImageList1::kInfoSelected);
  EXPECT_EQ(Main().Btn_Left_LoRa.Glyph(), forms::ImageList1::kLoRaNormal);
  EXPECT_TRUE(Main().Btn_FactoryReset.Visible());
  EXPECT_TRUE(Main().Btn_FactoryReset.Enabled());
  EXPECT_TRUE(Main().Panel_S_Info.Visible());
}

// Nothing is reconnected behind a modal: while the connect dialog is open
// the returning modem waits, and once the dialog is cancelled it is taken.
// An adapter pulled while the watchdog's box is open is still waited for
// after the box (and the disconnect it leads to) have closed.
TEST_F(FaultTest, NoReconnectBehindADialogAndTheWatchdogsBoxKeepsTheWait) {
  StartProgram();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  KillSim();
  ASSERT_TRUE(AdapterRemovalSeen());
  S().Run([&] { Main().ConnectN1.Click(); });
  ASSERT_TRUE(S().Dialog().Showing());
  StartSim('s');
  Platform().RunFor(2000);
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected()) << "the dialog's choice comes first";
  S().Run([&] { S().Dialog().Btn_Cancel.Click(); });
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs));
  Settle();
  TakeMessages();

  // A modem that answers after the watchdog's time; the adapter is pulled
  // while the watchdog's box is open.
  Click("Disconnect1");
  StartSim('s', {"--delay", "7000"});
  S().SelectModel('s');
  cli::LinkChoice link;
  link.port = link_;
  ASSERT_TRUE(S().Connect(link));
  Texts boxes;
  Platform().box_open_ms = 300;
  Platform().on_message = [&](std::string_view text) {
    boxes.emplace_back(text);
    if (text == "ERROR! Please check your serial port status.") KillSim();
  };
  // The watchdog's box, then the disconnect's.
  EXPECT_TRUE(Platform().RunUntil(
      [&] {
        return boxes.size() >= 2 &&
               Main().StatusBar1.PanelText(1) == "Disconnected (adapter removed)";
      },
      3 * test::kGenerousMs));
  EXPECT_EQ(boxes,
            (Texts{"ERROR! Please check your serial port status.", "     Disconnected.     "}));
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  EXPECT_TRUE(Main().Adapter.Awaiting());
  Platform().box_open_ms = 0;
  StartSim('s');
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs))
      << ::testing::PrintToString(
             Texts(TraceMessages().end() - std::min<size_t>(TraceMessages().size(), 12),
                   TraceMessages().end()));
}

// While the removed adapter is waited for, a file made and removed at its
// path in a tight loop writes at most one trace line a second, and the
// modem coming back afterwards is still connected.
TEST_F(FaultTest, EventsInALoopWriteOneTraceLineASecond) {
  StartProgram();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  KillSim();
  ASSERT_TRUE(AdapterRemovalSeen());
  ASSERT_TRUE(Main().Adapter.Awaiting());
  const size_t before = TraceMessages().size();
  std::atomic<bool> stop{false};
  std::atomic<int> made{0};
  std::thread loop([&] {
    while (!stop.load()) {
      unlink(link_.c_str());
      WriteFile(link_, "not a terminal\n");
      ++made;
    }
  });
  // Three seconds at least and a thousand files at least, however slowly
  // the loop runs on a loaded machine; the lines allowed follow from the
  // seconds it took, so a load only allows more.
  const int64_t t0 = NowMs();
  EXPECT_TRUE(Platform().RunUntil([&] { return made.load() >= 1000 && NowMs() - t0 >= 3000; },
                                  6 * test::kGenerousMs));
  stop.store(true);
  loop.join();
  const int64_t seconds = (NowMs() - t0 + 999) / 1000;
  unlink(link_.c_str());
  const size_t lines = TraceMessages().size() - before;
  std::printf("figure files_made %d\nfigure trace_lines %zu in %lld s\n", made.load(), lines,
              static_cast<long long>(seconds));
  EXPECT_GE(made.load(), 1000);
  EXPECT_LE(lines, static_cast<size_t>(seconds) + 1) << ::testing::PrintToString(TraceMessages());
  EXPECT_GE(lines, 1u) << "what happened there is said";
  StartSim('s');
  EXPECT_TRUE(Platform().RunUntil(
      [&] { return Main().ComPortEnvBoard.Connected() && Value("LB_S_SID") == "100001"; },
      test::kGenerousMs));
}

// [EnvBoard] Reconnect=0: the window says the adapter was removed and
// stays disconnected when it comes back.
TEST_F(FaultTest, NoReconnectWhenSwitchedOff) {
  WriteFile(settings_, "[EnvBoard]\nReconnect=0\n");
  StartProgram();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  KillSim();
  ASSERT_TRUE(AdapterRemovalSeen());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  StartSim('s');
  Platform().RunFor(1000);
  EXPECT_FALSE(Main().ComPortEnvBoard.Connected());
  EXPECT_EQ(Main().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Moments, UnplugTest,
    ::testing::Values(
        Moment{"idle", [](UnplugTest&, std::function<void()> unplug) { unplug(); }, {}},
        // The status query after the unplug: the port was closed when the
        // adapter went.
        Moment{"idle_then_status_query",
               [](UnplugTest& u, std::function<void()> unplug) {
                 unplug();
                 ASSERT_TRUE(u.AdapterRemovalSeen());
                 u.Click("Btn_S_CurrentStatus");
               },
               {"Check your Serial Port Status."}},
        // After the third byte of "AT+DID=4321\r": the fourth cannot be
        // written.
        Moment{"while_a_command_is_written",
               [](UnplugTest& u, std::function<void()> unplug) {
                 u.Set("Edit_S_Did", "4321");
                 int byte_pauses = 0;
                 u.Platform().on_pause = [&byte_pauses, unplug](int ms) {
                   if (ms == 5 && ++byte_pauses == 3) unplug();
                 };
                 u.Click("Btn_S_Save_Did");
               },
               {"Serial Port ERROR!!"}},
        // In the pause after the save-all's first command (message
        // timeout): the message size finds the line gone, reports it, and
        // the framing lengths are not tried.
        Moment{"during_a_save_all",
               [](UnplugTest& u, std::function<void()> unplug) {
                 bool pulled = false;
                 u.Platform().on_pause = [&pulled, unplug](int ms) {
                   if (ms >= 100 && !pulled) {
                     pulled = true;
                     unplug();
                   }
                 };
                 u.Click("Btn_S_Serial_SaveAll");
               },
               {"Serial Port ERROR!!"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velimo::faults
