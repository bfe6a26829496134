// The adapter pulled out while the program sits idle, in the middle of a
// command's bytes, and between the commands of a save-all: the operator is
// told what the transmitter and the disconnect say, nothing hangs, the
// dead line costs no CPU, and once the adapter is back (the modem on the
// same link path again) a new start of the program connects and reads.
#include <functional>
#include <string>
#include <vector>

#include "fault_fixture.h"

namespace velimo::faults {
namespace {

using Texts = std::vector<std::string>;

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
  using FaultTest::Click;
  using FaultTest::Platform;
  using FaultTest::Set;
};

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
  const int64_t took = NowMs() - start;
  ASSERT_EQ(unplugs, 1) << "the adapter was pulled out at the chosen point";
  EXPECT_EQ(TakeMessages(), m.messages);
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_LT(took, 5000) << "a dead line is given up at once, not waited for";
  // A command cut short leaves no trace line of its own.
  for (size_t i = trace_before; i < TraceMessages().size(); ++i)
    EXPECT_EQ(TraceMessages()[i].find("Send AT Command : AT+DID"), std::string::npos);

  // The event thread notices the hang-up and ends; the program then waits
  // for the operator without burning the processor.
  Platform().RunFor(200);
  EXPECT_FALSE(Main().ComPortEnvBoard.EventThreadActive());
  const double cpu = CpuMsWhileIdle(1000);
  EXPECT_LT(cpu, 100.0) << "CPU time over an idle second after the unplug";
  RecordProperty("idle_cpu_ms_after_unplug", std::to_string(cpu));
  EXPECT_TRUE(TakeMessages().empty()) << "an unplug alone shows nothing";

  // The operator disconnects: the dead port cannot be purged, and only a
  // new start of the program gets a clean port again. (A status query
  // meeting the dead line has asked for that already.)
  if (!Platform().RestartRequested()) {
    Click("Disconnect1");
    EXPECT_EQ(TakeMessages(), Texts{"Serial Connection Lost!! Restarting Application."});
  }
  EXPECT_TRUE(Platform().RestartRequested());

  // The adapter is back on the same path; the new instance connects.
  StartSim('s');
  StartProgram();
  ASSERT_TRUE(ConnectTo('s'));
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(Value("LB_S_SID"), "100001");
  // A command cut off by the unplug changed nothing in the modem.
  EXPECT_EQ(Value("LB_S_DID"), "16777215");
}

INSTANTIATE_TEST_SUITE_P(
    Moments, UnplugTest,
    ::testing::Values(
        Moment{"idle", [](UnplugTest&, std::function<void()> unplug) { unplug(); }, {}},
        // The status query meets the dead line: the lost-connection report
        // and a restart.
        Moment{"idle_then_status_query",
               [](UnplugTest& u, std::function<void()> unplug) {
                 unplug();
                 u.Platform().RunFor(200);
                 u.Click("Btn_S_CurrentStatus");
               },
               {"Serial Connection Lost!! Restarting Application."}},
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
