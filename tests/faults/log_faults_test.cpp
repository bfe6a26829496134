// "Save Log File" on while the log cannot be written: its folder cannot be
// made, or the day's file is a FIFO. The trace pane keeps every
// line, a command whose trace line fails is reported as a failed send
// ("Serial Port ERROR!!"), the status query's announcement failing goes to
// the default error report and sends nothing, and once the log is switched
// off everything works as before. (The log file's own errors are tested
// with the trace; the transmitter's reaction with a failing trace in
// virtual time.)
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fault_fixture.h"

namespace velimo::faults {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

LocalDateTime DateIn(int days) {
  const time_t t = time(nullptr) + days * 86400;
  tm local{};
  localtime_r(&t, &local);
  LocalDateTime d;
  d.year = local.tm_year + 1900;
  d.month = local.tm_mon + 1;
  d.day = local.tm_mday;
  return d;
}

struct Breakage {
  const char* name;
  int error;  // errno the append meets
  void (*apply)(const std::string& dir, const trace::TraceLog& log);
};

// Test names and failure reports show the breakage by its name.
void PrintTo(const Breakage& b, std::ostream* os) {
  *os << b.name;
}

class LogFaultTest : public FaultTest, public ::testing::WithParamInterface<Breakage> {};

TEST_P(LogFaultTest, ThePaneGoesOnAndFailuresAreReportedWhereTheyHappen) {
  const Breakage& b = GetParam();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  ASSERT_TRUE(TakeMessages().empty());

  b.apply(dir_, Main().Trace());
  Click("SaveLogFile1");
  ASSERT_TRUE(Main().SaveLogFile1.Checked());
  EXPECT_TRUE(TakeErrors().empty());

  // Inside a send: the line went out whole, then its trace line could not
  // reach the file.
  Set("Edit_S_Did", "4321");
  Click("Btn_S_Save_Did");
  EXPECT_EQ(TakeMessages(), Texts{"Serial Port ERROR!!"});
  EXPECT_TRUE(TakeErrors().empty());
  Texts trace = TraceMessages();
  ASSERT_GE(trace.size(), 2u);
  // The pane has the send's line (it is added before the file is tried)
  // and the modem's acknowledgement after it.
  EXPECT_EQ(trace[trace.size() - 2].rfind("Send AT Command : AT+DID=4321\r", 0), 0u);
  EXPECT_EQ(trace.back(), "OK. Destination ID=4321\r\n");

  // Elsewhere: the status query's announcement fails before anything is
  // sent; the default error report shows the file's error.
  Click("Btn_S_CurrentStatus");
  const Texts errors = TakeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("I/O error " + std::to_string(b.error) + " ", 0), 0u) << errors[0];
  EXPECT_TRUE(TakeMessages().empty());
  // Settled: no report came, as nothing was sent, and the query's
  // bookkeeping did not run.
  trace = TraceMessages();
  EXPECT_EQ(trace.back(), "Send Current Status Read Command to ... ");
  EXPECT_EQ(Main().ResponseFlag, 1);

  // The log switched off, the program reads the modem as before, and the
  // modem had taken the identifier.
  Click("SaveLogFile1");
  ASSERT_FALSE(Main().SaveLogFile1.Checked());
  Click("Btn_S_CurrentStatus");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_EQ(Value("LB_S_DID"), "4321");
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
}

INSTANTIATE_TEST_SUITE_P(Logs, LogFaultTest,
                         ::testing::Values(
                             // A plain file where the folder should be: it cannot be made.
                             Breakage{"folder_cannot_be_made", ENOTDIR,
                                      [](const std::string& dir, const trace::TraceLog&) {
                                        WriteFile(dir + "/Log", "in the way\n");
                                      }},
                             // The day's file (and the next day's, for a test run over
                             // midnight) a FIFO that nobody reads: refused at once
                             // instead of hanging the program on its first line.
                             Breakage{"day_file_is_a_fifo", EINVAL,
                                      [](const std::string& dir, const trace::TraceLog& log) {
                                        fs::create_directory(dir + "/Log");
                                        for (int days : {0, 1})
                                          mkfifo(log.LogFilePath(DateIn(days)).c_str(), 0600);
                                      }}),
                         [](const auto& info) { return std::string(info.param.name); });

// A modem without encryption (an sTavi on firmware 1.0, chosen as an
// ioTavi by mistake) rejects the IV line by repeating it, with no keyword
// before it, and the ioTavi's parser logs the rejection: the log file has
// the IV masked there too, as in the line that sent it. (A save goes to a
// modem of another family only while no report has told its family, as
// when the report was lost to noise: the test forgets the one read.)
TEST_F(FaultTest, ARejectionThatRepeatsTheIvIsMaskedInTheLogFile) {
  StartSim('i', {"--foreign", "s", "--firmware", "1.0"});
  ASSERT_TRUE(ConnectTo('i'));
  Main().ForgetReportedFamily();
  Click("SaveLogFile1");
  ASSERT_TRUE(Main().SaveLogFile1.Checked());
  const std::string iv = "fedcba9876543210";
  Main().Edit_I_AESIV.SetText(iv);
  Main().Btn_I_Save_AESIVClick();
  Settle();
  bool rejected_in_pane = false;
  for (const std::string& line : TraceMessages())
    rejected_in_pane = rejected_in_pane || line.find("Invalid Command for ") != std::string::npos;
  ASSERT_TRUE(rejected_in_pane) << "the simulator's rejection was not logged";

  std::string log;
  for (const auto& e : fs::directory_iterator(dir_ + "/Log")) log += ReadFile(e.path());
  EXPECT_EQ(log.find(iv), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR : Invalid Command for F/W 1.0 : ****************"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace velimo::faults
