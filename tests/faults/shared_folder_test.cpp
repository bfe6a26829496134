// Root at work in a folder another user may write to, as on a shared bench
// PC: the other user (nobody) has prepared a settings file that switches the
// log on with the secrets in clear, a Log folder whose day file is a link to
// a file of theirs, and links in the middle of paths root writes reports
// to. Nothing of theirs is taken: the settings file is ignored (said once)
// and left as it is at close, the Log folder is refused, the key never
// reaches a file they can read, and a report path through their link is
// refused wherever the link stands in it. A settings file made to fill the
// memory (3 GiB, sparse) is refused from its size and left as it is too.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "settings/ini_file.h"
#include "util/errors.h"
#include "util/file_append.h"
#include "util/own_file.h"
#include "util/report_file.h"

namespace velimo::faults {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

LocalDateTime Today() {
  const time_t t = time(nullptr);
  tm local{};
  localtime_r(&t, &local);
  LocalDateTime d;
  d.year = local.tm_year + 1900;
  d.month = local.tm_mon + 1;
  d.day = local.tm_mday;
  return d;
}

class SharedFolderTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    const auto who = UnprivilegedUser();
    if (!who) GTEST_SKIP() << "needs root, with nobody as the other user";
    who_ = *who;
    ASSERT_EQ(chmod(dir_.c_str(), 01777), 0);
  }
  // Makes path (a file, a folder or a link) the other user's.
  void Theirs(const std::string& path) {
    ASSERT_EQ(lchown(path.c_str(), who_.uid, who_.gid), 0) << path;
  }
  Unprivileged who_{};
};

TEST_F(SharedFolderTest, AnotherUsersSettingsFileAndLogFolderAreNotTaken) {
  const std::string planted =
      "[MACHINE]\nDevice=i\nSaveLogTrace=1\nLogSecrets=1\nViewTraceMenu=1\n";
  WriteFile(settings_, planted);
  Theirs(settings_);
  const std::string log = dir_ + "/Log";
  ASSERT_EQ(mkdir(log.c_str(), 0777), 0);
  ASSERT_EQ(chmod(log.c_str(), 0777), 0);
  Theirs(log);
  const std::string stolen = dir_ + "/stolen";
  WriteFile(stolen, "");
  ASSERT_EQ(chmod(stolen.c_str(), 0666), 0);
  Theirs(stolen);
  StartSim('i');
  StartProgram();
  const std::string day = Main().Trace().LogFilePath(Today());
  ASSERT_EQ(symlink(stolen.c_str(), day.c_str()), 0);
  Theirs(day);

  EXPECT_EQ(TakeMessages(),
            Texts{"The settings file " + settings_ +
                  " is ignored (it belongs to another user): the defaults are used and it is "
                  "left as it is."});
  // The defaults: no log, the sTavi.
  EXPECT_FALSE(Main().SaveLogFile1.Checked());
  EXPECT_FALSE(Main().Trace().LogSecrets());

  // Root switches the log on by hand and saves a key: the log is refused,
  // the key goes to the modem all the same.
  ASSERT_TRUE(ConnectTo('i'));
  TakeMessages();
  Click("SaveLogFile1");
  const std::string key = "0123456789abcdef";
  Main().Edit_I_AESKey.SetText(key);
  Main().Btn_I_Save_AESKEYClick();
  Settle();
  const Texts said = TakeMessages();
  EXPECT_NE(std::find(said.begin(), said.end(),
                      "The trace log cannot be written (folder owned by another user): " + log),
            said.end())
      << ::testing::PrintToString(said);
  EXPECT_TRUE(TakeErrors().empty());
  EXPECT_EQ(ReadFile(stolen), "");
  EXPECT_TRUE(fs::is_symlink(day));

  // Closed: the other user's file is left byte for byte, and nothing more
  // is said about it.
  EXPECT_TRUE(S().App().CloseMainWindow());
  EXPECT_EQ(ReadFile(settings_), planted);
  for (const std::string& m : TakeMessages())
    EXPECT_EQ(m.find("settings file"), std::string::npos) << m;
}

TEST_F(SharedFolderTest, ASettingsFileOfGigabytesIsRefusedFromItsSizeAndLeftAsItIs) {
  const off_t size = off_t{3} << 30;
  const int fd = open(settings_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "[MACHINE]\n", 10, 0), 10);
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
  struct stat before {};
  ASSERT_EQ(stat(settings_.c_str(), &before), 0);

  StartProgram();
  EXPECT_EQ(TakeMessages(), Texts{"The settings file " + settings_ +
                                  " is ignored (it is 3221225472 bytes, larger than 1 MiB): the "
                                  "defaults are used and it is left as it is."});
  EXPECT_TRUE(S().App().CloseMainWindow());
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_TRUE(TakeErrors().empty());
  struct stat after {};
  ASSERT_EQ(stat(settings_.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, size);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// Every write path is judged name by name: the other user's link in the
// middle of it is refused as at its end, for a report, the settings file
// and the log alike, and nothing is made in their folder.
TEST_F(SharedFolderTest, AWritePathThroughAnotherUsersFolderLinkIsRefused) {
  const std::string open = dir_ + "/open";  // root's, open to all
  ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  const std::string their = dir_ + "/their";
  ASSERT_EQ(mkdir(their.c_str(), 0777), 0);
  ASSERT_EQ(chmod(their.c_str(), 0777), 0);
  Theirs(their);
  const std::string secret = dir_ + "/root-only";
  WriteFile(secret, "root's own\n");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  // Their bench.csv leads to root's file; their link "sub" to their folder.
  ASSERT_EQ(symlink(secret.c_str(), (their + "/bench.csv").c_str()), 0);
  Theirs(their + "/bench.csv");
  ASSERT_EQ(symlink(their.c_str(), (open + "/sub").c_str()), 0);
  Theirs(open + "/sub");
  // Root's own link to a folder of root's is followed: the control case.
  const std::string mine = dir_ + "/mine";
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  ASSERT_EQ(symlink(mine.c_str(), (open + "/rooted").c_str()), 0);

  struct Path {
    std::string path;
    bool written;
  };
  const Path paths[] = {
      {open + "/sub/bench.csv", false},
      {open + "/sub/fresh.csv", false},
      {open + "/sub/../sub/fresh.csv", false},
      {open + "/rooted/bench.csv", true},
  };
  for (const Path& p : paths) {
    SCOPED_TRACE(p.path);
    EXPECT_EQ(WriteReportFile(p.path, "report\n", false),
              p.written ? "" : "symbolic link owned by another user");
    const std::string ini = DirectoryOf(p.path) + "/Velimo.INI";
    bool saved = true;
    try {
      settings::IniFile::Parse("[MACHINE]\nDevice=r\n").Save(ini);
    } catch (const Exception&) {
      saved = false;
    }
    EXPECT_EQ(saved, p.written);
    int error = 0;
    try {
      AppendLineToFile(DirectoryOf(p.path) + "/Velimo_20240101.log", "AT+AESKEY=...");
    } catch (const EInOutError& e) {
      error = e.ErrorCode();
    }
    EXPECT_EQ(error, p.written ? 0 : EACCES);
  }
  EXPECT_EQ(ReadFile(secret), "root's own\n");
  std::vector<std::string> made;
  for (const auto& e : fs::directory_iterator(their)) made.push_back(e.path().filename());
  EXPECT_EQ(made, std::vector<std::string>{"bench.csv"});
  EXPECT_EQ(ReadFile(mine + "/bench.csv"), "report\n");
}

}  // namespace
}  // namespace velimo::faults
