#include "trace/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "util/errors.h"

namespace velimo::trace {
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
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

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

}  // namespace
}  // namespace velimo::trace
