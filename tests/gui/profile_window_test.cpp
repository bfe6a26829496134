// The Profile menu and its dialogs on screen, against the simulated modem
// on a pseudo-terminal: compare, apply with the result per row, save with
// the two boxes, and screenshots of the dialog before and after an apply.
#include "gui/profile_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "forms/application.h"
#include "gui/front_end.h"
#include "gui_support.h"

namespace velimo::gui {
namespace {

using Phase = profile::ProfileDialogModel::Phase;

class ProfileWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_.reset();
    app_.reset();
    if (sim_.state() != QProcess::NotRunning) {
      sim_.terminate();
      sim_.waitForFinished(3000);
    }
  }

  void Start() {
    const QString link = dir_.Path() + QStringLiteral("/ttyModem");
    sim_.setWorkingDirectory(dir_.Path());
    sim_.start(QStringLiteral(VELIMO_MODEM_SIM),
               {QStringLiteral("--model"), QStringLiteral("s"), QStringLiteral("--link"), link,
                QStringLiteral("--state"), dir_.Path() + QStringLiteral("/modem.state"),
                QStringLiteral("--ignore"), QStringLiteral("DTN")});
    ASSERT_TRUE(sim_.waitForReadyRead(5000)) << "the simulator did not come up";
    forms::ApplicationOptions options;
    options.ports = [] { return std::optional<std::vector<std::string>>(); };
    app_ = std::make_unique<forms::TApplication>(platform_, options);
    windows_ = std::make_unique<FrontEnd>(*app_, platform_);
    Main().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
    Form().sTavi1Click();
    QTimer::singleShot(0, [this, link] {
      ASSERT_TRUE(test::WaitFor([&] { return windows_->connect.isVisible(); }));
      app_->Form_Connect().CB_ComPort.UserSetText(link.toStdString());
      QTest::mouseClick(windows_->connect.findChild<QPushButton*>(QStringLiteral("Btn_Connect")),
                        Qt::LeftButton);
    });
    Action("ConnectN1")->trigger();
    ASSERT_TRUE(Form().ComPortEnvBoard.Connected());
    ASSERT_TRUE(test::WaitFor([&] { return Form().ResponseFlag == 1; }, test::kGenerousMs));
  }

  forms::TForm_main& Form() { return app_->Form_main(); }
  MainWindow& Main() { return windows_->main_window; }
  QAction* Action(const char* name) {
    auto* a = Main().findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
  }
  template <class W>
  W* In(QWidget* parent, const char* name) {
    W* w = parent->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  test::WorkDir dir_;
  QtPlatform platform_;
  test::ModalWatcher watcher_;
  QProcess sim_;
  std::unique_ptr<forms::TApplication> app_;
  std::unique_ptr<FrontEnd> windows_;
};

TEST_F(ProfileWindowTest, CompareApplyAndSaveThroughTheProfileMenu) {
  Start();
  // "Profile" stands right after "Connection", usable while connected.
  const QList<QAction*> top = Main().menuBar()->actions();
  const auto connection = std::find_if(top.begin(), top.end(), [](QAction* a) {
    return a->objectName() == QStringLiteral("Connection1");
  });
  ASSERT_NE(connection, top.end());
  ASSERT_NE(connection + 1, top.end());
  EXPECT_EQ((*(connection + 1))->objectName(), QStringLiteral("Profile1"));
  EXPECT_EQ((*(connection + 1))->text(), QStringLiteral("&Profile"));
  for (const char* name : {"SaveProfile1", "CompareProfile1", "ApplyProfile1"})
    EXPECT_TRUE(Action(name)->isEnabled()) << name;

  const QString file = dir_.Path() + QStringLiteral("/site.vprofile");
  dir_.Write(QStringLiteral("site.vprofile"),
             "[Profile]\nModel = sTavi\n[Settings]\nCH = 5\nDTN = 12\nDMT = 250\nSFT = 7\n");
  ProfileMenu* menu = Main().Profiles();
  menu->choose_file = [file] { return file; };
  Action("CompareProfile1")->trigger();
  ProfileDialog* dialog = menu->Dialog();
  ASSERT_TRUE(test::WaitFor(
      [&] { return dialog->isVisible() && dialog->Model().CurrentPhase() == Phase::Compared; },
      8000));
  auto* table = In<QTableWidget>(dialog, "Grid_Profile");
  auto* apply = In<QPushButton>(dialog, "Btn_Profile_Apply");
  auto* progress = In<QProgressBar>(dialog, "Progress_Profile");
  auto* status = In<QLabel>(dialog, "LB_Profile_Status");
  for (QWidget* w : std::initializer_list<QWidget*>{table, apply, progress, status})
    EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("Channel (CH)"));
  EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("1"));
  EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("5"));
  EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("Dest. Table Number (DTN)"));
  EXPECT_EQ(status->text(),
            QStringLiteral("3 of 4 settings differ. Apply writes them and reads them back."));
  EXPECT_TRUE(apply->isEnabled());
  test::SaveScreenshot(*dialog, QStringLiteral("profile_dialog_before_apply"));
  test::SaveScreenshotPerScreen(*dialog, QStringLiteral("profile_dialog_before_apply"));

  QTest::mouseClick(apply, Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return dialog->Model().CurrentPhase() == Phase::Applied; },
                            3 * test::kGenerousMs));
  EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("verified"));
  EXPECT_EQ(table->item(1, 3)->text(), QStringLiteral("did-not-stick (modem=0)"));
  EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("0"));
  EXPECT_EQ(table->item(2, 3)->text(), QStringLiteral("verified"));
  EXPECT_EQ(progress->value(), 3);
  EXPECT_EQ(status->text(), QStringLiteral("2 verified, 1 did-not-stick."));
  EXPECT_FALSE(apply->isEnabled());
  test::SaveScreenshot(*dialog, QStringLiteral("profile_dialog_after_apply"));
  EXPECT_EQ(Form().CB_S_Ch.Text(), "5") << "the pages show what the modem now holds";
  QTest::mouseClick(In<QPushButton>(dialog, "Btn_Profile_Close"), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());

  // Saving: both boxes unticked at first; the identity box adds MYID.
  Action("SaveProfile1")->trigger();
  SaveProfileDialog* save = menu->SaveDialog();
  ASSERT_TRUE(test::WaitFor([&] { return save->isVisible(); }));
  auto* identity = In<QCheckBox>(save, "CB_Profile_Identity");
  EXPECT_FALSE(identity->isChecked());
  EXPECT_FALSE(In<QCheckBox>(save, "CB_Profile_Secrets")->isChecked());
  identity->setChecked(true);
  In<QLineEdit>(save, "Edit_Profile_Path")->setText(dir_.Path() + QStringLiteral("/unit"));
  QTest::mouseClick(In<QPushButton>(save, "Btn_Profile_Save"), Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return !watcher_.seen.empty(); }, 3 * test::kGenerousMs));
  EXPECT_TRUE(watcher_.seen.back().text.startsWith(QStringLiteral("Saved 20 settings to ")))
      << watcher_.seen.back().text.toStdString();
  QFile saved(dir_.Path() + QStringLiteral("/unit.vprofile"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_TRUE(text.contains("\nMYID = 100001\n"));
  EXPECT_TRUE(text.contains("\nCH = 5\n"));

  // A FIFO or an oversized file chosen as the profile: refused at once by
  // the profile reader's own words, nothing sent, the window live.
  const QString fifo = dir_.Path() + QStringLiteral("/fifo.vprofile");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString big = dir_.Path() + QStringLiteral("/big.vprofile");
  {
    QFile out(big);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_TRUE(out.resize(qint64{110} << 20));
  }
  const std::pair<QString, QString> refusals[] = {{fifo, QStringLiteral("not a regular file")},
                                                  {big, QStringLiteral("larger than 1 MiB")}};
  for (const auto& [chosen, reason] : refusals) {
    menu->choose_file = [chosen] { return chosen; };
    Action("CompareProfile1")->trigger();
    const QString said = QStringLiteral("cannot read ") + chosen + QStringLiteral(": ") + reason +
                         QStringLiteral("\nNothing was sent.");
    ASSERT_TRUE(test::WaitFor([&] { return status->text() == said; }))
        << status->text().toStdString();
    EXPECT_EQ(dialog->Model().CurrentPhase(), Phase::Refused);
    EXPECT_EQ(table->rowCount(), 0);
    QTest::mouseClick(In<QPushButton>(dialog, "Btn_Profile_Close"), Qt::LeftButton);
  }

  // Without the link the items rest.
  Action("Disconnect1")->trigger();
  for (const char* name : {"SaveProfile1", "CompareProfile1", "ApplyProfile1"})
    EXPECT_FALSE(Action(name)->isEnabled()) << name;
}

TEST_F(ProfileWindowTest, ApplyShowsTheRowsFirstAndTheDialogIsReadAndLeftByKeyboard) {
  Start();
  const QString file = dir_.Path() + QStringLiteral("/site.vprofile");
  dir_.Write(QStringLiteral("site.vprofile"), "[Profile]\nModel = sTavi\n[Settings]\nCH = 5\n");
  ProfileMenu* menu = Main().Profiles();
  menu->choose_file = [file] { return file; };
  Action("ApplyProfile1")->trigger();
  ProfileDialog* dialog = menu->Dialog();
  ASSERT_TRUE(test::WaitFor(
      [&] { return dialog->isVisible() && dialog->Model().CurrentPhase() == Phase::Compared; },
      8000));
  // Nothing written yet: the rows wait for Apply.
  auto* table = In<QTableWidget>(dialog, "Grid_Profile");
  auto* apply = In<QPushButton>(dialog, "Btn_Profile_Apply");
  auto* status = In<QLabel>(dialog, "LB_Profile_Status");
  ASSERT_EQ(table->rowCount(), 1);
  QTest::qWait(300);
  EXPECT_EQ(Form().CB_S_Ch.Text(), "1");
  EXPECT_TRUE(apply->isEnabled());
  // A screen reader hears the texts themselves.
  EXPECT_EQ(status->accessibleName(), QStringLiteral("Profile status: ") + status->text());
  EXPECT_EQ(In<QLabel>(dialog, "LB_Profile_File")->accessibleName(),
            QStringLiteral("Profile file: ") + file);
  // Tab, Shift+Tab and Ctrl+Tab leave the table.
  QApplication::setActiveWindow(dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  for (Qt::KeyboardModifiers mods :
       {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
        Qt::KeyboardModifiers(Qt::ControlModifier)}) {
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Tab, mods);
    EXPECT_NE(QApplication::focusWidget(), table) << int(mods);
  }
  QTest::mouseClick(apply, Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return dialog->Model().CurrentPhase() == Phase::Applied; },
                            3 * test::kGenerousMs));
  EXPECT_EQ(Form().CB_S_Ch.Text(), "5");
  EXPECT_EQ(status->accessibleName(), QStringLiteral("Profile status: ") + status->text());
  QTest::mouseClick(In<QPushButton>(dialog, "Btn_Profile_Close"), Qt::LeftButton);

  // A refused file counts no lines.
  dir_.Write(QStringLiteral("site.vprofile"),
             "[Profile]\nModel = sTavi\n[Settings]\nDMT = 99999\n");
  Action("CompareProfile1")->trigger();
  ASSERT_TRUE(test::WaitFor(
      [&] { return dialog->isVisible() && !dialog->Busy() && !status->text().contains("Reading"); },
      8000));
  EXPECT_TRUE(status->text().contains(QStringLiteral("DMT"))) << status->text().toStdString();
  EXPECT_FALSE(In<QProgressBar>(dialog, "Progress_Profile")->isVisible());
  EXPECT_FALSE(apply->isEnabled());
  test::SaveScreenshot(*dialog, QStringLiteral("profile_dialog_refused"));
  QTest::mouseClick(In<QPushButton>(dialog, "Btn_Profile_Close"), Qt::LeftButton);
}

// The apply runs beside the window: while it writes, every control that
// sends rests, the busy cursor shows, the window's own timers fire, and a
// close of the window or the dialog is answered; Cancel ends it before its
// next line, the rest "not sent", and the controls come back.
TEST_F(ProfileWindowTest, AnApplyLeavesTheWindowLiveAndCancelStopsItBeforeItsNextLine) {
  Start();
  const QString file = dir_.Path() + QStringLiteral("/site.vprofile");
  dir_.Write(QStringLiteral("site.vprofile"),
             "[Profile]\nModel = sTavi\n[Settings]\nDID = 7\nDENT = 3\nPID1 = 11\nPID2 = 12\n"
             "PID3 = 13\nDMT = 250\nDMS = 100\n");
  ProfileMenu* menu = Main().Profiles();
  menu->choose_file = [file] { return file; };
  Action("ApplyProfile1")->trigger();
  ProfileDialog* dialog = menu->Dialog();
  ASSERT_TRUE(test::WaitFor(
      [&] { return dialog->isVisible() && dialog->Model().CurrentPhase() == Phase::Compared; },
      8000));
  auto* table = In<QTableWidget>(dialog, "Grid_Profile");
  auto* cancel = In<QPushButton>(dialog, "Btn_Profile_Cancel");
  auto* progress = In<QProgressBar>(dialog, "Progress_Profile");
  ASSERT_EQ(table->rowCount(), 7);
  EXPECT_FALSE(cancel->isVisible());
  QWidget* load = Main().View().WidgetOf(Form().Btn_S_CurrentStatus);
  QWidget* lora = Main().View().WidgetOf(Form().Btn_Left_LoRa);
  ASSERT_TRUE(load && lora);
  const auto sendingUsable = [&] {
    return std::vector<bool>{
        load->isEnabled(), lora->isEnabled(), Action("Disconnect1")->isEnabled(),
        Action("ApplyProfile1")->isEnabled(), Action("SaveProfile1")->isEnabled()};
  };
  EXPECT_EQ(sendingUsable(), std::vector<bool>(5, true));

  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  QTest::mouseClick(In<QPushButton>(dialog, "Btn_Profile_Apply"), Qt::LeftButton);
  EXPECT_EQ(dialog->Model().CurrentPhase(), Phase::Applying) << "the click returned at once";
  EXPECT_TRUE(cancel->isVisible() && cancel->isEnabled());
  EXPECT_EQ(sendingUsable(), std::vector<bool>(5, false));
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

  // A close of the window is told why not; one of the dialog is asked.
  watcher_.answer = [](QMessageBox& box) {
    if (!box.button(QMessageBox::No)) return test::ModalWatcher::ClickDefault(box);
    box.button(QMessageBox::No)->click();
    return true;
  };
  const size_t boxesBefore = watcher_.seen.size();
  EXPECT_FALSE(Main().close());
  EXPECT_FALSE(dialog->close());
  ASSERT_EQ(watcher_.seen.size(), boxesBefore + 2);
  EXPECT_EQ(watcher_.seen[boxesBefore].text.toStdString(), forms::kMsgCloseDuringApply);
  EXPECT_TRUE(watcher_.seen[boxesBefore + 1].text.startsWith(
      QStringLiteral("A profile is being applied. Stop it before its next line?")));
  EXPECT_TRUE(Main().isVisible() && dialog->isVisible());
  EXPECT_EQ(dialog->Model().CurrentPhase(), Phase::Applying) << "No keeps it going";

  // The window's thread serves its timer while the apply goes on: it is
  // held for one line's bytes at a time, never for the apply.
  ASSERT_TRUE(test::WaitFor(
      [&] { return ticks >= 5 || dialog->Model().CurrentPhase() != Phase::Applying; }, 8000));
  EXPECT_EQ(dialog->Model().CurrentPhase(), Phase::Applying)
      << "the window's thread was blocked by the apply";
  ASSERT_TRUE(test::WaitFor([&] { return progress->value() >= 1; }, 8000));
  test::SaveScreenshot(*dialog, QStringLiteral("profile_dialog_applying"));
  QTest::mouseClick(cancel, Qt::LeftButton);
  ASSERT_TRUE(
      test::WaitFor([&] { return dialog->Model().CurrentPhase() != Phase::Applying; }, 8000));
  EXPECT_EQ(dialog->Model().CurrentPhase(), Phase::Failed);
  int written = 0, notSent = 0;
  for (int row = 0; row < table->rowCount(); ++row) {
    const QString result = table->item(row, 3)->text();
    written += result == QStringLiteral("written, not verified (stopped before the read-back)");
    notSent += result == QStringLiteral("not sent");
  }
  EXPECT_EQ(written, progress->value());
  EXPECT_GE(notSent, 1);
  EXPECT_EQ(written + notSent, 7);
  EXPECT_FALSE(cancel->isVisible());
  EXPECT_EQ(sendingUsable(), std::vector<bool>(5, true));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  test::SaveScreenshot(*dialog, QStringLiteral("profile_dialog_cancelled"));
  EXPECT_TRUE(dialog->close()) << "after the apply the dialog closes as ever";
}

}  // namespace
}  // namespace velimo::gui
