// The port list from a sysfs tty tree: which entries count, their order,
// and the two fallbacks.
#include "serial/port_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

namespace velimo::serial {
namespace {

namespace fs = std::filesystem;

TEST(NaturalOrder, DigitRunsCompareByValue) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  } cases[] = {
      {"ttyUSB2", "ttyUSB10", true},
      {"ttyUSB10", "ttyUSB2", false},
      {"ttyS9", "ttyS10", true},
      {"ttyACM0", "ttyUSB0", true},
      {"ttyS1", "ttyS1", false},
      {"ttyS", "ttyS0", true},
      {"ttyS0", "ttyS", false},
      {"ttyS01", "ttyS1", false},
      {"ttyS1", "ttyS01", true},
      {"ttyS2a", "ttyS2b", true},
      {"a99999999999999999999", "a100000000000000000000", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NaturalLess(c.a, c.b), c.less) << c.a << " < " << c.b;
  }
}

class SysTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override { fs::remove_all(root_); }

  // An entry; withDevice gives it a device behind it; type, when not
  // empty, is its serial-core type attribute.
  void Entry(const std::string& name, bool withDevice, const std::string& type = "") {
    fs::create_directories(root_ + "/" + name);
    if (withDevice) fs::create_directories(root_ + "/" + name + "/device");
    if (!type.empty()) std::ofstream(root_ + "/" + name + "/type") << type << "\n";
  }

  std::string root_;
};

TEST_F(SysTree, ListsDevicesInNaturalOrderAsDevPaths) {
  Entry("tty0", false);
  Entry("console", false);
  Entry("ptmx", false);
  Entry("ttyUSB10", true);
  Entry("ttyUSB2", true);
  Entry("ttyACM0", true);
  Entry("ttyS0", true, "4");  // a 16550A answers here
  Entry("ttyS1", true, "0");  // registered, nothing there
  Entry("ttyS10", true, "4");
  Entry("ttyS2", true, "0");
  auto ports = EnumerateSerialPorts(root_, "/dev");
  ASSERT_TRUE(ports.has_value());
  std::vector<std::string> expected = {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS10", "/dev/ttyUSB2",
                                       "/dev/ttyUSB10"};
  EXPECT_EQ(*ports, expected);
  EXPECT_EQ(SerialPortItems(root_, "/dev"), ports);
}

TEST_F(SysTree, NoDevicesGiveTheSingleNoComPortItem) {
  Entry("tty0", false);
  Entry("ttyS0", true, "0");
  auto ports = EnumerateSerialPorts(root_);
  ASSERT_TRUE(ports.has_value());
  EXPECT_TRUE(ports->empty());
  auto items = SerialPortItems(root_);
  ASSERT_TRUE(items.has_value());
  EXPECT_EQ(*items, std::vector<std::string>{"No COM Port"});
}

TEST_F(SysTree, UnreadableListGivesNothingAndTwentyFallbackNames) {
  EXPECT_FALSE(EnumerateSerialPorts(root_ + "/missing").has_value());
  EXPECT_FALSE(SerialPortItems(root_ + "/missing").has_value());
  auto names = FallbackPortNames();
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names.front(), "COM1");
  EXPECT_EQ(names[9], "COM10");
  EXPECT_EQ(names.back(), "COM20");
}

TEST_F(SysTree, OrderDoesNotDependOnDirectoryOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 30; ++i) names.push_back("ttyUSB" + std::to_string(i));
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  for (const std::string& n : names) Entry(n, true);
  auto ports = EnumerateSerialPorts(root_, "/dev");
  ASSERT_TRUE(ports.has_value());
  ASSERT_EQ(ports->size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ((*ports)[i], "/dev/ttyUSB" + std::to_string(i));
}

}  // namespace
}  // namespace velimo::serial
