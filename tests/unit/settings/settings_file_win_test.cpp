// The settings file on Windows: replaced whole, every byte kept, the
// leftovers of dead saves removed and a live one spared, a read-only file
// refused.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "settings/ini_file.h"
#include "util/errors.h"
#include "util/report_file.h"
#include "util/wide_text_win.h"

namespace velimo::settings {
namespace {

namespace fs = std::filesystem;

class SettingsFileWin : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           (L"velimo-r\u00e9glages-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ini_ = dir_ / L"Velimo.INI";
    path_ = Narrow(ini_.wstring());
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }

  fs::path dir_, ini_;
  std::string path_;
};

TEST_F(SettingsFileWin, SaveReplacesTheFileKeepingItsOtherLinesAndLineEnds) {
  Write(ini_, "; kept\r\n[MACHINE]\r\nCOM=COM1\nOther=x\r\n");
  IniFile ini = IniFile::LoadForUpdate(path_);
  ini.Set("MACHINE", "COM", "COM5");
  ini.Set("Mode", "Rate", "57600");
  ini.Save(path_);
  EXPECT_EQ(Read(ini_), "; kept\r\n[MACHINE]\r\nCOM=COM5\nOther=x\r\n\r\n[Mode]\r\nRate=57600\r\n");
  EXPECT_EQ(IniFile::Load(path_).Get("machine", "com"), "COM5");
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// The accounts a file's access list lets in, as SID text, sorted.
std::vector<std::string> Allowed(const fs::path& p) {
  std::vector<std::string> sids;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &list, nullptr, &descriptor) != ERROR_SUCCESS)
    return sids;
  for (DWORD i = 0; list && i < list->AceCount; ++i) {
    void* entry = nullptr;
    wchar_t* text = nullptr;
    if (GetAce(list, i, &entry) &&
        static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
        ConvertSidToStringSidW(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, &text)) {
      sids.push_back(Narrow(text));
      LocalFree(text);
    }
  }
  LocalFree(descriptor);
  std::sort(sids.begin(), sids.end());
  return sids;
}

TEST_F(SettingsFileWin, APrivateFileStaysPrivateAfterASave) {
  // Made owner-only as a report holding the key is; Everyone (S-1-1-0) is
  // in a plain file's list under wine, which makes lists from the mode.
  ASSERT_EQ(velimo::WriteReportFile(path_, "[MACHINE]\r\nCOM=COM1\r\n", true), "");
  const std::vector<std::string> before = Allowed(ini_);
  ASSERT_EQ(before.size(), 2u);
  IniFile ini = IniFile::LoadForUpdate(path_);
  ini.Set("MACHINE", "COM", "COM7");
  ini.Save(path_);
  EXPECT_EQ(Read(ini_), "[MACHINE]\r\nCOM=COM7\r\n");
  EXPECT_EQ(Allowed(ini_), before);
}

TEST_F(SettingsFileWin, LeftoversOfDeadSavesGoAndALiveOneStays) {
  const fs::path dead = dir_ / L"Velimo.INI.tmp4000000001-0";
  const fs::path live = dir_ / L"Velimo.INI.tmp4000000002-3";
  const fs::path other = dir_ / L"Velimo.INI.tmpnotes";
  Write(dead, "half");
  Write(live, "busy");
  Write(other, "mine");
  // A save in progress holds its file without sharing.
  const HANDLE held = CreateFileW(live.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  IniFile::RemoveLeftovers(path_);
  CloseHandle(held);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(SettingsFileWin, AReadOnlyFileIsRefusedAndKept) {
  Write(ini_, "[MACHINE]\r\nCOM=COM1\r\n");
  ASSERT_TRUE(SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
  IniFile ini = IniFile::LoadForUpdate(path_);
  ini.Set("MACHINE", "COM", "COM2");
  EXPECT_THROW(ini.Save(path_), Exception);
  SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Read(ini_), "[MACHINE]\r\nCOM=COM1\r\n");
}

}  // namespace
}  // namespace velimo::settings
