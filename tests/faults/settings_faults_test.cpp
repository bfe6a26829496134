// The settings file at close: written where it cannot be (the device full),
// where only the file itself may be written (the folder closed to the user,
// as in an administrator's install folder), and cut off by a kill in the
// middle of a save. A closed folder gets the file written in place; where
// the write cannot be done at all the operator is told "Unable to write to
// ..." and the window stays open and connected with the old file intact; a
// killed save leaves the old or the new file, each whole, never a mixture or
// a stump.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "settings/settings.h"

namespace velimo::faults {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

const char* const kOldFile =
    "[MACHINE]\r\nDevice=u\r\nViewTraceMenu=1\r\n; kept by hand: the bench modem\r\n"
    "[EnvBoard]\r\nComPort=COM3\r\nBaudRate=115200\r\n";

// Files beside the settings file that a save left behind.
int Leftovers(const std::string& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind("Velimo.INI.", 0) == 0) ++n;
  return n;
}

struct Unwritable {
  const char* name;
  bool closed_folder;  // no file can be made beside the settings file
  bool size_limit;     // any file the save writes grows past 16 bytes, as on a full disk
};

void PrintTo(const Unwritable& u, std::ostream* os) {
  *os << u.name;
}

class UnwritableAtCloseTest : public FaultTest, public ::testing::WithParamInterface<Unwritable> {
 protected:
  // The program connected, then closed while the file cannot be written as
  // usual, then (if that close was refused) closed again once the disk has
  // room. Runs in a process of its own (limits and users stay there);
  // returns what differed.
  std::string CloseTwice(const Unwritable& u, const std::optional<Unprivileged>& who) {
    if (u.closed_folder && who && !DropPrivileges(*who)) return "could not drop privileges";
    // Writing past the limit fails with EFBIG instead of ending the process.
    if (u.size_limit) signal(SIGXFSZ, SIG_IGN);
    StartProgram();
    S().SelectModel('s');
    cli::LinkChoice link;
    link.port = link_;
    if (!S().Connect(link) || !S().Settle(10000, 100)) return "could not connect";
    if (!TakeMessages().empty()) return "messages while connecting";

    struct stat before {};
    stat(settings_.c_str(), &before);
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    if (u.size_limit) {
      rlimit tight = old_limit;
      tight.rlim_cur = 16;
      if (setrlimit(RLIMIT_FSIZE, &tight) != 0) return "no file size limit";
    }
    std::string wrong;
    const bool closed = S().App().CloseMainWindow();
    if (u.size_limit) {
      if (closed) wrong += "the close went ahead; ";
      const Texts errors = TakeErrors();
      if (errors != Texts{"Unable to write to " + settings_ + "."})
        wrong += "errors: " + ::testing::PrintToString(errors) + "; ";
      if (!TakeMessages().empty()) wrong += "a message; ";
      if (S().App().Terminated()) wrong += "the run ended; ";
      if (!Main().ComPortEnvBoard.Connected()) wrong += "the port closed; ";
      if (ReadFile(settings_) != kOldFile) wrong += "the old file changed; ";
      if (Leftovers(dir_) != 0) wrong += "a file was left beside it; ";
      // The disk has room again (the folder stays as it is): the next close
      // writes.
      setrlimit(RLIMIT_FSIZE, &old_limit);
      if (!S().App().CloseMainWindow()) wrong += "the second close failed; ";
    } else if (!closed) {
      wrong += "the close was refused; ";
    }
    if (!TakeErrors().empty()) wrong += "an error at the last close; ";
    const settings::Settings now = settings::LoadSettings(settings_);
    if (now.Device != "s" || now.ComPort != link_ || now.ViewTraceMenu != "1")
      wrong += "the close wrote something else; ";
    if (ReadFile(settings_).find("; kept by hand: the bench modem\r\n") == std::string::npos)
      wrong += "the hand-written line went; ";
    if (Leftovers(dir_) != 0) wrong += "a file was left beside it; ";
    struct stat after {};
    stat(settings_.c_str(), &after);
    // In a closed folder the very file was written; elsewhere it was replaced.
    if (u.closed_folder != (after.st_ino == before.st_ino))
      wrong += u.closed_folder ? "the file was replaced; " : "the file was not replaced; ";
    return wrong;
  }
};

TEST_P(UnwritableAtCloseTest, WrittenInPlaceOrReportedWithTheOldFileIntact) {
  const Unwritable& u = GetParam();
  const std::optional<Unprivileged> who = UnprivilegedUser();
  StartSim('s');
  WriteFile(settings_, kOldFile);
  if (u.closed_folder) {
    // The folder belongs to the user the program runs as, who may read and
    // write the file but not add one beside it. Root writes anywhere,
    // so as root the program runs as another user.
    if (who) {
      ASSERT_EQ(chown(dir_.c_str(), who->uid, who->gid), 0);
      ASSERT_EQ(chmod(SimDevice().c_str(), 0666), 0);
    }
    ASSERT_EQ(chmod(settings_.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
  }
  ExpectInFreshProcess([&] {
    EXPECT_EQ(CloseTwice(u, who), "");
    test::RegainPrivileges();
    TearDown();
  });
}

INSTANTIATE_TEST_SUITE_P(Causes, UnwritableAtCloseTest,
                         ::testing::Values(Unwritable{"device_full", false, true},
                                           Unwritable{"folder_closed", true, false},
                                           Unwritable{"folder_closed_and_device_full", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class KilledSaveTest : public FaultTest {};

// A process saving the settings again and again is killed at random
// moments; after every kill the file is the old version or one of the two
// new ones, byte for byte.
TEST_F(KilledSaveTest, EveryKillLeavesTheOldOrANewFileWhole) {
  // A file with many lines of its own, so a save takes long enough to be
  // cut in the middle.
  std::string old_text = kOldFile;
  for (int i = 0; i < 3000; ++i)
    old_text += "; line " + std::to_string(i) + " kept as it is by every save of the tool\r\n";
  WriteFile(settings_, old_text);

  settings::Settings a;
  a.Device = "r";
  a.ComPort = "/dev/ttyUSB0";
  a.BaudRate = "115200";
  settings::Settings b;
  b.Device = "i";
  b.ComPort = "/dev/ttyACM1";
  b.BaudRate = "Custom";
  b.Parity = "Even";
  // The two new versions, and how long one save takes here.
  std::string text_a, text_b;
  int64_t save_us = 0;
  for (auto [s, text] : {std::pair{&a, &text_a}, std::pair{&b, &text_b}}) {
    const std::string copy = dir_ + "/copy.INI";
    WriteFile(copy, old_text);
    const auto t0 = std::chrono::steady_clock::now();
    settings::SaveSettings(*s, copy);
    save_us = std::max<int64_t>(save_us, std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::chrono::steady_clock::now() - t0)
                                             .count());
    *text = ReadFile(copy);
    fs::remove(copy);
  }
  ASSERT_NE(text_a, text_b);
  ASSERT_NE(text_a, old_text);

  std::random_device device;
  const unsigned seed = device();
  RecordProperty("seed", std::to_string(seed));
  std::mt19937 random(seed);
  // From the very start of a save to a few saves in. On a loaded machine
  // the saving process may not get that far: the runs go on past their
  // number, each fifty allowing twice the time, until both new versions
  // have been seen.
  int64_t most_us = 3 * save_us + 2000;

  const int kRuns = 150;
  int olds = 0, as = 0, bs = 0;
  bool changed = false;
  for (int run = 0; run < kRuns || ((as == 0 || bs == 0) && run < 20 * kRuns); ++run) {
    if (run >= kRuns && run % 50 == 0) most_us *= 2;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (unsigned i = 0;; ++i) {
        try {
          settings::SaveSettings(i % 2 == 0 ? a : b, settings_);
        } catch (...) {
          _exit(2);
        }
      }
    }
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<int64_t>(0, most_us)(random)));
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself: " << status;

    const std::string text = ReadFile(settings_);
    if (text == text_a) {
      ++as;
      changed = true;
    } else if (text == text_b) {
      ++bs;
      changed = true;
    } else if (text == old_text) {
      ++olds;
      ASSERT_FALSE(changed) << "the old version came back after run " << run;
    } else {
      FAIL() << "run " << run << " left a file of " << text.size() << " bytes that is no whole "
             << "version (old " << old_text.size() << ", new " << text_a.size() << " and "
             << text_b.size() << ")";
    }
    // What the program reads is always one of the versions.
    const settings::Settings read = settings::LoadSettings(settings_);
    ASSERT_TRUE(read == a || read == b || read.Device == "u");
  }
  // Both new versions were written whole at some point, so the kills fell
  // both between and inside saves.
  EXPECT_GT(as, 0);
  EXPECT_GT(bs, 0);
  RecordProperty("old_new_a_new_b",
                 std::to_string(olds) + "/" + std::to_string(as) + "/" + std::to_string(bs));
  RecordProperty("save_us", std::to_string(save_us));
  RecordProperty("files_left_beside", std::to_string(Leftovers(dir_)));
  // The next save, by a process still alive, clears away at once what the
  // killed ones left beside the file.
  settings::SaveSettings(a, settings_);
  EXPECT_EQ(ReadFile(settings_), text_a);
  EXPECT_EQ(Leftovers(dir_), 0);
}

}  // namespace
}  // namespace velimo::faults
