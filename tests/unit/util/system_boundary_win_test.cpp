// The Windows halves of the helpers at the system boundary: binary files,
// UTF-8 paths, the owner-only data folder, the pause.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "util/data_folder.h"
#include "util/file_append.h"
#include "util/own_file.h"
#include "util/precise_pause.h"
#include "util/restart.h"
#include "util/waitable.h"
#include "util/wide_text_win.h"

namespace velimo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class SystemBoundaryWin : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder whose name is not ASCII: every path below goes through the
    // UTF-8 to UTF-16 conversion.
    dir_ = fs::temp_directory_path() /
           (L"velimo-\u00e9t\u00e9-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    utf8_dir_ = Narrow(dir_.wstring());
  }
  void TearDown() override {
    SetCurrentDirectoryW(fs::temp_directory_path().c_str());
    fs::remove_all(dir_);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string utf8_dir_;
};

TEST_F(SystemBoundaryWin, LogLinesKeepEveryByteInAUtf8Path) {
  // Text mode would write "\r\r\n" and end a line at a 0x1A byte.
  const std::string path = utf8_dir_ + "\\d\u00e9j\u00e0.log";
  AppendLineToFile(path, "AT+CH=5\r\n\x1a\0"s);
  AppendLineToFile(path, "");
  EXPECT_EQ(Read(fs::path(Widen(path))), "AT+CH=5\r\n\x1a\0\r\n\r\n"s);
  EXPECT_EQ(Narrow(Widen("\xc3\xa9t\xc3\xa9")), "\xc3\xa9t\xc3\xa9");
}

TEST_F(SystemBoundaryWin, OwnFileRefusesAFolderAndFindsNoFileThere) {
  const OwnFile folder = OpenOwnFile(utf8_dir_, 0);
  EXPECT_EQ(folder.fd, -1);
  ASSERT_NE(folder.reason, nullptr);
  EXPECT_STREQ(folder.reason, "not a regular file");
  EXPECT_FALSE(FollowOwnLinks(utf8_dir_ + "\\missing").exists);
  EXPECT_EQ(DirectoryOf("C:\\Users\\x\\Velimo.INI"), "C:\\Users\\x");
}

TEST_F(SystemBoundaryWin, DataFolderIsMadeWithParentsAndEntered) {
  const fs::path folder = dir_ / L"a" / L"Velimo";
  ASSERT_FALSE(EnterFolder(folder).has_value());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(fs::current_path(), folder);
  // Entering it again leaves it as it is.
  EXPECT_FALSE(EnterFolder(folder).has_value());
  std::ofstream(dir_ / L"x.txt") << "file";
  EXPECT_TRUE(EnterFolder(dir_ / L"x.txt" / L"y").has_value());
  const DataFolderChoice choice = UserDataFolder();
  EXPECT_EQ(choice.folder.filename(), L"Velimo");
}

TEST_F(SystemBoundaryWin, RestartStartsTheProgramWithItsWordsInTheFolderGiven) {
  EXPECT_TRUE(forms::OwnExecutable().ends_with(".exe")) << forms::OwnExecutable();
  // The system's command interpreter stands in for the program: its words
  // (one with blanks, so quoted) run in the folder given.
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  forms::RestartCommand command =
      forms::RestartCommandFor(Narrow(std::wstring(system) + L"\\cmd.exe"), utf8_dir_);
  EXPECT_EQ(command.program_name, "cmd.exe");
  command.arguments = {"/c", "echo started> made.txt"};
  ASSERT_GT(forms::StartDetached(command), 0);
  const fs::path made = dir_ / L"made.txt";
  for (int i = 0; i < 100 && !fs::exists(made); ++i) Sleep(50);
  Sleep(100);  // the interpreter may still be writing
  EXPECT_EQ(Read(made), "started\r\n");
  command.executable = utf8_dir_ + "\\missing.exe";
  EXPECT_EQ(forms::StartDetached(command), -1);
}

TEST(PrecisePauseWin, NeverShorterThanAsked) {
  using Clock = std::chrono::steady_clock;
  for (int ms : {1, 5, 20}) {
    const Clock::time_point start = Clock::now();
    PrecisePause(ms);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(ms)) << ms << " ms";
  }
}

TEST(WaitableWin, WaitForAnyNamesEverySignalledEventAndTimesOut) {
  const Waitable a = CreateWakeEvent();
  const Waitable b = CreateWakeEvent();
  EXPECT_TRUE(WaitForAny({a, b}, 20).empty());
  SignalWakeEvent(b);
  EXPECT_EQ(WaitForAny({a, b}, -1), std::vector<Waitable>{b});
  SignalWakeEvent(a);
  // Both stay signalled until reset, and both are named.
  EXPECT_EQ(WaitForAny({a, b}, 0), (std::vector<Waitable>{a, b}));
  ResetWakeEvent(a);
  ResetWakeEvent(b);
  EXPECT_TRUE(WaitForAny({a, b}, 0).empty());
  DestroyWakeEvent(a);
  DestroyWakeEvent(b);
}

}  // namespace
}  // namespace velimo
