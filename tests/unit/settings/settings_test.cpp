#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>

#include "util/errors.h"

namespace velimo::settings {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-settings-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = (dir_ / "Velimo.INI").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  void Write(const std::string& text) { Write(path_, text); }

  fs::path dir_;
  std::string path_;
};

TEST_F(SettingsTest, FirstStartHasTheDefaultsAndCreatesNoFile) {
  const Settings s = LoadSettings(path_);
  EXPECT_EQ(s.Device, "s");
  EXPECT_EQ(s.SaveLogTrace, "0");
  EXPECT_EQ(s.ViewTraceMenu, "0");
  EXPECT_EQ(s.ViewLogTrace, "0");
  EXPECT_EQ(s.ComPort, "COM1");
  EXPECT_EQ(s.BaudRate, "9600");
  EXPECT_EQ(s.DataBits, "8");
  EXPECT_EQ(s.StopBits, "1");
  EXPECT_EQ(s.Parity, "None");
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsTest, NewFileListsTheNineKeysInTheWritersOrder) {
  Settings s;
  s.BaudRate = "Custom";
  s.SaveLogTrace = "1";
  SaveSettings(s, path_);
  EXPECT_EQ(Read(),
            "[MACHINE]\n"
            "Device=s\n"
            "SaveLogTrace=1\n"
            "ViewTraceMenu=0\n"
            "ViewLogTrace=0\n"
            "\n"
            "[EnvBoard]\n"
            "ComPort=COM1\n"
            "BaudRate=Custom\n"
            "DataBits=8\n"
            "StopBits=1\n"
            "Parity=None\n");
  EXPECT_EQ(LoadSettings(path_), s);
}

TEST_F(SettingsTest, RoundTripThroughAFileWrittenByAnotherTool) {
  const std::string foreign =
      "; written on the service laptop\r\n"
      "[machine]\r\n"
      "  DEVICE = x \r\n"  // not a model code: kept as it is
      "viewtracemenu=1\r\n"
      "Device=u\r\n"  // a duplicate: the first one wins
      "Operator=Kim\r\n"
      "\r\n"
      "[Window]\r\n"
      "Left=10\r\n"
      "\r\n"
      "[ENVBOARD]\r\n"
      "ComPort = /dev/ttyUSB0\r\n"
      "Parity=Even";
  Write(foreign);
  Settings s = LoadSettings(path_);
  EXPECT_EQ(s.Device, "x");
  EXPECT_EQ(s.ViewTraceMenu, "1");
  EXPECT_EQ(s.ComPort, "/dev/ttyUSB0");
  EXPECT_EQ(s.Parity, "Even");
  EXPECT_EQ(s.BaudRate, "9600");

  // Writing back what was read changes no line that is there, adds the
  // missing keys to their sections, and keeps the CR LF line ends.
  SaveSettings(s, path_);
  EXPECT_EQ(Read(),
            "; written on the service laptop\r\n"
            "[machine]\r\n"
            "  DEVICE = x \r\n"
            "viewtracemenu=1\r\n"
            "Device=u\r\n"
            "Operator=Kim\r\n"
            "SaveLogTrace=0\r\n"
            "ViewLogTrace=0\r\n"
            "\r\n"
            "[Window]\r\n"
            "Left=10\r\n"
            "\r\n"
            "[ENVBOARD]\r\n"
            "ComPort = /dev/ttyUSB0\r\n"
            "Parity=Even\r\n"
            "BaudRate=9600\r\n"
            "DataBits=8\r\n"
            "StopBits=1\r\n");
  EXPECT_EQ(LoadSettings(path_), s);

  s.Device = "r";
  s.SaveLogTrace = "1";
  SaveSettings(s, path_);
  const Settings again = LoadSettings(path_);
  EXPECT_EQ(again, s);
  EXPECT_NE(Read().find("  DEVICE = r \r\n"), std::string::npos) << Read();
}

// The reconnect switch is made by hand: read, and never written, so a
// window closing does not turn a service setting into a default.
TEST_F(SettingsTest, ReconnectIsReadAndNeverWritten) {
  EXPECT_EQ(LoadSettings(path_).Reconnect, "1");
  Write("[EnvBoard]\nReconnect=0\n");
  Settings s = LoadSettings(path_);
  EXPECT_EQ(s.Reconnect, "0");
  s.Reconnect = "1";
  SaveSettings(s, path_);
  EXPECT_NE(Read().find("Reconnect=0\n"), std::string::npos) << Read();
  EXPECT_EQ(LoadSettings(path_).Reconnect, "0");
}

TEST_F(SettingsTest, WriteFailureCarriesTheFileName) {
  const std::string bad = (dir_ / "missing" / "Velimo.INI").string();
  try {
    SaveSettings(Settings{}, bad);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + bad).c_str());
  }
}

TEST_F(SettingsTest, GarbageFileGivesDefaultsAndSurvivesAWrite) {
  std::string garbage(4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 % 256);
  Write(garbage);
  EXPECT_EQ(LoadSettings(path_), Settings{});
  SaveSettings(Settings{}, path_);
  const std::string written = Read();
  EXPECT_EQ(written.substr(0, garbage.size()), garbage);
  EXPECT_EQ(LoadSettings(path_), Settings{});
}

// Settings files as editors, other tools and other users leave them. Each
// is read at start, then written back at close with the model changed.
TEST_F(SettingsTest, HostileFiles) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string other = (dir_ / "other.INI").string();
  struct Case {
    const char* name;
    std::function<bool()> make;          // lays the file out; false: cannot here
    std::string device, port, save_log;  // as read
    bool written;
    std::function<void()> check;  // after the close
  };
  const Case cases[] = {
      {"byte order mark of an editor",
       [&] {
         Write(bom + "[MACHINE]\r\nDevice=u\r\nSaveLogTrace=1\r\n[EnvBoard]\r\nComPort=COM7\r\n");
         return true;
       },
       "u", "COM7", "1", true,
       [&] {
         // The mark is kept, and no second [MACHINE] was appended.
         EXPECT_EQ(Read(), bom +
                               "[MACHINE]\r\nDevice=r\r\nSaveLogTrace=1\r\nViewTraceMenu=0\r\n"
                               "ViewLogTrace=0\r\n[EnvBoard]\r\nComPort=COM7\r\nBaudRate=9600\r\n"
                               "DataBits=8\r\nStopBits=1\r\nParity=None\r\n");
       }},
      {"a section twice",
       [&] {
         Write(
             "[MACHINE]\nDevice=u\n[EnvBoard]\nComPort=COM7\n[machine]\nSaveLogTrace=1\n"
             "Device=i\n");
         return true;
       },
       "u", "COM7", "0", true,
       [&] {
         // Only the first copy is read and written; the second stays as it was.
         EXPECT_EQ(Read(),
                   "[MACHINE]\nDevice=r\nSaveLogTrace=0\nViewTraceMenu=0\nViewLogTrace=0\n"
                   "[EnvBoard]\nComPort=COM7\nBaudRate=9600\nDataBits=8\nStopBits=1\n"
                   "Parity=None\n[machine]\nSaveLogTrace=1\nDevice=i\n");
       }},
      {"a FIFO in its place", [&] { return mkfifo(path_.c_str(), 0600) == 0; }, "s", "COM1", "0",
       false, [&] { EXPECT_TRUE(fs::is_fifo(path_)); }},
      {"the user's own link",
       [&] {
         Write(other, "[MACHINE]\nDevice=u\n");
         fs::create_symlink("other.INI", path_);
         return true;
       },
       "u", "COM1", "0", true,
       [&] {
         EXPECT_TRUE(fs::is_symlink(path_));
         EXPECT_EQ(LoadSettings(other).Device, "r");
       }},
      {"a link planted by another user",
       [&] {
         // The link would lead the tool's write to a file of the user's.
         Write(other, "[MACHINE]\nDevice=u\n");
         fs::create_symlink(other, path_);
         return geteuid() == 0 && lchown(path_.c_str(), 65534, 65534) == 0;
       },
       "s", "COM1", "0", false, [&] { EXPECT_EQ(Read(other), "[MACHINE]\nDevice=u\n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path_);
    fs::remove(other);
    if (!c.make()) {
      std::cout << "skipped here (needs root): " << c.name << "\n";
      continue;
    }
    Settings s = LoadSettings(path_);
    EXPECT_EQ(s.Device, c.device);
    EXPECT_EQ(s.ComPort, c.port);
    EXPECT_EQ(s.SaveLogTrace, c.save_log);
    s.Device = "r";
    bool written = true;
    try {
      SaveSettings(s, path_);
    } catch (const Exception& e) {
      written = false;
      EXPECT_STREQ(e.what(), ("Unable to write to " + path_).c_str());
    }
    EXPECT_EQ(written, c.written);
    c.check();
  }
}

}  // namespace
}  // namespace velimo::settings
