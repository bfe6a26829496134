// The link rule of the files Velimo writes, as an operator's program meets
// it: run as an unprivileged user (a child of the root test drops to
// nobody), with links that user made, links root made in the user's own
// folder, and links of another user: in the user's folder, in root's, and
// in their own open folder (its owner counts no more than anyone: in a
// shared folder that is whoever came first). Velimo.INI, the log's day file
// and a bench report each follow the first two to the file behind them and
// refuse the others, leaving that file as it was. The data folder follows only the user's and
// root's links and lives only in a folder of the user or root.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "settings/ini_file.h"
#include "util/data_folder.h"
#include "util/errors.h"
#include "util/file_append.h"
#include "util/report_file.h"

namespace velimo::faults {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 12345;  // nobody the test runs as, not root

struct Placed {
  const char* name;
  const char* folder;  // "user", "other" (a 0777 folder of kOtherUser), "root"
  int owner;           // -1: the unprivileged user, else a uid
  bool followed;
};

const Placed kLinks[] = {
    {"the user's own link", "user", -1, true},
    {"root's link in the user's folder", "user", 0, true},
    {"the folder owner's link in their open folder", "other", static_cast<int>(kOtherUser), false},
    {"another user's link in the user's folder", "user", static_cast<int>(kOtherUser), false},
    {"another user's link in root's folder", "root", static_cast<int>(kOtherUser), false},
};

class LinkRuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto who = UnprivilegedUser();
    if (!who) GTEST_SKIP() << "needs root to run as another user and to own links for others";
    who_ = *who;
    char tmpl[] = "/tmp/velimo-links-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    base_ = tmpl;
    ASSERT_EQ(chmod(base_.c_str(), 0755), 0);
    user_ = base_ + "/user";
    other_ = base_ + "/other";
    ASSERT_EQ(mkdir(user_.c_str(), 0755), 0);
    ASSERT_EQ(chown(user_.c_str(), who_.uid, who_.gid), 0);
    ASSERT_EQ(mkdir(other_.c_str(), 0777), 0);
    ASSERT_EQ(chmod(other_.c_str(), 0777), 0);
    ASSERT_EQ(chown(other_.c_str(), kOtherUser, kOtherUser), 0);
  }
  void TearDown() override {
    if (!base_.empty()) fs::remove_all(base_);
  }

  std::string FolderOf(const Placed& p) const {
    return std::string(p.folder) == "user"    ? user_
           : std::string(p.folder) == "other" ? other_
                                              : base_;
  }
  // A file of the user's in their folder and a link to it placed as p says.
  std::string LinkTo(const Placed& p, const std::string& name, const std::string& text) {
    const std::string target = user_ + "/" + name + ".real";
    WriteFile(target, text);
    EXPECT_EQ(chown(target.c_str(), who_.uid, who_.gid), 0);
    const std::string link = FolderOf(p) + "/" + name;
    EXPECT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
    const uid_t owner = p.owner < 0 ? who_.uid : static_cast<uid_t>(p.owner);
    EXPECT_EQ(lchown(link.c_str(), owner, owner), 0) << link;
    return link;
  }

  Unprivileged who_{};
  std::string base_, user_, other_;
};

TEST_F(LinkRuleTest, SettingsLogAndReportsFollowTheUsersAndRootsLinksOnly) {
  struct Prepared {
    const Placed* placed;
    std::string ini, log, report;
  };
  std::vector<Prepared> prepared;
  int n = 0;
  for (const Placed& p : kLinks) {
    const std::string tag = std::to_string(n++);
    prepared.push_back({&p, LinkTo(p, "Velimo" + tag + ".INI", "[MACHINE]\nModel=s\n"),
                        LinkTo(p, "Velimo_" + tag + ".log", "first\r\n"),
                        LinkTo(p, "bench" + tag + ".csv", "old report\n")});
  }

  const ChildResult child = RunInChild(
      [&]() -> std::string {
        if (!DropPrivileges(who_)) return "could not drop to the unprivileged user";
        std::string wrong;
        auto expect = [&](bool held, const std::string& what) {
          if (!held) wrong += what + "\n";
        };
        for (const Prepared& c : prepared) {
          const std::string name = c.placed->name;
          const bool follow = c.placed->followed;
          // Velimo.INI: read through the link, and saved behind it with the
          // link kept.
          const std::string model = settings::IniFile::Load(c.ini).Get("MACHINE", "Model", "");
          expect(model == (follow ? "s" : ""), name + ": settings read \"" + model + "\"");
          settings::IniFile ini = settings::IniFile::Parse("[MACHINE]\nModel=r\n");
          bool saved = true;
          try {
            ini.Save(c.ini);
          } catch (const Exception& e) {
            saved = false;
            expect(std::string(e.what()) == "Unable to write to " + c.ini,
                   name + ": settings said " + e.what());
          }
          expect(saved == follow, name + (saved ? ": settings saved" : ": settings refused"));
          expect(fs::is_symlink(c.ini), name + ": the settings link was replaced");
          const std::string ini_after =
              ReadFile(user_ + "/" + fs::path(c.ini).filename().string() + ".real");
          expect(ini_after == (follow ? "[MACHINE]\nModel=r\n" : "[MACHINE]\nModel=s\n"),
                 name + ": the settings file holds " + ini_after);

          // The log's day file: appended behind the link.
          int error = 0;
          try {
            AppendLineToFile(c.log, "second");
          } catch (const EInOutError& e) {
            error = e.ErrorCode();
          }
          expect(error == (follow ? 0 : EACCES), name + ": log error " + std::to_string(error));
          const std::string log_after =
              ReadFile(user_ + "/" + fs::path(c.log).filename().string() + ".real");
          expect(log_after == (follow ? "first\r\nsecond\r\n" : "first\r\n"),
                 name + ": the log holds " + log_after);

          // A report: replaces the file behind the link, never a link of
          // another user's choosing.
          const std::string why = WriteReportFile(c.report, "new report\n", true);
          expect(why == (follow ? "" : "symbolic link owned by another user"),
                 name + ": report said \"" + why + "\"");
          const std::string real = user_ + "/" + fs::path(c.report).filename().string() + ".real";
          expect(ReadFile(real) == (follow ? "new report\n" : "old report\n"),
                 name + ": the report holds " + ReadFile(real));
          struct stat st {};
          stat(real.c_str(), &st);
          if (follow)
            expect((st.st_mode & 0777) == 0600, name + ": a report with secrets not 0600");
          expect(fs::is_symlink(c.report), name + ": the report link was replaced");
        }
        return wrong;
      },
      20000);
  EXPECT_FALSE(child.timed_out);
  EXPECT_EQ(child.report, "");
}

TEST_F(LinkRuleTest, TheDataFolderIsAdoptedOnlyThroughLinksOfTheUserOrRootIntoTheirFolders) {
  struct Case {
    const char* name;
    std::string data_home;  // where XDG_DATA_HOME would point
    std::string adopted;    // the working folder after, "" when refused
    std::string said;       // part of the warning
  };
  // The other user's open folder, reached through their link, as planted.
  const std::string planted = other_ + "/share";
  ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
  ASSERT_EQ(chmod(planted.c_str(), 0777), 0);
  ASSERT_EQ(chown(planted.c_str(), kOtherUser, kOtherUser), 0);
  auto link = [&](const std::string& at, const std::string& to, uid_t owner) {
    EXPECT_EQ(symlink(to.c_str(), at.c_str()), 0);
    EXPECT_EQ(lchown(at.c_str(), owner, owner), 0);
    return at;
  };
  const std::string mine = user_ + "/share";
  ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
  ASSERT_EQ(chown(mine.c_str(), who_.uid, who_.gid), 0);
  // Their "velimo" folder made in advance, for a data home that is theirs.
  const std::string theirs = planted + "/velimo";
  ASSERT_EQ(mkdir(theirs.c_str(), 0777), 0);
  const std::string open_home = base_ + "/open";
  ASSERT_EQ(mkdir(open_home.c_str(), 0777), 0);
  ASSERT_EQ(chmod(open_home.c_str(), 0777), 0);
  ASSERT_EQ(mkdir((open_home + "/velimo").c_str(), 0777), 0);
  ASSERT_EQ(chown((open_home + "/velimo").c_str(), kOtherUser, kOtherUser), 0);

  const Case cases[] = {
      {"through the user's own link", link(user_ + "/own", mine, who_.uid), mine + "/velimo", ""},
      {"through root's link", link(user_ + "/rooted", mine, 0), mine + "/velimo", ""},
      {"through another user's link into their open folder",
       link(user_ + "/planted", planted, kOtherUser), "",
       user_ + "/planted is a symbolic link owned by another user"},
      {"through the folder owner's link", link(other_ + "/share-link", planted, kOtherUser), "",
       other_ + "/share-link is a symbolic link owned by another user"},
      {"into a velimo folder another user made", open_home, "",
       open_home + "/velimo belongs to another user"},
  };
  const ChildResult child = RunInChild(
      [&]() -> std::string {
        if (!DropPrivileges(who_)) return "could not drop to the unprivileged user";
        if (chdir(user_.c_str()) != 0) return "cannot start in the user's folder";
        std::string wrong;
        for (const Case& c : cases) {
          const DataFolderChoice choice = UserDataFolder(c.data_home.c_str(), "/nonexistent");
          const std::optional<std::string> error = EnterFolder(choice.folder);
          const std::string here = fs::current_path().string();
          if (c.adopted.empty()) {
            if (!error || error->find(c.said) == std::string::npos)
              wrong += std::string(c.name) + ": said \"" + error.value_or("nothing") + "\"\n";
            if (here != user_) wrong += std::string(c.name) + ": moved to " + here + "\n";
          } else {
            if (error) wrong += std::string(c.name) + ": refused: " + *error + "\n";
            if (here != c.adopted) wrong += std::string(c.name) + ": works in " + here + "\n";
          }
          if (chdir(user_.c_str()) != 0) return "cannot return to the user's folder";
        }
        // Nothing was made behind the planted link.
        if (fs::exists(planted + "/velimo/Velimo.INI")) wrong += "a file in the planted folder\n";
        return wrong;
      },
      20000);
  EXPECT_FALSE(child.timed_out);
  EXPECT_EQ(child.report, "");
  EXPECT_EQ(fs::directory_iterator(planted + "/velimo"), fs::directory_iterator());
}

}  // namespace
}  // namespace velimo::faults
