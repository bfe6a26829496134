#include "trace/trace_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_platform.h"
#include "util/errors.h"

namespace velimo::trace {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velimo-trace-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    log_.SetBaseDir(dir_.string());
    platform_.SetWallClock({2024, 1, 31, 9, 5, 7, 0});
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  test::TestPlatform platform_;
  TraceLog log_{platform_, "/nonexistent"};  // pointed at dir_ in SetUp
};

TEST_F(TraceLogTest, StampsTheMessageUnchanged) {
  log_.LogWriteStr("Start Velimo...");
  platform_.SetWallClock({2024, 1, 31, 23, 0, 59, 999});
  log_.LogWriteStr("Send AT Command : AT+CH=5\r\0\0"s);
  EXPECT_EQ(log_.Pane().Lines(),
            (std::vector<std::string>{"[09:05:07]  Start Velimo...",
                                      "[23:00:59]  Send AT Command : AT+CH=5\r\0\0"s}));
}

TEST_F(TraceLogTest, PaneEmptiesWhenItHoldsMoreThan500DisplayedLines) {
  for (int i = 0; i < 500; ++i) log_.LogWriteStr("line");
  EXPECT_EQ(log_.Pane().LineCount(), 500u);
  log_.LogWriteStr("501st");  // 500 is not more than 500
  EXPECT_EQ(log_.Pane().LineCount(), 501u);
  log_.LogWriteStr("next");
  ASSERT_EQ(log_.Pane().LineCount(), 1u);
  EXPECT_EQ(log_.Pane().Lines()[0], "[09:05:07]  next");
}

TEST_F(TraceLogTest, WrappedPartsCountTowardsTheLimit) {
  log_.Pane().SetWidth(40);
  // Each of these trace lines wraps into two display lines.
  const std::string longMessage(30, 'm');
  for (int i = 0; i < 250; ++i) log_.LogWriteStr(longMessage);
  EXPECT_EQ(log_.Pane().DisplayedLineCount(), 500u);
  log_.LogWriteStr("short");
  EXPECT_EQ(log_.Pane().DisplayedLineCount(), 501u);
  log_.LogWriteStr("short");
  EXPECT_EQ(log_.Pane().LineCount(), 1u);
}

TEST_F(TraceLogTest, ReceivedLinesSkipStampCheckAndFile) {
  log_.SetSaveLogFile(true);
  for (int i = 0; i < 600; ++i) log_.AddReceivedLine("OK. CH=5\r\n");
  EXPECT_EQ(log_.Pane().LineCount(), 600u);
  EXPECT_EQ(log_.Pane().Lines()[0], "OK. CH=5\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "Log")) << "received lines never reach the file";
  // The next trace line finds the pane past the limit.
  log_.LogWriteStr("Send Current Status Read Command to ... ");
  EXPECT_EQ(log_.Pane().LineCount(), 1u);
}

TEST_F(TraceLogTest, ReceivedLinesAloneAreBoundedOldestFirst) {
  struct Case {
    size_t width;
    std::string tail;  // makes each line wrap over several displayed lines
  };
  const Case cases[] = {{0, ""}, {10, "-wrapped over more lines"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("width " + std::to_string(c.width));
    log_.Clear();
    log_.Pane().SetWidth(c.width);
    size_t most = 0;
    const int n = 25000;
    for (int i = 0; i < n; ++i) {
      log_.AddReceivedLine("Source ID = " + std::to_string(i) + c.tail + "\r\n");
      most = std::max(most, log_.Pane().DisplayedLineCount());
    }
    EXPECT_LE(most, TraceLog::kMaxReceivedPaneLines);
    const auto& lines = log_.Pane().Lines();
    // The newest are kept, consecutive and in order; the oldest went.
    // (at least the batch's lower mark, less one line's worth)
    ASSERT_GT(log_.Pane().DisplayedLineCount(), TraceLog::kReceivedPaneKeep - 5);
    const int first = n - static_cast<int>(lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
      ASSERT_EQ(lines[k],
                "Source ID = " + std::to_string(first + static_cast<int>(k)) + c.tail + "\r\n");
    }
  }
  // The trace lines' own rule is untouched: the next one empties the pane.
  log_.LogWriteStr("Send Current Status Read Command to ... ");
  EXPECT_EQ(log_.Pane().LineCount(), 1u);
}

TEST_F(TraceLogTest, FileGetsEveryByteWithCrLf) {
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("Send AT Command : AT+CH=5\r\0\0\0"s);
  log_.LogWriteStr("CR LF inside\r\n");
  log_.LogWriteStr("");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"),
            "[09:05:07]  Send AT Command : AT+CH=5\r\0\0\0\r\n"
            "[09:05:07]  CR LF inside\r\n\r\n"
            "[09:05:07]  \r\n"s);
}

TEST_F(TraceLogTest, AppendsToAnExistingDayFile) {
  fs::create_directory(dir_ / "Log");
  std::ofstream(dir_ / "Log" / "Velimo_20240131.log", std::ios::binary) << "earlier\r\n";
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("later");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"), "earlier\r\n[09:05:07]  later\r\n");
}

TEST_F(TraceLogTest, FolderRemovedBetweenLinesIsMadeAgain) {
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("first");
  fs::remove_all(dir_ / "Log");  // an operator tidying up while the tool runs
  log_.LogWriteStr("second");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"), "[09:05:07]  second\r\n");
}

TEST_F(TraceLogTest, LineStampedBeforeMidnightLandsInTheNextDaysFile) {
  log_.SetSaveLogFile(true);
  platform_.SetWallClock({2024, 12, 31, 23, 59, 59, 999});
  platform_.now_read_step_ms = 1;  // midnight passes between the two reads
  log_.LogWriteStr("last of the year");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20250101.log"), "[23:59:59]  last of the year\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "Log" / "Velimo_20241231.log"));
}

TEST_F(TraceLogTest, NothingCreatedWhileTheSwitchIsOff) {
  for (int i = 0; i < 10; ++i) log_.LogWriteStr("x");
  EXPECT_TRUE(fs::is_empty(dir_));
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("on");
  log_.SetSaveLogFile(false);
  log_.LogWriteStr("off again");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"), "[09:05:07]  on\r\n");
}

TEST_F(TraceLogTest, ClearEmptiesThePaneOnly) {
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("kept in the file");
  log_.Clear();
  EXPECT_EQ(log_.Pane().LineCount(), 0u);
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"), "[09:05:07]  kept in the file\r\n");
}

TEST_F(TraceLogTest, DirectoryThatCannotBeMadeRaisesAfterThePaneLine) {
  // The base directory itself is missing, so Log cannot be created below it.
  log_.SetBaseDir((dir_ / "missing").string());
  log_.SetSaveLogFile(true);
  try {
    log_.LogWriteStr("Trying Connection to Device... ");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  ASSERT_EQ(log_.Pane().LineCount(), 1u);
  EXPECT_EQ(log_.Pane().Lines()[0], "[09:05:07]  Trying Connection to Device... ");
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(TraceLogTest, PlainFileNamedLogRaises) {
  std::ofstream(dir_ / "Log") << "not a directory";
  log_.SetSaveLogFile(true);
  EXPECT_THROW(log_.LogWriteStr("x"), EInOutError);
  EXPECT_EQ(log_.Pane().LineCount(), 1u);
}

// Day files and folders as a careless or hostile neighbour leaves them:
// each line fails at once with the log's I/O error (never blocking), the
// pane has the line, and nothing is written where the log does not belong.
TEST_F(TraceLogTest, HostileLogFilesAreRefusedWithoutWaiting) {
  const fs::path log = dir_ / "Log";
  const fs::path day = log / "Velimo_20240131.log";
  const fs::path elsewhere = dir_ / "elsewhere";
  int reader = -1;
  struct Case {
    const char* name;
    std::function<bool()> make;  // false: cannot be made here
    int error;
  };
  const Case cases[] = {
      {"a FIFO without a reader", [&] { return mkfifo(day.c_str(), 0600) == 0; }, EINVAL},
      {"a FIFO with a reader",
       [&] {
         if (mkfifo(day.c_str(), 0600) != 0) return false;
         reader = open(day.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         return reader >= 0;
       },
       EINVAL},
      {"a link to a device",
       [&] {
         fs::create_symlink("/dev/full", day);
         return fs::exists("/dev/full");
       },
       EINVAL},
      {"a folder", [&] { return fs::create_directory(day); }, EINVAL},
      {"a day file linked by another user",
       [&] {
         std::ofstream(elsewhere) << "kept\n";
         fs::create_symlink(elsewhere, day);
         return geteuid() == 0 && lchown(day.c_str(), 65534, 65534) == 0;
       },
       EACCES},
      {"a Log folder linked by another user",
       [&] {
         fs::remove(log);
         fs::create_directory(elsewhere);
         fs::create_symlink(elsewhere, log);
         return geteuid() == 0 && lchown(log.c_str(), 65534, 65534) == 0;
       },
       EACCES},
  };
  log_.SetSaveLogFile(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(log);
    fs::remove_all(elsewhere);
    fs::create_directory(log);
    if (!c.make()) {
      std::cout << "skipped here: " << c.name << "\n";
      continue;
    }
    log_.Clear();
    try {
      log_.LogWriteStr("Trying Connection to Device... ");
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), c.error) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("I/O error " + std::to_string(c.error) + " (", 0), 0u)
          << e.what();
    }
    EXPECT_EQ(log_.Pane().LineCount(), 1u);
    if (reader >= 0) {
      char byte;
      EXPECT_EQ(read(reader, &byte, 1), 0) << "the reader got the line";
      close(reader);
      reader = -1;
    }
    if (fs::is_regular_file(elsewhere)) {
      EXPECT_EQ(Read(elsewhere), "kept\n");
    }
    if (fs::is_directory(elsewhere)) {
      EXPECT_TRUE(fs::is_empty(elsewhere));
    }
  }

  // The user's own link to the folder is followed.
  fs::remove_all(log);
  fs::remove_all(elsewhere);
  fs::create_directory(elsewhere);
  fs::create_symlink(elsewhere, log);
  log_.LogWriteStr("through the link");
  EXPECT_EQ(Read(elsewhere / "Velimo_20240131.log"), "[09:05:07]  through the link\r\n");
}

// The log holds what was said to the modem: its folder and files are the
// owner's alone, whatever the umask; and the key and IV values are masked
// in the file (not in the pane) unless the settings ask for them.
TEST_F(TraceLogTest, LogIsPrivateAndMasksKeysAndIvs) {
  const mode_t old_umask = umask(0);
  log_.SetSaveLogFile(true);
  struct Line {
    std::string message;
    TraceSecret secret;
    std::string in_file;  // as masked
  };
  const std::vector<Line> lines = {
      {"Send AT Command : AT+AESKEY=0123456789abcdef\r\0\0"s,
       {},
       "Send AT Command : AT+AESKEY=****************\r\0\0"s},
      // The IV line is the IV alone: the sender says where it is.
      {"Send AT Command : fedcba9876543210\r\0"s,
       {18, 16},
       "Send AT Command : ****************\r\0"s},
      {"Send AT Command : No Information\r"s, {18, 14}, "Send AT Command : **************\r"s},
      // The modems' reports, should a logged line carry them.
      {"AES KEY : 0123456789abcdef\r\n", {}, "AES KEY : ****************\r\n"},
      {"AES IV : with blanks   \r\n", {}, "AES IV : **************\r\n"},
      {"AESKEY:0123456789abcdef", {}, "AESKEY:****************"},
      {"AESIV:0123456789abcdef\r\n", {}, "AESIV:****************\r\n"},
      {"ERROR : Invalid Command for F/W 1.0 : AT+AESKEY=0123456789abcdef",
       {},
       "ERROR : Invalid Command for F/W 1.0 : AT+AESKEY=****************"},
      // No value after the keyword: nothing to mask.
      {"OK, AES IV\r\n", {}, "OK, AES IV\r\n"},
      {"Send AT Command : AT+AES=1\r\0"s, {}, "Send AT Command : AT+AES=1\r\0"s},
      // A rejection that repeats the IV just sent, with no keyword.
      {"ERROR : Invalid fedcba9876543210 rejected\r\n",
       {},
       "ERROR : Invalid **************** rejected\r\n"},
      {"Send AT Command : AT+AESKEY=K1k1K1k1K1k1K1k1\r"s,
       {28, 16},
       "Send AT Command : AT+AESKEY=****************\r"s},
      {"Source ID K1k1K1k1K1k1K1k1K1k1K1k1K1k1K1k1",
       {},
       "Source ID ********************************"},
      // Too short to be known by its value: only its own span is masked.
      {"Send AT Command : short\r"s, {18, 5}, "Send AT Command : *****\r"s},
      {"a short line", {}, "a short line"},
  };
  std::string masked, clear;
  for (const Line& l : lines) {
    log_.LogWriteStr(l.message, l.secret);
    EXPECT_EQ(log_.Pane().Lines().back(), "[09:05:07]  " + l.message);
    masked += "[09:05:07]  " + l.in_file + "\r\n";
  }
  log_.SetLogSecrets(true);
  for (const Line& l : lines) {
    log_.LogWriteStr(l.message, l.secret);
    clear += "[09:05:07]  " + l.message + "\r\n";
  }
  umask(old_umask);
  const fs::path file = dir_ / "Log" / "Velimo_20240131.log";
  EXPECT_EQ(Read(file), masked + clear);
  EXPECT_EQ(fs::status(dir_ / "Log").permissions() & fs::perms::all, fs::perms(0700));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0600));
}

TEST(TraceLogFormat, StampAndFileName) {
  EXPECT_EQ(TraceLog::Stamp({2024, 1, 1, 0, 0, 0, 0}), "[00:00:00]  ");
  EXPECT_EQ(TraceLog::Stamp({2024, 1, 1, 23, 59, 59, 999}), "[23:59:59]  ");
  test::TestPlatform p;
  TraceLog log(p);
  EXPECT_EQ(log.LogDir(), "./Log");
  EXPECT_EQ(log.LogFilePath({2024, 1, 31, 0, 0, 0, 0}), "./Log/Velimo_20240131.log");
  EXPECT_EQ(log.LogFilePath({987, 12, 5, 0, 0, 0, 0}), "./Log/Velimo_09871205.log");
  // Values no clock gives are written whole rather than cut or overrun.
  EXPECT_EQ(log.LogFilePath({12345, 100, -1, 0, 0, 0, 0}), "./Log/Velimo_12345100-1.log");
  EXPECT_EQ(TraceLog::Stamp({2024, 1, 1, 123, -5, 2147483647, 0}), "[123:-5:2147483647]  ");
  EXPECT_FALSE(log.SaveLogFile()) << "the log file is off at creation";
}

TEST_F(TraceLogTest, EachLineGoesToTheFileOfItsDayAndFolder) {
  log_.SetSaveLogFile(true);
  log_.LogWriteStr("monday");
  platform_.SetWallClock({2024, 2, 1, 8, 0, 0, 0});
  log_.LogWriteStr("tuesday");
  const fs::path other = dir_ / "other";
  fs::create_directory(other);
  log_.SetBaseDir(other.string());
  log_.LogWriteStr("elsewhere");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240131.log"), "[09:05:07]  monday\r\n");
  EXPECT_EQ(Read(dir_ / "Log" / "Velimo_20240201.log"), "[08:00:00]  tuesday\r\n");
  EXPECT_EQ(Read(other / "Log" / "Velimo_20240201.log"), "[08:00:00]  elsewhere\r\n");
}

}  // namespace
}  // namespace velimo::trace
