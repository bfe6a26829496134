// Errors raised where no operator action runs: a timer's tick, a watched
// descriptor's callback, the port's report of an unplugged adapter. A
// callback's error goes to the default error report (the error box) and
// the window goes on. With "Save Log File" on and the log unwritable, the
// tick's query and the unplug's handling go on, the log's fault is told in
// one box, and the unplug still closes the port and waits for the adapter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <stdexcept>

#include "forms/application.h"
#include "gui/front_end.h"
#include "gui/qt_platform.h"
#include "gui_support.h"

namespace velimo::gui {
namespace {

int BoxesWith(const test::ModalWatcher& watcher, const QString& text) {
  int n = 0;
  for (const auto& box : watcher.seen)
    if (box.text.contains(text)) ++n;
  return n;
}

int ErrorBoxesWith(const test::ModalWatcher& watcher, const QString& text) {
  int n = 0;
  for (const auto& box : watcher.seen)
    if (box.icon == QMessageBox::Critical && box.text.contains(text)) ++n;
  return n;
}

TEST(BackgroundErrors, AWatchedDescriptorsCallbackThatRaisesIsReportedAndWatchingGoesOn) {
  QtPlatform platform;
  test::ModalWatcher watcher;
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
  int calls = 0;
  auto watch = platform.WatchReadable(fds[0], [&] {
    char c;
    while (read(fds[0], &c, 1) == 1) {
    }
    ++calls;
    throw std::runtime_error("the device list could not be read");
  });
  for (int round = 1; round <= 2; ++round) {
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(
        test::WaitFor([&] { return calls == round && watcher.seen.size() == size_t(round); }));
  }
  EXPECT_EQ(ErrorBoxesWith(watcher, QStringLiteral("the device list could not be read.")), 2);
  watch.reset();
  close(fds[0]);
  close(fds[1]);
}

class BackgroundLogFailure : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_.reset();
    app_.reset();
    if (sim_.state() != QProcess::NotRunning) {
      sim_.kill();
      sim_.waitForFinished(3000);
    }
  }

  forms::TForm_main& Form() { return app_->Form_main(); }

  test::WorkDir dir_;
  QtPlatform platform_;
  test::ModalWatcher watcher_;
  QProcess sim_;
  std::unique_ptr<forms::TApplication> app_;
  std::unique_ptr<FrontEnd> windows_;
};

TEST_F(BackgroundLogFailure, ATimersTickAndAnUnplugGoOnAndTheLogsFaultIsToldOnce) {
  const QString link = dir_.Path() + QStringLiteral("/ttyModem");
  sim_.setWorkingDirectory(dir_.Path());
  sim_.start(QStringLiteral(VELIMO_MODEM_SIM),
             {QStringLiteral("--model"), QStringLiteral("i"), QStringLiteral("--link"), link});
  ASSERT_TRUE(sim_.waitForReadyRead(5000)) << "the simulator did not come up";
  forms::ApplicationOptions options;
  options.ports = [] { return std::optional<std::vector<std::string>>(); };
  app_ = std::make_unique<forms::TApplication>(platform_, options);
  windows_ = std::make_unique<FrontEnd>(*app_, platform_);
  windows_->main_window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&windows_->main_window));
  Form().ioTavi1Click();
  QTimer::singleShot(0, [this, link] {
    ASSERT_TRUE(test::WaitFor([&] { return windows_->connect.isVisible(); }));
    app_->Form_Connect().CB_ComPort.UserSetText(link.toStdString());
    QTest::mouseClick(windows_->connect.findChild<QPushButton*>(QStringLiteral("Btn_Connect")),
                      Qt::LeftButton);
  });
  windows_->main_window.findChild<QAction*>(QStringLiteral("ConnectN1"))->trigger();
  ASSERT_TRUE(Form().ComPortEnvBoard.Connected());
  ASSERT_TRUE(test::WaitFor([&] { return Form().ResponseFlag == 1; }, test::kGenerousMs));
  const size_t boxes_at_start = watcher_.seen.size();

  // A file where the Log folder should be: every log line fails.
  dir_.Write(QStringLiteral("Log"), "not a folder");
  Form().SaveLogFile1Click();
  ASSERT_TRUE(Form().SaveLogFile1.Checked());
  const QString failure =
      QStringLiteral("The trace log cannot be written (Not a directory): ./Log/Velimo_");

  // The ioTavi's RS-485 wait ends by its timer: the status query it sends
  // goes out all the same, and the log's fault is told.
  Form().Timer_RS485Answer.SetEnabled(true);
  ASSERT_TRUE(test::WaitFor([&] { return BoxesWith(watcher_, failure) == 1; }, test::kGenerousMs))
      << watcher_.seen.size() - boxes_at_start << " box(es)";
  EXPECT_FALSE(Form().Timer_RS485Answer.Enabled());
  EXPECT_TRUE(Form().ComPortEnvBoard.Connected());

  // The adapter pulled out: its trace line fails too, and still the port
  // is closed, the watchdog stopped and the adapter awaited; the fault is
  // not told again.
  sim_.kill();
  ASSERT_TRUE(
      test::WaitFor([&] { return !Form().ComPortEnvBoard.Connected(); }, test::kGenerousMs));
  EXPECT_TRUE(Form().Adapter.Awaiting());
  EXPECT_FALSE(Form().Timer_ConnectionResponse.Enabled());
  EXPECT_EQ(Form().StatusBar1.PanelText(1), "Disconnected (adapter removed)");
  EXPECT_EQ(BoxesWith(watcher_, failure), 1);
  EXPECT_EQ(ErrorBoxesWith(watcher_, QStringLiteral("I/O error")), 0);
  EXPECT_TRUE(windows_->main_window.isVisible());
}

}  // namespace
}  // namespace velimo::gui
