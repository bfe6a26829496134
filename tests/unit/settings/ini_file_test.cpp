#include "settings/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "support/fresh_process.h"
#include "util/errors.h"

namespace velimo::settings {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A file as another tool or a person might leave it: comments, odd spacing,
// mixed case, keys before any section, unknown sections and keys, a
// duplicate key and a duplicate section.
const std::string kForeign =
    "; Velimo settings, edited by hand\n"
    "stray=before any section\n"
    "\n"
    "  [ machine ]  \n"
    "device   =   r  \n"
    "  SAVELOGTRACE=1\n"
    "# a comment=with an equals sign\n"
    "Colour=blue\n"
    "viewtracemenu = 1\n"
    "ViewTraceMenu = 0\n"
    "\n"
    "[Other]\n"
    "ComPort=COM9\n"
    "\n"
    "[envboard]\n"
    "comport=COM3\n"
    "[EnvBoard]\n"
    "BaudRate=57600\n";

TEST(IniFileRead, ForeignFile) {
  const IniFile ini = IniFile::Parse(kForeign);
  struct Case {
    const char *section, *key;
    std::optional<std::string> value;
  };
  const std::vector<Case> cases = {
      {"MACHINE", "Device", "r"},
      {"MACHINE", "SaveLogTrace", "1"},
      {"MACHINE", "ViewTraceMenu", "1"},  // the first of two wins
      {"MACHINE", "ViewLogTrace", std::nullopt},
      {"MACHINE", "Colour", "blue"},
      {"MACHINE", "# a comment", std::nullopt},
      {"MACHINE", "stray", std::nullopt},      // keys before any section belong to none
      {"EnvBoard", "ComPort", "COM3"},         // not the one of [Other]
      {"EnvBoard", "BaudRate", std::nullopt},  // only in the second [EnvBoard]: unread
      {"Missing", "Device", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.Get(c.section, c.key), c.value) << c.section << "/" << c.key;
  }
  EXPECT_EQ(ini.Get("EnvBoard", "Parity", "None"), "None");
}

TEST(IniFileRead, CrLfReadsLikeLf) {
  std::string crlf;
  for (char c : kForeign) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const IniFile lf = IniFile::Parse(kForeign);
  const IniFile cr = IniFile::Parse(crlf);
  for (const char* key : {"Device", "SaveLogTrace", "ViewTraceMenu", "Colour"}) {
    EXPECT_EQ(cr.Get("MACHINE", key), lf.Get("MACHINE", key)) << key;
  }
  EXPECT_EQ(cr.Get("EnvBoard", "ComPort"), "COM3");
  EXPECT_EQ(cr.Text(), crlf) << "an untouched file comes back byte for byte";
}

TEST(IniFileRead, ValuesAreSeenUpTo2047Characters) {
  const std::string value(5000, 'v');
  const IniFile ini =
      IniFile::Parse("[s]\nk=" + value + "\nshort=  " + std::string(2047, 'w') + "  \n");
  EXPECT_EQ(ini.Get("s", "k"), std::string(2047, 'v'));
  EXPECT_EQ(ini.Get("s", "short"), std::string(2047, 'w'));
}

TEST(IniFileRead, OddLines) {
  const IniFile ini = IniFile::Parse(
      "[s\n"  // no closing bracket: not a section, still in none
      "k=0\n"
      "[s] trailing text\n"
      "=no key\n"
      "a==b\n"  // the value starts after the first "="
      "empty=\n"
      "blank =   \t\n"
      "nul=x\0y\n"s  // a NUL is just a byte in a value
      "cr=1\r\r\n"
      "last=no line end");
  EXPECT_EQ(ini.Get("s", "k"), std::nullopt);
  EXPECT_EQ(ini.Get("s", ""), std::nullopt);
  EXPECT_EQ(ini.Get("s", "a"), "=b");
  EXPECT_EQ(ini.Get("s", "empty"), "");
  EXPECT_EQ(ini.Get("s", "blank"), "");
  EXPECT_EQ(ini.Get("s", "nul"), "x\0y"s);
  EXPECT_EQ(ini.Get("s", "cr"), "1");
  EXPECT_EQ(ini.Get("s", "last"), "no line end");
}

TEST(IniFileRead, OnePairOfEnclosingQuotesIsDropped) {
  const IniFile ini = IniFile::Parse(
      "[s]\nd= \"COM3\" \ns='a b'\nmixed=\"x'\none=\"\ninner=a \"b\"\nboth=\"\"x\"\"\n");
  EXPECT_EQ(ini.Get("s", "d"), "COM3");
  EXPECT_EQ(ini.Get("s", "s"), "a b");
  EXPECT_EQ(ini.Get("s", "mixed"), "\"x'");
  EXPECT_EQ(ini.Get("s", "one"), "\"");
  EXPECT_EQ(ini.Get("s", "inner"), "a \"b\"");
  EXPECT_EQ(ini.Get("s", "both"), "\"x\"");
}

TEST(IniFileWrite, QuotedValueIsLeftAloneWhenItIsTheSame) {
  IniFile ini = IniFile::Parse("[s]\nd=\"COM3\"\ne=\"COM3\"\n");
  ini.Set("s", "d", "COM3");
  ini.Set("s", "e", "COM4");
  EXPECT_EQ(ini.Text(), "[s]\nd=\"COM3\"\ne=COM4\n");
}

TEST(IniFileWrite, ChangesOnlyWhatItMust) {
  IniFile ini = IniFile::Parse(kForeign);
  ini.Set("Machine", "Device", "i");
  ini.Set("MACHINE", "SaveLogTrace", "1");    // same value: line untouched
  ini.Set("MACHINE", "ViewTraceMenu", "0");   // the first duplicate changes
  ini.Set("MACHINE", "ViewLogTrace", "1");    // missing: after the section's last key
  ini.Set("ENVBOARD", "Parity", "Even");      // missing: into the first [EnvBoard]
  ini.Set("EnvBoard", "BaudRate", "Custom");  // the second [EnvBoard]'s is not touched
  ini.Set("New", "Key", "v");                 // missing section: at the end
  EXPECT_EQ(ini.Text(),
            "; Velimo settings, edited by hand\n"
            "stray=before any section\n"
            "\n"
            "  [ machine ]  \n"
            "device   =   i  \n"
            "  SAVELOGTRACE=1\n"
            "# a comment=with an equals sign\n"
            "Colour=blue\n"
            "viewtracemenu = 0\n"
            "ViewTraceMenu = 0\n"
            "ViewLogTrace=1\n"
            "\n"
            "[Other]\n"
            "ComPort=COM9\n"
            "\n"
            "[envboard]\n"
            "comport=COM3\n"
            "Parity=Even\n"
            "BaudRate=Custom\n"
            "[EnvBoard]\n"
            "BaudRate=57600\n"
            "\n"
            "[New]\n"
            "Key=v\n");
}

TEST(IniFileWrite, NewLinesFollowTheFilesLineEnds) {
  IniFile ini = IniFile::Parse("[a]\r\nx=1");  // CR LF, no end on the last line
  ini.Set("a", "y", "2");
  ini.Set("b", "z", "3");
  EXPECT_EQ(ini.Text(), "[a]\r\nx=1\r\ny=2\r\n\r\n[b]\r\nz=3\r\n");

  IniFile empty;
  empty.Set("a", "x", "1");
  empty.Set("b", "y", "2");
  EXPECT_EQ(empty.Text(), "[a]\nx=1\n\n[b]\ny=2\n");
}

TEST(IniFileWrite, SectionWithoutKeysGetsTheKeyBelowItsHeader) {
  IniFile ini = IniFile::Parse("[a]\n; note\n\n[b]\n");
  ini.Set("a", "k", "v");
  EXPECT_EQ(ini.Text(), "[a]\nk=v\n; note\n\n[b]\n");
}

TEST(IniFileWrite, ValueIsCutAtALineBreakOrNul) {
  IniFile ini;
  ini.Set("s", "a", "one\r\n[evil]\nx=y");
  ini.Set("s", "b", "two\0three"s);
  EXPECT_EQ(ini.Text(), "[s]\na=one\nb=two\n");
  EXPECT_EQ(IniFile::Parse(ini.Text()).Get("evil", "x"), std::nullopt);
}

class IniFileDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-ini-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "Velimo.INI").string();
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  fs::path dir_;
  std::string path_;
};

TEST_F(IniFileDisk, MissingFileReadsEmptyAndIsNotCreated) {
  const IniFile ini = IniFile::Load(path_);
  EXPECT_EQ(ini.Get("MACHINE", "Device"), std::nullopt);
  EXPECT_EQ(ini.Text(), "");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(IniFileDisk, SaveReplacesTheFileAndLeavesNoTemporaryBehind) {
  Write("[a]\r\nx=1\r\n");
  fs::permissions(path_, fs::perms(0640), fs::perm_options::replace);
  IniFile ini = IniFile::Load(path_);
  ini.Set("a", "x", "2");
  ini.Save(path_);
  EXPECT_EQ(Read(path_), "[a]\r\nx=2\r\n");
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, fs::perms(0640));
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(IniFileDisk, SaveAndStartRemoveTheTemporariesOfKilledSavesOnly) {
  // A process that has ended: its half-written file can only be a leftover.
  const pid_t gone = fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const std::string dead = "Velimo.INI.tmp" + std::to_string(gone);
  struct Entry {
    std::string name;
    bool locked;  // held as a save in progress holds its file
    bool kept;
  };
  const Entry entries[] = {
      {dead + "-0", false, false},
      {dead + "-17", false, false},
      // The process is gone here, but a save still holds the file: one of a
      // process this one cannot see (another container).
      {dead + "-1", true, true},
      {"Velimo.INI.tmp" + std::to_string(getppid()) + "-0", false, true},  // still running
      {"Velimo.INI.tmp1-0", false, true},                                  // init: running
      {dead, false, true},  // not the pattern of a temporary file
      {dead + "-", false, true},
      {dead + "-0.bak", false, true},
      {"Velimo.INI.tmp-" + std::to_string(gone) + "-0", false, true},
      {"Other.INI.tmp" + std::to_string(gone) + "-0", false, true},  // another file's
  };
  const std::pair<const char*, std::function<void()>> moments[] = {
      {"save",
       [&] {
         IniFile ini;
         ini.Set("a", "x", "1");
         ini.Save(path_);
         EXPECT_EQ(Read(path_), "[a]\nx=1\n");
       }},
      {"start", [&] { EXPECT_EQ(LoadSettings(path_).Device, "s"); }},
  };
  for (const auto& [moment, run] : moments) {
    SCOPED_TRACE(moment);
    std::vector<int> locks;
    for (const Entry& e : entries) {
      // Fresh files: their age does not matter.
      std::ofstream(dir_ / e.name) << "[a]\nx=";
      if (!e.locked) continue;
      locks.push_back(open((dir_ / e.name).c_str(), O_RDONLY | O_CLOEXEC));
      ASSERT_EQ(flock(locks.back(), LOCK_EX), 0);
    }
    run();
    for (const Entry& e : entries) EXPECT_EQ(fs::exists(dir_ / e.name), e.kept) << e.name;
    for (int fd : locks) close(fd);
  }
}

TEST_F(IniFileDisk, SaveThroughASymbolicLinkKeepsTheLink) {
  Write("[a]\nx=1\n");
  const fs::path link = dir_ / "link.INI";
  fs::create_symlink(path_, link);
  IniFile ini = IniFile::Load(link.string());
  ini.Set("a", "x", "2");
  ini.Save(link.string());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(path_), "[a]\nx=2\n");
}

TEST_F(IniFileDisk, FailedWriteRaisesAndKeepsTheOldFile) {
  Write("[a]\nx=1\n");
  IniFile ini = IniFile::Load(path_);
  ini.Set("a", "x", "2");
  // Writing into a missing directory fails for root as well.
  const std::string elsewhere = (dir_ / "no" / "Velimo.INI").string();
  try {
    ini.Save(elsewhere);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + elsewhere).c_str());
  }
  // A directory in the file's place cannot be replaced.
  fs::create_directory(dir_ / "dir.INI");
  EXPECT_THROW(ini.Save((dir_ / "dir.INI").string()), Exception);
  EXPECT_TRUE(fs::is_directory(dir_ / "dir.INI"));
  EXPECT_EQ(Read(path_), "[a]\nx=1\n");
  // Closed to new files, the folder still lets the file itself be written:
  // it is, in place. A new file cannot be made there at all.
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
  test::ExpectAsUnprivilegedUser(dir_.string(), [&] {
    ini.Save(path_);
    EXPECT_EQ(Read(path_), "[a]\nx=2\n");
    EXPECT_THROW(ini.Save((dir_ / "new.INI").string()), Exception);
  });
}

TEST_F(IniFileDisk, ReadOnlyFileIsNotReplaced) {
  Write("[a]\nx=1\n");
  fs::permissions(path_, fs::perms(0444), fs::perm_options::replace);
  test::ExpectAsUnprivilegedUser(dir_.string(), [&] {
    IniFile ini = IniFile::Load(path_);
    ini.Set("a", "x", "2");
    EXPECT_THROW(ini.Save(path_), Exception);
    EXPECT_EQ(Read(path_), "[a]\nx=1\n");
  });
}

TEST_F(IniFileDisk, UpdateRefusesAFileItCannotRead) {
  fs::create_directory(path_);  // in the file's place
  EXPECT_THROW(IniFile::LoadForUpdate(path_), Exception);
  EXPECT_EQ(IniFile::Load(path_).Text(), "");
  EXPECT_EQ(IniFile::LoadForUpdate((dir_ / "absent.INI").string()).Text(), "");
}

TEST(IniFileGarbage, AnyBytesParseAndRoundTrip) {
  std::mt19937 rng(7);
  const std::string alphabet = "[]=;# \t\r\nabAB\0\xff"s;
  for (int i = 0; i < 2000; ++i) {
    std::string text(rng() % 200, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    IniFile ini = IniFile::Parse(text);
    ASSERT_EQ(ini.Text(), text);
    (void)ini.Get("a", "b");
    ini.Set("a", "b", "v");
    ini.Set("AB", "ba", "w");
    const IniFile again = IniFile::Parse(ini.Text());
    ASSERT_EQ(again.Get("a", "b"), "v") << "text '" << text << "'";
    ASSERT_EQ(again.Get("ab", "BA"), "w") << "text '" << text << "'";
  }
}

TEST(IniFileGarbage, MegabyteLineWithoutLineEnd) {
  std::string text = "[s]\nk=" + std::string(1 << 20, 'x');
  IniFile ini = IniFile::Parse(text);
  EXPECT_EQ(ini.Get("s", "k")->size(), IniFile::kMaxValueLength);
  ini.Set("s", "other", "1");
  EXPECT_EQ(ini.Text(), text + "\nother=1\n");
}

}  // namespace
}  // namespace velimo::settings
