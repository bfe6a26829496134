// "Save Log File" on while the log cannot be written: its folder cannot be
// made, the day's file is a FIFO, or the disk under the log is full. The
// log is a record of the work, not the work: the operator is told once,
// "The trace log cannot be written (<reason>): <file>", and every command
// goes out and is answered as before; the trace pane keeps every line. On
// a full disk the file holds whole records only, never one cut mid-line.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

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
  const char* reason;  // as the message says it
  bool on_folder;      // the message names the Log folder, not the day's file
  // False when it cannot be made here (a mount needs root).
  bool (*apply)(const std::string& dir, const trace::TraceLog& log);
};

// Test names and failure reports show the breakage by its name.
void PrintTo(const Breakage& b, std::ostream* os) {
  *os << b.name;
}

class LogFaultTest : public FaultTest, public ::testing::WithParamInterface<Breakage> {
 protected:
  void TearDown() override {
    umount2((dir_ + "/Log").c_str(), MNT_DETACH);
    FaultTest::TearDown();
  }
};

TEST_P(LogFaultTest, TheWorkGoesOnAndTheFaultIsToldOnce) {
  const Breakage& b = GetParam();
  StartSim('s');
  ASSERT_TRUE(ConnectTo('s'));
  ASSERT_TRUE(TakeMessages().empty());
  if (!b.apply(dir_, Main().Trace())) GTEST_SKIP() << "needs root to mount a small tmpfs";
  Click("SaveLogFile1");
  ASSERT_TRUE(Main().SaveLogFile1.Checked());

  // The link and the work go on however many lines fail; the disk fills up
  // within a few reports (and at once for the other breakages).
  Texts said;
  for (int round = 0; round < 40 && said.empty(); ++round) {
    Click("Btn_S_CurrentStatus");
    said = TakeMessages();
    EXPECT_TRUE(TakeErrors().empty());
  }
  const std::string file = Main().Trace().LogFilePath(DateIn(0));
  const std::string named = b.on_folder ? Main().Trace().LogDir() : file;
  ASSERT_EQ(said,
            Texts{"The trace log cannot be written (" + std::string(b.reason) + "): " + named});

  // Said once: a save and a status query more, both done, nothing said.
  Set("Edit_S_Did", "4321");
  Click("Btn_S_Save_Did");
  Click("Btn_S_CurrentStatus");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_EQ(Value("LB_S_DID"), "4321");
  EXPECT_TRUE(Main().ComPortEnvBoard.Connected());
  const Texts trace = TraceMessages();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "OK. Destination ID=4321\r\n"), trace.end());

  // What reached the file are whole records, each a stamped line.
  if (fs::is_regular_file(file)) {
    const std::string log = ReadFile(file);
    EXPECT_TRUE(log.empty() || log.ends_with("\r\n")) << log.substr(log.size() - 80);
    for (size_t at = 0; at < log.size();) {
      const size_t end = log.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      EXPECT_EQ(log[at], '[') << log.substr(at, end - at);
      at = end + 2;
    }
  }

  // Switched off and on again, the log is tried anew and its fault told
  // anew.
  Click("SaveLogFile1");
  Click("SaveLogFile1");
  Click("Btn_S_CurrentStatus");
  EXPECT_EQ(TakeMessages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Logs, LogFaultTest,
                         ::testing::Values(
                             // A plain file where the folder should be: it cannot be made.
                             Breakage{"folder_cannot_be_made", "Not a directory", false,
                                      [](const std::string& dir, const trace::TraceLog&) {
                                        WriteFile(dir + "/Log", "in the way\n");
                                        return true;
                                      }},
                             // The day's file (and the next day's, for a test run over midnight)
                             // a FIFO that nobody reads: refused at once instead of hanging the
                             // program on its first line.
                             Breakage{"day_file_is_a_fifo", "not a regular file", false,
                                      [](const std::string& dir, const trace::TraceLog& log) {
                                        fs::create_directory(dir + "/Log");
                                        for (int days : {0, 1})
                                          mkfifo(log.LogFilePath(DateIn(days)).c_str(), 0600);
                                        return true;
                                      }},
                             // The Log folder on a small file system, filled up but for the
                             // rest of the day file's last page: the next records cross into a
                             // page there is no room for, the first of them in mid-line.
                             Breakage{"disk_full", "No space left on device", false,
                                      [](const std::string& dir, const trace::TraceLog& trace) {
                                        const std::string log = dir + "/Log";
                                        fs::create_directory(log);
                                        if (geteuid() != 0 || mount("tmpfs", log.c_str(), "tmpfs",
                                                                    0, "size=64k,mode=0700") != 0)
                                          return false;
                                        std::string records;
                                        while (records.size() < 4000)
                                          records += "[00:00:00]  an earlier line\r\n";
                                        WriteFile(trace.LogFilePath(DateIn(0)), records);
                                        chmod(trace.LogFilePath(DateIn(0)).c_str(), 0600);
                                        const int filler = open((log + "/filler").c_str(),
                                                                O_WRONLY | O_CREAT, 0600);
                                        const std::string page(4096, 'x');
                                        while (write(filler, page.data(), page.size()) > 0) {
                                        }
                                        close(filler);
                                        return true;
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
