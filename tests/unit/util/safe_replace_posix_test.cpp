// The one safe replace where it can go wrong: things that are no regular
// file at the name (refused and left exactly as they were), leftovers of
// killed saves (never in the way, removed once their writer is gone), a
// folder closed to new files, a write that fails half-way, and the modes
// each kind of file keeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "support/fresh_process.h"
#include "util/safe_replace.h"

namespace velimo {
namespace {

namespace fs = std::filesystem;

class SafeReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-replace-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "unit.vprofile").string();
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
    return names;
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(SafeReplace, WhatIsNoRegularFileIsRefusedAndLeftAsItWas) {
  struct Kind {
    const char* name;
    std::function<bool(const std::string&)> make;  // false: cannot here
  };
  const Kind kinds[] = {
      {"a FIFO nobody reads", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }},
      {"a device node",
       [](const std::string& p) {
         return geteuid() == 0 && mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       }},
      {"a link to /dev/null",
       [](const std::string& p) { return symlink("/dev/null", p.c_str()) == 0; }},
      {"a link to /proc/self/fd/1",
       [](const std::string& p) { return symlink("/proc/self/fd/1", p.c_str()) == 0; }},
      {"a folder", [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; }},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    if (!kind.make(path_)) continue;
    struct stat before {
    }, after{};
    ASSERT_EQ(lstat(path_.c_str(), &before), 0);
    const ReplaceResult r = ReplaceSafely(path_, "CH = 5\n");
    EXPECT_FALSE(r.done);
    EXPECT_EQ(r.why, "not a regular file");
    ASSERT_EQ(lstat(path_.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the thing at the name was replaced";
    EXPECT_EQ(before.st_mode, after.st_mode);
    EXPECT_EQ(Entries(), std::set<std::string>{"unit.vprofile"}) << "something left beside it";
    fs::remove_all(path_);
  }
  // The system's own node by its own name: refused before anything is made
  // in /dev.
  struct stat null {};
  ASSERT_EQ(stat("/dev/null", &null), 0);
  const ReplaceResult r = ReplaceSafely("/dev/null", "x");
  EXPECT_FALSE(r.done);
  EXPECT_EQ(r.why, "not a regular file");
  struct stat still {};
  ASSERT_EQ(stat("/dev/null", &still), 0);
  EXPECT_TRUE(S_ISCHR(still.st_mode));
  EXPECT_EQ(still.st_ino, null.st_ino);
}

TEST_F(SafeReplace, LeftoversNeverBlockASaveAndGoWhenTheirWriterIsGone) {
  const pid_t gone = fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  // This process's own numbers taken by files it cannot have made (a
  // killed process of the same pid before it), one of them a FIFO: each
  // is stepped over, none removed (they might be this process's saves).
  const std::string mine = "unit.vprofile.tmp" + std::to_string(getpid()) + "-";
  for (int n = 0; n < 40; ++n) std::ofstream(dir_ / (mine + std::to_string(n))) << "half";
  ASSERT_EQ(mkfifo((dir_ / (mine + "40")).c_str(), 0600), 0);
  const std::string dead = "unit.vprofile.tmp" + std::to_string(gone) + "-3";
  std::ofstream(dir_ / dead) << "half";

  for (int save = 0; save < 3; ++save) {
    const std::string text = "CH = " + std::to_string(save) + "\n";
    const ReplaceResult r = ReplaceSafely(path_, text);
    ASSERT_TRUE(r.done) << r.why;
    EXPECT_EQ(Read(path_), text);
  }
  const std::set<std::string> left = Entries();
  EXPECT_FALSE(left.contains(dead)) << "a dead save's leftover stayed";
  EXPECT_EQ(left.size(), 1u + 41u) << "the target and this process's 41 planted files";
}

TEST_F(SafeReplace, AFolderClosedToNewFilesIsToldAsNoRoomAndKeepsTheFile) {
  std::ofstream(path_) << "old\n";
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
  test::ExpectAsUnprivilegedUser(dir_.string(), [&] {
    const ReplaceResult r = ReplaceSafely(path_, "new\n");
    EXPECT_FALSE(r.done);
    EXPECT_TRUE(r.noRoomBeside);
    EXPECT_EQ(r.why, "Permission denied");
    EXPECT_EQ(Read(path_), "old\n");
    EXPECT_EQ(Entries(), std::set<std::string>{"unit.vprofile"});
  });
}

TEST_F(SafeReplace, AWriteThatFailsHalfWayLeavesTheOldFileAndNothingBeside) {
  std::ofstream(path_) << "old\n";
  test::ExpectInFreshProcess([&] {
    // The disk is full after 4 bytes of any file this process writes.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4, 4};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const ReplaceResult r = ReplaceSafely(path_, std::string(100, 'x'));
    EXPECT_FALSE(r.done);
    EXPECT_EQ(r.why, "File too large");
    EXPECT_FALSE(r.noRoomBeside);
    EXPECT_EQ(Read(path_), "old\n");
    EXPECT_EQ(Entries(), std::set<std::string>{"unit.vprofile"});
    fs::remove_all(dir_);
  });
}

TEST_F(SafeReplace, ModesAreKeptOrSetAsEachFileNeeds) {
  const mode_t umask_was = umask(022);
  struct Case {
    const char* name;
    int before;  // the file's mode before the save, -1: no file
    ReplaceOptions options;
    int after;
  };
  const Case cases[] = {
      {"a private settings file stays private", 0640, {false, true, 0666}, 0640},
      {"a settings file made anew", -1, {false, true, 0666}, 0644},
      {"a report with the key over a shared one", 0644, {true, false, 0644}, 0600},
      {"a plain report over a private one", 0600, {false, false, 0644}, 0644},
      {"the key in a file that kept its mode", 0666, {true, true, 0644}, 0600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path_);
    if (c.before >= 0) {
      std::ofstream(path_) << "old\n";
      ASSERT_EQ(chmod(path_.c_str(), static_cast<mode_t>(c.before)), 0);
    }
    const ReplaceResult r = ReplaceSafely(path_, "new\n", c.options);
    ASSERT_TRUE(r.done) << r.why;
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(c.after));
    EXPECT_EQ(Read(path_), "new\n");
  }
  umask(umask_was);
}

}  // namespace
}  // namespace velimo
