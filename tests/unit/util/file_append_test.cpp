#include "util/file_append.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/fresh_process.h"
#include "util/errors.h"

namespace velimo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class AppendLineToFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-append-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(AppendLineToFileTest, CreatesThenAppendsEveryByteWithCrLf) {
  const std::string path = dir_ / "a.log";
  AppendLineToFile(path, "first");
  AppendLineToFile(path, "AT+CH=5\r\0\0\0"s);
  AppendLineToFile(path, "");
  EXPECT_EQ(Read(path), "first\r\nAT+CH=5\r\0\0\0\r\n\r\n"s);
}

TEST_F(AppendLineToFileTest, NeverTruncatesAnExistingFile) {
  const std::string path = dir_ / "b.log";
  std::ofstream(path, std::ios::binary) << "kept\n";
  AppendLineToFile(path, "added");
  EXPECT_EQ(Read(path), "kept\nadded\r\n");
}

TEST_F(AppendLineToFileTest, MissingDirectoryRaisesAndCreatesNothing) {
  const std::string path = dir_ / "Log" / "x.log";
  try {
    AppendLineToFile(path, "line");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir_ / "Log"));
}

TEST_F(AppendLineToFileTest, DevicesAreRefusedAndAFullDiskRaises) {
  // A device is no log file, even one that takes every write.
  for (const char* device : {"/dev/full", "/dev/null"}) {
    if (!fs::exists(device)) continue;
    try {
      AppendLineToFile(device, "line");
      ADD_FAILURE() << device << ": no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), EINVAL) << device;
      EXPECT_STREQ(e.what(), ("I/O error 22 (not a regular file) on "s + device).c_str());
    }
  }
  // A disk that fills up during the write, as a file size limit makes it
  // (in a child, where the limit stays).
  const std::string path = dir_ / "full.log";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{8, 8};
    setrlimit(RLIMIT_FSIZE, &tight);
    try {
      AppendLineToFile(path, "a line longer than eight bytes");
    } catch (const EInOutError& e) {
      _exit(e.ErrorCode() == EFBIG ? 0 : 1);
    }
    _exit(2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(AppendLineToFileTest, UnwritableTargetsRaise) {
  // A directory in place of the file, and a file below a plain file.
  EXPECT_THROW(AppendLineToFile(dir_.string(), "line"), EInOutError);
  const std::string plain = dir_ / "plain";
  std::ofstream(plain) << "x";
  EXPECT_THROW(AppendLineToFile(plain + "/x.log", "line"), EInOutError);
  EXPECT_EQ(Read(plain), "x");
}

TEST_F(AppendLineToFileTest, ReadOnlyFileRaisesPermissionError) {
  const std::string path = dir_ / "ro.log";
  std::ofstream(path) << "x";
  chmod(path.c_str(), 0444);
  test::ExpectAsUnprivilegedUser(dir_.string(), [&] {
    try {
      AppendLineToFile(path, "line");
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), EACCES);
    }
    EXPECT_EQ(Read(path), "x");
  });
}

TEST_F(AppendLineToFileTest, LongLineIsWrittenWhole) {
  const std::string path = dir_ / "long.log";
  std::string line(3 << 20, 'L');
  line[12345] = '\0';
  AppendLineToFile(path, line);
  EXPECT_EQ(Read(path), line + "\r\n");
}

}  // namespace
}  // namespace velimo
