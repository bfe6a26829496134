// The Windows halves of the helpers at the system boundary: binary files,
// UTF-8 paths, the owner-only data folder, the pause.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "util/data_folder.h"
#include "util/file_append.h"
#include "util/own_file.h"
#include "util/precise_pause.h"
#include "util/report_file.h"
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

// What a file's or folder's access list allows: whether it is its own or
// also takes its folder's, the accounts its allowing entries name (as SID
// text, sorted) and how many of them came from the folder.
struct Access {
  bool own = false;
  std::vector<std::string> allowed;
  int inherited = 0;
  int others = 0;  // entries that deny, or audit
};

Access AccessOf(const fs::path& p) {
  Access a;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no access list for " << p.string();
    return a;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  a.own = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; list && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERITED_ACE) ++a.inherited;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      ++a.others;
      continue;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(&allowed->SidStart, &text)) {
      a.allowed.push_back(Narrow(text));
      LocalFree(text);
    }
  }
  LocalFree(descriptor);
  std::sort(a.allowed.begin(), a.allowed.end());
  return a;
}

// The user this test runs as, as SID text.
std::string TestUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  unsigned char buffer[256];
  DWORD size = 0;
  std::string sid;
  wchar_t* text = nullptr;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    sid = Narrow(text);
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

// What 0700 and 0600 are on Linux: the user and the system, and nothing
// taken from the folder above. Wine keeps no access lists: it makes the
// file's mode from the list given and a list from the mode when asked, so
// there the accounts are checked (and that the user is not locked out),
// and on Windows also that the list is the file's own.
TEST_F(SystemBoundaryWin, OwnerOnlyFilesAllowTheirOwnerAndTheSystemAlone) {
  std::vector<std::string> ownerAndSystem = {TestUser(), "S-1-5-18"};
  ASSERT_FALSE(ownerAndSystem[0].empty());
  std::sort(ownerAndSystem.begin(), ownerAndSystem.end());
  const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  const std::string log = utf8_dir_ + "\\Log";
  ASSERT_EQ(MakeOwnFolder(log), 0);
  EXPECT_EQ(MakeOwnFolder(log), EEXIST);
  const Access folder = AccessOf(Widen(log));
  EXPECT_TRUE(folder.own || underWine);
  EXPECT_EQ(folder.allowed, ownerAndSystem);
  EXPECT_EQ(folder.inherited, 0);
  EXPECT_EQ(folder.others, 0);

  // A day's log file made in it allows the same two only, and its
  // owner can still write and read it.
  const std::string day = log + "\\2026-12-07.log";
  AppendLineToFile(day, "AT+CH=5");
  EXPECT_EQ(Read(fs::path(Widen(day))), "AT+CH=5\r\n");
  const Access dayFile = AccessOf(Widen(day));
  EXPECT_EQ(dayFile.allowed, ownerAndSystem);
  EXPECT_EQ(dayFile.others, 0);

  // A report holding the key is owner-only by its own list wherever it is
  // written, also where it replaces one without secrets.
  const std::string secret = utf8_dir_ + "\\bench.json";
  ASSERT_EQ(WriteReportFile(secret, "{}", false), "");
  ASSERT_EQ(WriteReportFile(secret, "{\"AESKEY\": 1}", true), "");
  EXPECT_EQ(Read(fs::path(Widen(secret))), "{\"AESKEY\": 1}");
  const Access report = AccessOf(Widen(secret));
  EXPECT_TRUE(report.own || underWine);
  EXPECT_EQ(report.allowed, ownerAndSystem);
  EXPECT_EQ(report.inherited, 0);
}

TEST_F(SystemBoundaryWin, DataFolderIsMadeWithParentsAndEntered) {
  const fs::path folder = dir_ / L"a" / L"Velimo";
  ASSERT_FALSE(EnterFolder(folder).has_value());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(fs::current_path(), folder);
  EXPECT_EQ(AccessOf(folder).allowed, AccessOf(dir_ / L"a").allowed);
  EXPECT_EQ(AccessOf(folder).allowed.size(), 2u);
  // Entering it again leaves it as it is.
  EXPECT_FALSE(EnterFolder(folder).has_value());
  std::ofstream(dir_ / L"x.txt") << "file";
  EXPECT_TRUE(EnterFolder(dir_ / L"x.txt" / L"y").has_value());
  const DataFolderChoice choice = UserDataFolder();
  const wchar_t* appData = _wgetenv(L"APPDATA");
  ASSERT_NE(appData, nullptr);
  EXPECT_EQ(choice.folder, fs::path(appData) / L"Velimo");
}

TEST_F(SystemBoundaryWin, RestartStartsTheProgramWithItsWordsInTheFolderGiven) {
  EXPECT_TRUE(OwnExecutable().ends_with(".exe")) << OwnExecutable();
  // The system's command interpreter stands in for the program: its words
  // (one with blanks, so quoted) run in the folder given.
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  RestartCommand command =
      RestartCommandFor(Narrow(std::wstring(system) + L"\\cmd.exe"), utf8_dir_);
  EXPECT_EQ(command.program_name, "cmd.exe");
  command.arguments = {"/c", "echo started> made.txt"};
  ASSERT_GT(StartDetached(command), 0);
  const fs::path made = dir_ / L"made.txt";
  for (int i = 0; i < 100 && !fs::exists(made); ++i) Sleep(50);
  Sleep(100);  // the interpreter may still be writing
  EXPECT_EQ(Read(made), "started\r\n");
  command.executable = utf8_dir_ + "\\missing.exe";
  EXPECT_EQ(StartDetached(command), -1);
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
