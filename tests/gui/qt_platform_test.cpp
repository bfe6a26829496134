// The platform seam on Qt: real message boxes with their nested loops,
// the blocking pause, timers, the clock and the restart.
#include "gui/qt_platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "gui_support.h"
#include "util/errors.h"

namespace velimo::gui {
namespace {

using test::ModalWatcher;

TEST(QtPlatformTest, AMessageBoxIsCaptionedVelimoAndServesTimersWhileOpen) {
  QtPlatform platform;
  ModalWatcher watcher;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(5);
  // Keep the box open until the timer has ticked a few times inside it.
  watcher.answer = [&](QMessageBox& box) {
    if (ticks < 5) return false;
    return ModalWatcher::ClickDefault(box);
  };
  ticks = 0;
  platform.ShowMessage("Successfully changed.");
  ASSERT_EQ(watcher.seen.size(), 1u);
  EXPECT_EQ(watcher.seen[0].title, QStringLiteral("Velimo"));
  EXPECT_EQ(watcher.seen[0].text, QStringLiteral("Successfully changed."));
  EXPECT_EQ(watcher.seen[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(watcher.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(platform.OpenBoxes(), 0);
}

TEST(QtPlatformTest, MessagesShowEveryByteAsItself) {
  QtPlatform platform;
  ModalWatcher watcher;
  platform.ShowMessage("     Disconnected.     ");
  platform.ShowMessage("caf\xE9 <b>x</b>");
  ASSERT_EQ(watcher.seen.size(), 2u);
  EXPECT_EQ(watcher.seen[0].text, QStringLiteral("     Disconnected.     "));
  EXPECT_EQ(watcher.seen[1].text, QString::fromUtf8("café <b>x</b>"));
}

TEST(QtPlatformTest, ConfirmationsAnswerNoOnlyForNoEscapeOrTheCloseBox) {
  const struct {
    const char* how;
    std::function<void(QMessageBox&)> act;
    bool expected;
  } rows[] = {
      {"Yes", [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); }, true},
      {"No", [](QMessageBox& b) { b.button(QMessageBox::No)->click(); }, false},
      {"Escape", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false},
      {"close box", [](QMessageBox& b) { b.close(); }, false},
      // The destructive answer is never the default, nor focused: a stray
      // Return or Space changes nothing.
      {"Enter", [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, false},
      {"Space on the focused button",
       [](QMessageBox& b) {
         QTest::keyClick(b.focusWidget() ? b.focusWidget() : &b, Qt::Key_Space);
       },
       false},
  };
  for (const auto& r : rows) {
    QtPlatform platform;
    ModalWatcher watcher;
    watcher.answer = [&](QMessageBox& box) {
      r.act(box);
      return true;
    };
    EXPECT_EQ(platform.Confirm("Continue factory reset?"), r.expected) << r.how;
    ASSERT_EQ(watcher.seen.size(), 1u) << r.how;
    EXPECT_EQ(watcher.seen[0].title, QStringLiteral("Velimo"));
    EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Question);
    EXPECT_EQ(watcher.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  }
}

TEST(QtPlatformTest, TheDefaultErrorReportHasTheErrorIcon) {
  QtPlatform platform;
  ModalWatcher watcher;
  RunGuarded(platform, [] { throw EConvertError("'abc' is not a valid integer value"); });
  RunGuarded(platform, [] { throw Exception("Serial Port ERROR!!"); });
  RunGuarded(platform, [] {});  // nothing escapes, nothing shown
  ASSERT_EQ(watcher.seen.size(), 2u);
  EXPECT_EQ(watcher.seen[0].icon, QMessageBox::Critical);
  EXPECT_EQ(watcher.seen[0].title, QStringLiteral("Velimo"));
  EXPECT_EQ(watcher.seen[0].text, QStringLiteral("'abc' is not a valid integer value."));
  // The full stop is added after a letter or digit only.
  EXPECT_EQ(watcher.seen[1].text, QStringLiteral("Serial Port ERROR!!"));
}

TEST(QtPlatformTest, APauseBlocksAndServesNothing) {
  QtPlatform platform;
  bool fired = false;
  QTimer::singleShot(0, [&] { fired = true; });
  const int64_t before = platform.MonotonicMs();
  platform.Pause(60);
  EXPECT_GE(platform.MonotonicMs() - before, 60);
  EXPECT_FALSE(fired);
  EXPECT_TRUE(test::WaitFor([&] { return fired; }));
}

TEST(QtPlatformTest, TimersTickUntilStopped) {
  QtPlatform platform;
  int ticks = 0;
  auto timer = platform.CreateTimer([&] { ++ticks; });
  EXPECT_FALSE(timer->Active());
  timer->Start(10);
  EXPECT_TRUE(timer->Active());
  EXPECT_TRUE(test::WaitFor([&] { return ticks >= 3; }));
  timer->Stop();
  EXPECT_FALSE(timer->Active());
  const int at_stop = ticks;
  QTest::qWait(50);
  EXPECT_EQ(ticks, at_stop);
}

TEST(QtPlatformTest, NowIsTheLocalTime) {
  QtPlatform platform;
  // Ours lies between Qt's look before it and Qt's look after it, however
  // long the machine took between them.
  const QDateTime before = QDateTime::currentDateTime();
  const LocalDateTime now = platform.Now();
  const QDateTime after = QDateTime::currentDateTime();
  const QDateTime ours(QDate(now.year, now.month, now.day),
                       QTime(now.hour, now.minute, now.second, now.millisecond));
  EXPECT_LE(before.msecsTo(ours), before.msecsTo(after)) << "later than Qt's look after it";
  EXPECT_GE(before.msecsTo(ours), 0) << "earlier than Qt's look before it";
}

TEST(QtPlatformTest, ARestartStartsTheProgramAndEndsEveryLoop) {
  QtPlatform platform;
  int started = 0;
  platform.start_new_instance = [&] {
    ++started;
    return true;
  };
  ModalWatcher watcher;
  // The restart comes while a message box runs its nested loop: both that
  // loop and the application's loop end.
  watcher.answer = [&](QMessageBox&) {
    platform.RestartApplication();
    return true;
  };
  QTimer::singleShot(
      0, [&] { platform.ShowMessage("Serial Connection Lost!! Restarting Application."); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(platform.OpenBoxes(), 0);
}

// The application-wide cursor override now, -1 for none.
int OverrideShape() {
  const QCursor* c = QApplication::overrideCursor();
  return c ? static_cast<int>(c->shape()) : -1;
}

TEST(QtPlatformTest, TheWaitCursorCoversABusySpanButNotTheBoxesOpenedInIt) {
  QtPlatform platform;
  ModalWatcher watcher;
  std::vector<int> inBox;
  watcher.answer = [&](QMessageBox& box) {
    inBox.push_back(OverrideShape());
    return ModalWatcher::ClickDefault(box);
  };
  ASSERT_EQ(OverrideShape(), -1);
  try {
    BusyScope sequence(platform);
    EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
    {
      BusyScope nested(platform);  // a save-all run by another
      platform.ShowMessage("Serial Port ERROR!!");
      EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
    }
    EXPECT_TRUE(platform.Busy());
    EXPECT_EQ(OverrideShape(), Qt::WaitCursor);
    throw EConvertError("'1 0' is not a valid integer value");
  } catch (const Exception&) {
    // Left by an error: the cursor is the ordinary one again.
    EXPECT_FALSE(platform.Busy());
    EXPECT_EQ(OverrideShape(), -1);
  }
  platform.ShowMessage("     Disconnected.     ");
  // The box inside the span shows the arrow; the one outside no override.
  EXPECT_EQ(inBox, (std::vector<int>{Qt::ArrowCursor, -1}));
  EXPECT_EQ(OverrideShape(), -1);
}

// The restart for real: the platform's own way of starting the program
// anew runs this test program again (its main() reports and ends when it
// finds VELIMO_RESTART_REPORT), and the new process is inspected as a
// process list and a window manager see it.
TEST(QtPlatformTest, ARestartStartsThisProgramByItsNameWithoutArgumentsInTheSameFolder) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velimo_restart_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path report = dir / "report";
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  setenv("VELIMO_RESTART_REPORT", report.c_str(), 1);
  QtPlatform platform;
  const bool started = platform.start_new_instance();
  unsetenv("VELIMO_RESTART_REPORT");
  fs::current_path(before);
  ASSERT_TRUE(started);

  // The new instance has written its report (whole: it renames it there).
  EXPECT_TRUE(test::WaitFor([&] { return fs::exists(report); }))
      << "the new instance did not start";
  std::ifstream in(report, std::ios::binary);
  std::string comm, cmdline, cwd;
  std::getline(in, comm);
  std::getline(in, cmdline);
  std::getline(in, cwd);
  const std::string name = fs::read_symlink("/proc/self/exe").filename().string();
  EXPECT_EQ(comm, name.substr(0, 15));  // the kernel keeps 15 bytes of it
  EXPECT_EQ(cmdline, name + std::string(1, '\0'));
  EXPECT_EQ(fs::path(cwd), fs::canonical(dir));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velimo::gui
