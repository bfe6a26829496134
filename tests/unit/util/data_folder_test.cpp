#include "util/data_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace velimo {
namespace {

namespace fs = std::filesystem;

TEST(UserDataFolder, XdgDataHomeWhenAbsoluteElseTheHomeFoldersShare) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/data/me", "/home/me", "/data/me/velimo"},
      {nullptr, "/home/me", "/home/me/.local/share/velimo"},
      {"", "/home/me", "/home/me/.local/share/velimo"},
      // A relative XDG_DATA_HOME is not a base directory at all.
      {"data", "/home/me", "/home/me/.local/share/velimo"},
  };
  for (const Case& c : cases) {
    const DataFolderChoice choice = UserDataFolder(c.xdg, c.home);
    EXPECT_EQ(choice.folder, fs::path(c.expected)) << (c.xdg ? c.xdg : "(unset)");
    EXPECT_TRUE(choice.error.empty());
  }
  // Without HOME the account's own home folder stands in; it is absolute.
  const DataFolderChoice fallback = UserDataFolder(nullptr, nullptr);
  if (!fallback.folder.empty()) {
    EXPECT_TRUE(fallback.folder.is_absolute());
    EXPECT_EQ(fallback.folder.filename(), "velimo");
  } else {
    EXPECT_FALSE(fallback.error.empty());
  }
}

class EnterFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-datafolder-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    start_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(start_);
    fs::remove_all(dir_);
  }
  fs::path dir_, start_;
};

TEST_F(EnterFolderTest, MakesTheMissingFoldersOwnerOnlyAndWorksThere) {
  const fs::path folder = dir_ / "share" / "velimo";
  EXPECT_EQ(EnterFolder(folder), std::nullopt);
  EXPECT_EQ(fs::current_path(), folder);
  for (const fs::path& made : {dir_ / "share", folder}) {
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
  }
  // What the program then writes relative to "." lands there; a second
  // start finds the folder and its files as they were.
  std::ofstream("Velimo.INI") << "[MACHINE]\n";
  fs::current_path(start_);
  EXPECT_EQ(EnterFolder(folder), std::nullopt);
  EXPECT_TRUE(fs::exists("Velimo.INI"));
}

TEST_F(EnterFolderTest, AFileInTheWayIsReportedAndTheWorkingFolderKept) {
  std::ofstream(dir_ / "share") << "not a folder";
  const auto error = EnterFolder(dir_ / "share" / "velimo");
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find((dir_ / "share").string()), std::string::npos) << *error;
  EXPECT_EQ(fs::current_path(), start_);
}

}  // namespace
}  // namespace velimo
