// The program's windows on screen over the real form model, driven through
// widgets found by their object names, in a working directory of their own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "forms/application.h"
#include "gui/front_end.h"
#include "gui/trace_view.h"
#include "gui_support.h"
#include "trace/trace_log.h"
#include "trace/trace_pane.h"
#include "util/version.h"

namespace velimo::gui {
namespace {

using test::ModalWatcher;

class MainWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_.reset();
    app_.reset();
  }

  void Start(std::vector<std::string> ports = {"COM3", "COM1"}) {
    forms::ApplicationOptions options;
    options.ports = [ports] { return std::optional<std::vector<std::string>>(ports); };
    options.about_picture = VELIMO_ASSETS_DIR "/velimo_about.jpg";
    app_ = std::make_unique<forms::TApplication>(platform_, options);
    windows_ = std::make_unique<FrontEnd>(*app_, platform_);
    Main().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  }

  forms::TForm_main& Form() { return app_->Form_main(); }
  MainWindow& Main() { return windows_->main_window; }

  template <class W = QWidget>
  W* Find(const char* name) {
    W* w = Main().findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QString CurrentPage() { return Main().PageStack()->currentWidget()->objectName(); }
  QString StatusPanel(int i) {
    return Find<QLabel>(QStringLiteral("StatusBar1_Panel%1").arg(i).toLatin1().constData())->text();
  }
  bool Showing(const char* name) {
    QWidget* w = Find(name);
    return w && w->isVisibleTo(&Main());
  }
  QImage Icon(const char* name) {
    return Find<QPushButton>(name)->icon().pixmap(180, 180).toImage().convertToFormat(
        QImage::Format_ARGB32);
  }
  static QImage GlyphImage(int index) {
    return MainWindow::Glyph(index).toImage().convertToFormat(QImage::Format_ARGB32);
  }
  bool PaneHas(const std::string& text) {
    for (const auto& line : Form().Trace().Pane().Lines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  test::WorkDir dir_;
  QtPlatform platform_;
  ModalWatcher watcher_;
  std::unique_ptr<forms::TApplication> app_;
  std::unique_ptr<FrontEnd> windows_;
};

TEST_F(MainWindowTest, FirstStartWithoutSettingsFile) {
  Start();
  EXPECT_EQ(Main().windowTitle(), QStringLiteral("Velimo"));
  EXPECT_EQ(Main().size(), QSize(1020, 675));
  EXPECT_EQ(Main().minimumSize(), QSize(1020, 675));  // the default is the least it takes
  EXPECT_GT(Main().maximumWidth(), 4000);             // ... and it may grow
  EXPECT_TRUE(Main().windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(Main().windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Action("sTavi1")->isChecked());
  EXPECT_FALSE(Action("uTavi1")->isChecked());
  EXPECT_FALSE(Action("ioTavi1")->isVisible());
  EXPECT_FALSE(Action("Trace1")->isVisible());  // the Trace menu is a service feature
  EXPECT_FALSE(Action("Disconnect1")->isEnabled());
  EXPECT_TRUE(Action("ConnectN1")->isEnabled());
  EXPECT_FALSE(Action("COMSetup1")->isVisible());
  EXPECT_EQ(StatusPanel(0), QStringLiteral("  sTavi"));
  EXPECT_EQ(StatusPanel(1), QStringLiteral("Disconnected"));
  EXPECT_EQ(StatusPanel(2), QString());
  EXPECT_EQ(Find<QLabel>("StatusBar1_Panel1")->width(), 200);
  EXPECT_EQ(CurrentPage(), QStringLiteral("TS_S_Info"));
  EXPECT_FALSE(Showing("Panel_S_Info"));  // empty until the modem answers
  EXPECT_FALSE(Main().TabBar()->isVisible());
  EXPECT_FALSE(Find("Panel_Left_Main")->isEnabled());
  EXPECT_FALSE(Find("Btn_S_CurrentStatus")->isEnabled());
  EXPECT_EQ(Find<QPushButton>("Btn_S_CurrentStatus")->text(), QStringLiteral(" Load"));
  EXPECT_FALSE(Find("Memo")->isVisible());
  // The hidden pane still wraps at its width: the model counts lines so.
  const size_t chars = Form().Trace().Pane().Width();
  EXPECT_GT(chars, 100u);
  EXPECT_LT(chars, 140u);
  // The base font: "Courier New", or a face with its metrics.
  EXPECT_TRUE(QFontInfo(Main().font()).fixedPitch());
  EXPECT_EQ(Main().font().family(), QStringLiteral("Courier New"));
  EXPECT_EQ(Find("Btn_Left_Info")->size(), QSize(200, 200));
  // The model's selection showed the Info section: glyphs 1, 2, 4.
  EXPECT_EQ(Icon("Btn_Left_Info"), GlyphImage(1));
  EXPECT_EQ(Icon("Btn_Left_LoRa"), GlyphImage(2));
  EXPECT_EQ(Icon("Btn_Left_Serial"), GlyphImage(4));
  // The pin map shows for sTavi.
  Form().PageControl1.SetActivePageIndex(forms::kPageSSerial);
  EXPECT_TRUE(Showing("Img_S_PinMap"));
  EXPECT_EQ(Find<QLabel>("Img_S_PinMap")->pixmap().isNull(), false);
  // "Start Velimo..." reached the pane.
  EXPECT_TRUE(
      test::WaitFor([&] { return Main().Trace()->toPlainText().contains("Start Velimo..."); }));
}

TEST_F(MainWindowTest, EachModelIsSelectedFromTheMenu) {
  Start();
  Main().BuildAllPages();  // the pin map's page is looked at without showing it
  const struct {
    const char* item;
    const char* status;
    const char* page;
    bool serial_enabled;
    bool pin_map;
  } rows[] = {
      {"uTavi1", "  uTavi", "TS_S_Info", true, false},
      {"rTavi1", "  rTavi", "TS_R_Info", false, false},  // pin map left as it was
      {"sTavi1", "  sTavi", "TS_S_Info", true, true},
  };
  for (const auto& r : rows) {
    Action(r.item)->trigger();
    EXPECT_TRUE(Action(r.item)->isChecked()) << r.item;
    EXPECT_EQ(StatusPanel(0), QString::fromLatin1(r.status));
    EXPECT_EQ(CurrentPage(), QString::fromLatin1(r.page));
    // Its own switch: the whole column is disabled until connected.
    EXPECT_EQ(!Find("Btn_Left_Serial")->testAttribute(Qt::WA_ForceDisabled), r.serial_enabled)
        << r.item;
    EXPECT_EQ(Find("Img_S_PinMap")->isVisibleTo(Main().PageStack()->widget(forms::kPageSSerial)),
              r.pin_map)
        << r.item;
  }
  Action("uTavi1")->trigger();
  EXPECT_EQ(Find<QLabel>("LB_S_Summary_Info")->text(), QStringLiteral("uTavi Information"));
  int checked = 0;
  for (const char* m : {"sTavi1", "uTavi1", "rTavi1", "ioTavi1"}) checked += Action(m)->isChecked();
  EXPECT_EQ(checked, 1);
}

TEST_F(MainWindowTest, APageIsBuiltWhenFirstShownWithTheStateTheModelHoldsThen) {
  Start();
  EXPECT_TRUE(Main().PageBuilt(forms::kPageSInfo));
  EXPECT_FALSE(Main().PageBuilt(forms::kPageSLoRa));
  EXPECT_EQ(Main().findChild<QWidget*>(QStringLiteral("Edit_S_Did")), nullptr);
  // Changes made while the page waits are there when it shows.
  Form().Edit_S_Did.SetText("4711");
  Form().Edit_S_AESKey.SetMasked(false);
  Form().Btn_S_Save_Did.SetVisible(true);
  Form().PageControl1.SetActivePageIndex(forms::kPageSLoRa);
  EXPECT_TRUE(Main().PageBuilt(forms::kPageSLoRa));
  EXPECT_EQ(CurrentPage(), QStringLiteral("TS_S_LoRa"));
  EXPECT_EQ(Find<QLineEdit>("Edit_S_Did")->text(), QStringLiteral("4711"));
  EXPECT_EQ(Find<QLineEdit>("Edit_S_AESKey")->echoMode(), QLineEdit::Normal);
  EXPECT_TRUE(Showing("Btn_S_Save_Did"));
  // ... and follow the model from then on.
  Form().Edit_S_Did.SetText("42");
  EXPECT_EQ(Find<QLineEdit>("Edit_S_Did")->text(), QStringLiteral("42"));
  // A control the focus is moved to has its widget, wherever it is.
  EXPECT_FALSE(Main().PageBuilt(forms::kPageISerial));
  Form().SetActiveControl(Form().Edit_I_Did);
  EXPECT_TRUE(Main().PageBuilt(forms::kPageISerial));
  EXPECT_NE(Main().View().WidgetOf(Form().Edit_I_Did), nullptr);
}

TEST_F(MainWindowTest, TheLeftButtonsClickThroughTheThreeSections) {
  Start();
  Form().ApplyConnectedPresentation();  // the left column is usable only then
  ASSERT_TRUE(Find("Panel_Left_Main")->isEnabled());
  const struct {
    const char* button;
    const char* page;
    int glyphs[3];
    bool factory;
  } rows[] = {
      {"Btn_Left_LoRa", "TS_S_LoRa", {0, 3, 4}, false},
      {"Btn_Left_Serial", "TS_S_Serial", {0, 2, 5}, false},
      {"Btn_Left_Info", "TS_S_Info", {1, 2, 4}, true},
  };
  for (const auto& r : rows) {
    QTest::mouseClick(Find<QPushButton>(r.button), Qt::LeftButton);
    EXPECT_EQ(CurrentPage(), QString::fromLatin1(r.page)) << r.button;
    EXPECT_EQ(Icon("Btn_Left_Info"), GlyphImage(r.glyphs[0])) << r.button;
    EXPECT_EQ(Icon("Btn_Left_LoRa"), GlyphImage(r.glyphs[1])) << r.button;
    EXPECT_EQ(Icon("Btn_Left_Serial"), GlyphImage(r.glyphs[2])) << r.button;
    EXPECT_EQ(Showing("Btn_FactoryReset"), r.factory) << r.button;
  }
  // The buttons over the page area lie on top of it, at its lower edge.
  QWidget* load = Find("Btn_S_CurrentStatus");
  const QRect pages(Main().PageStack()->mapTo(&Main(), QPoint(0, 0)), Main().PageStack()->size());
  const QRect button(load->mapTo(&Main(), QPoint(0, 0)), load->size());
  EXPECT_TRUE(pages.contains(button));
  EXPECT_GT(button.top(), pages.bottom() - 60);
}

TEST_F(MainWindowTest, KeyFiltersRefuseWrongKeysWithTheirMessages) {
  Start();
  Form().ApplyConnectedPresentation();
  Form().PageControl1.SetActivePageIndex(forms::kPageSLoRa);
  QTest::keyClick(Find<QLineEdit>("Edit_S_Did"), Qt::Key_X);
  Form().PageControl1.SetActivePageIndex(forms::kPageSSerial);
  QTest::keyClick(Find<QLineEdit>("Edit_S_STX1"), Qt::Key_G);
  // The keys an operator leaves or selects a field with are no characters
  // and pass without a message.
  for (const auto& [key, mods] : {std::pair{Qt::Key_Return, Qt::KeyboardModifiers(Qt::NoModifier)},
                                  {Qt::Key_Escape, Qt::KeyboardModifiers(Qt::NoModifier)},
                                  {Qt::Key_A, Qt::KeyboardModifiers(Qt::ControlModifier)}})
    QTest::keyClick(Find<QLineEdit>("Edit_S_DMT"), key, mods);
  EXPECT_EQ(Find<QLineEdit>("Edit_S_DMT")->selectedText(), QStringLiteral("2550"));
  QTest::keyClick(Find<QLineEdit>("Edit_S_DMT"), Qt::Key_End);
  QTest::keyClick(Find<QLineEdit>("Edit_S_DMT"), Qt::Key_X);
  // Characters beyond Latin-1 get the same messages.
  QTest::sendKeyEvent(QTest::Click, Find<QLineEdit>("Edit_S_DMT"), Qt::Key_unknown,
                      QString(QChar(0x20AC)), Qt::NoModifier);
  QTest::sendKeyEvent(QTest::Click, Find<QLineEdit>("Edit_S_STX1"), Qt::Key_unknown,
                      QString(QChar(0x20AC)), Qt::NoModifier);
  ASSERT_EQ(watcher_.seen.size(), 5u);
  EXPECT_EQ(watcher_.seen[0].text, QStringLiteral("You can type only numeric keys."));
  EXPECT_EQ(watcher_.seen[0].title, QStringLiteral("Velimo"));
  EXPECT_EQ(watcher_.seen[1].text, QStringLiteral("type only 0~9, a~f and A~F key"));
  EXPECT_EQ(watcher_.seen[2].text, QStringLiteral("You can type only numeric keys."));
  EXPECT_EQ(watcher_.seen[3].text, QStringLiteral("You can type only numeric keys."));
  EXPECT_EQ(watcher_.seen[4].text, QStringLiteral("type only 0~9, a~f and A~F key"));
  EXPECT_EQ(Find<QLineEdit>("Edit_S_DMT")->text(), QStringLiteral("2550"));
  EXPECT_EQ(Find<QLineEdit>("Edit_S_Did")->text(), QStringLiteral("0"));
  EXPECT_EQ(Find<QLineEdit>("Edit_S_STX1")->text(), QStringLiteral("00"));
  EXPECT_EQ(Form().Edit_S_Did.Text(), "0");
  // Digits pass, up to the maximum length.
  Find<QLineEdit>("Edit_S_Did")->setCursorPosition(1);
  QTest::keyClicks(Find<QLineEdit>("Edit_S_Did"), "123456789");
  EXPECT_EQ(Form().Edit_S_Did.Text(), "01234567");
  EXPECT_EQ(watcher_.seen.size(), 5u);
}

TEST_F(MainWindowTest, AShowBoxRevealsTheKeyAndMasksItAgain) {
  Start();
  Action("ioTavi1")->trigger();  // hidden in the menu, still an action
  Form().ApplyConnectedPresentation();
  Form().PageControl1.SetActivePageIndex(forms::kPageILoRa);
  auto* key = Find<QLineEdit>("Edit_I_AESKey");
  auto* show = Find<QCheckBox>("CB_I_Show_Key");
  ASSERT_TRUE(show->isEnabled());
  EXPECT_EQ(key->echoMode(), QLineEdit::Password);
  EXPECT_EQ(key->text(), QStringLiteral("No Information"));
  QTest::mouseClick(show, Qt::LeftButton);
  EXPECT_TRUE(Form().CB_I_Show_Key.Checked());
  EXPECT_EQ(key->echoMode(), QLineEdit::Normal);
  QTest::mouseClick(show, Qt::LeftButton);
  EXPECT_EQ(key->echoMode(), QLineEdit::Password);
  EXPECT_EQ(key->text(), QStringLiteral("No Information"));  // the text never changes
}

// Tests of the window's own sizes need a screen with room for them; on a
// smaller one the window is fitted to the screen, which the screen tests
// check.
bool ScreenHasRoomFor(const QSize& size) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize room = screen ? screen->availableGeometry().size() : QSize();
  return room.width() >= size.width() + 40 && room.height() >= size.height() + 80;
}

TEST_F(MainWindowTest, TheWindowSizeFollowsTheTracePane) {
  if (!ScreenHasRoomFor(QSize(1020, 803))) GTEST_SKIP() << "the screen is smaller than the window";
  dir_.Write(QStringLiteral("Velimo.INI"),
             "[MACHINE]\r\nDevice=r\r\nViewTraceMenu=1\r\nViewLogTrace=1\r\n");
  Start();
  EXPECT_EQ(Main().size(), QSize(1020, 803));
  EXPECT_TRUE(Find("Memo")->isVisible());
  EXPECT_EQ(Find("Memo")->height(), 128);
  EXPECT_EQ(Find("Memo")->width(), 1020);
  EXPECT_TRUE(Action("Trace1")->isVisible());
  EXPECT_TRUE(Action("ViewLogTrace1")->isChecked());
  EXPECT_EQ(CurrentPage(), QStringLiteral("TS_R_Info"));
  test::SaveScreenshot(Main(), QStringLiteral("main_with_trace"));

  Action("ViewLogTrace1")->trigger();
  EXPECT_EQ(Main().size(), QSize(1020, 675));
  EXPECT_FALSE(Find("Memo")->isVisible());
  EXPECT_FALSE(Action("ViewLogTrace1")->isChecked());
  Action("ViewLogTrace1")->trigger();
  EXPECT_EQ(Main().size(), QSize(1020, 803));
  // The pages keep their room either way.
  EXPECT_GE(Main().PageStack()->height(), 600);
}

TEST_F(MainWindowTest, AResizedWindowGivesTheTracePaneTheRoomAndIsRememberedNextTime) {
  if (!ScreenHasRoomFor(QSize(1500, 1000))) GTEST_SKIP() << "the screen is smaller than the window";
  dir_.Write(QStringLiteral("Velimo.INI"), "[MACHINE]\r\nViewTraceMenu=1\r\nViewLogTrace=1\r\n");
  Start();
  QWidget* pages = Find("PageControl1");
  const QRect pagesBefore(pages->mapTo(&Main(), QPoint(0, 0)), pages->size());
  Main().resize(1500, 1000);
  // Layouts settle on posted events: what follows is waited for.
  const auto pagesNow = [&] { return QRect(pages->mapTo(&Main(), QPoint(0, 0)), pages->size()); };
  test::WaitFor([&] {
    return Main().size() == QSize(1500, 1000) && Find("Memo")->height() == 128 + 1000 - 803 &&
           Find("Memo")->width() == 1500;
  });
  EXPECT_EQ(Main().size(), QSize(1500, 1000));
  // The pages keep their place and size; the trace pane takes the height.
  EXPECT_EQ(pagesNow(), pagesBefore);
  EXPECT_EQ(Find("Memo")->height(), 128 + 1000 - 803);
  EXPECT_EQ(Find("Memo")->width(), 1500);
  test::SaveScreenshot(Main(), QStringLiteral("main_resized_with_trace"));
  // Without the pane the window keeps what the operator added, and the
  // page area has the height; the pages still keep theirs.
  Action("ViewLogTrace1")->trigger();
  test::WaitFor(
      [&] { return Main().size() == QSize(1500, 1000 - 128) && !Find("Memo")->isVisible(); });
  EXPECT_EQ(Main().size(), QSize(1500, 1000 - 128));
  EXPECT_EQ(pagesNow(), pagesBefore);
  Action("ViewLogTrace1")->trigger();
  test::WaitFor([&] { return Main().size() == QSize(1500, 1000) && Find("Memo")->isVisible(); });
  EXPECT_EQ(Main().size(), QSize(1500, 1000));
  // Never smaller than the declared size.
  Main().resize(600, 400);
  test::WaitFor([&] { return Main().size() == QSize(1020, 803); });
  EXPECT_EQ(Main().size(), QSize(1020, 803));
  Main().resize(1300, 900);
  test::WaitFor([&] { return Main().size() == QSize(1300, 900); });
  ASSERT_TRUE(Main().close());
  const QString ini = dir_.Read(QStringLiteral("Velimo.INI"));
  EXPECT_TRUE(ini.contains(QStringLiteral("WindowWidth=1300"))) << qPrintable(ini);
  EXPECT_TRUE(ini.contains(QStringLiteral("WindowHeight=900"))) << qPrintable(ini);

  windows_.reset();
  app_.reset();
  Start();
  EXPECT_EQ(Main().size(), QSize(1300, 900));
}

TEST_F(MainWindowTest, TheTracePaneDrawsLinesUpToTheirFirstNulInBatches) {
  dir_.Write(QStringLiteral("Velimo.INI"), "[MACHINE]\r\nViewLogTrace=1\r\n");
  Start();
  TraceView* trace = Main().Trace();
  trace->Flush();
  const int before = trace->BatchesDrawn();
  trace::TracePane& pane = Form().Trace().Pane();
  pane.Add(std::string("Send AT Command : AT&V\r\0\0\0\0", 27));
  for (int i = 0; i < 1000; ++i) pane.Add("OK line " + std::to_string(i) + "\r\n");
  EXPECT_TRUE(test::WaitFor([&] { return trace->BatchesDrawn() > before; }));
  QTest::qWait(2 * TraceView::kBatchMs);
  EXPECT_EQ(trace->BatchesDrawn(), before + 1);  // one repaint for the whole flood
  const QStringList shown = trace->toPlainText().split(QLatin1Char('\n'));
  ASSERT_GE(shown.size(), 1001);
  EXPECT_EQ(shown[shown.size() - 1001], QStringLiteral("Send AT Command : AT&V"));
  EXPECT_EQ(shown.last(), QStringLiteral("OK line 999"));
  // The pane model counts the lines as the view wraps them.
  EXPECT_GT(pane.Width(), 100u);
  EXPECT_EQ(trace->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  Action("ClearTrace1")->trigger();
  EXPECT_TRUE(test::WaitFor([&] { return trace->toPlainText().isEmpty(); }));
}

TEST_F(MainWindowTest, TheTracePaneDropsTheOldestLinesTheModelDrops) {
  dir_.Write(QStringLiteral("Velimo.INI"), "[MACHINE]\r\nViewLogTrace=1\r\n");
  Start();
  TraceView* trace = Main().Trace();
  trace::TraceLog& log = Form().Trace();
  // Received lines only, in several batches, some with a line break inside.
  int n = 0;
  for (int batch = 0; batch < 30; ++batch) {
    for (int i = 0; i < 500; ++i, ++n) {
      const std::string line = n % 100 == 0 ? "two\rrows " + std::to_string(n) + "\r\n"
                                            : "line " + std::to_string(n) + "\r\n";
      log.AddReceivedLine(line);
    }
    trace->Flush();
  }
  const trace::TracePane& pane = log.Pane();
  ASSERT_LT(pane.LineCount(), static_cast<size_t>(n));  // the model did drop lines
  size_t rows = 0;
  for (const auto& line : pane.Lines()) {
    const std::string shown = trace::TracePane::DisplayText(line);
    rows += static_cast<size_t>(std::count(shown.begin(), shown.end(), '\n')) + 1;
  }
  EXPECT_EQ(static_cast<size_t>(trace->document()->blockCount()), rows);
  const std::string first = trace::TracePane::DisplayText(pane.Lines().front());
  EXPECT_EQ(trace->document()->firstBlock().text().toStdString(),
            first.substr(0, first.find('\n')));
  EXPECT_EQ(trace->document()->lastBlock().text().toStdString(), "line " + std::to_string(n - 1));
}

TEST_F(MainWindowTest, AMessageBoxOpenWhileBytesArriveStillLetsTheReceiveHandlerRun) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  Start();
  // Connect through the connect dialog to the pseudo-terminal.
  ModalDialog& dialog = windows_->connect;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isVisible(); }));
    app_->Form_Connect().CB_ComPort.UserSetText(name);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Btn_Connect")),
                      Qt::LeftButton);
  });
  Action("ConnectN1")->trigger();
  ASSERT_TRUE(Form().ComPortEnvBoard.Connected()) << watcher_.Texts().size();
  EXPECT_EQ(StatusPanel(1), QStringLiteral("Connected to [%1]").arg(QString::fromLatin1(name)));
  EXPECT_TRUE(Find("Panel_Left_Main")->isEnabled());

  // While a box is open, the modem's line arrives and is handled.
  bool seen_while_open = false;
  watcher_.answer = [&](QMessageBox& box) {
    if (box.text() != QStringLiteral("probe")) return ModalWatcher::ClickDefault(box);
    static int polls = 0;
    if (PaneHas("hello from the modem")) {
      seen_while_open = true;
    } else if (++polls < 400) {
      return false;
    }
    return ModalWatcher::ClickDefault(box);
  };
  QTimer::singleShot(20, [&] {
    const char line[] = "hello from the modem\r\n";
    ASSERT_EQ(write(master, line, sizeof line - 1), static_cast<ssize_t>(sizeof line - 1));
  });
  platform_.ShowMessage("probe");
  EXPECT_TRUE(seen_while_open);

  windows_.reset();
  app_.reset();
  close(slave);
  close(master);
}

TEST_F(MainWindowTest, ScreenshotsOfEveryPageOfEveryModel) {
  Start();
  const struct {
    const char* item;
    const char* model;
    std::vector<const char*> sections;
  } rows[] = {
      {"sTavi1", "sTavi", {"Btn_Left_Info", "Btn_Left_LoRa", "Btn_Left_Serial"}},
      {"uTavi1", "uTavi", {"Btn_Left_Info", "Btn_Left_LoRa", "Btn_Left_Serial"}},
      {"rTavi1", "rTavi", {"Btn_Left_Info", "Btn_Left_LoRa"}},
      {"ioTavi1", "ioTavi", {"Btn_Left_Info", "Btn_Left_LoRa", "Btn_Left_Serial"}},
  };
  for (const auto& r : rows) {
    Action(r.item)->trigger();
    Form().ApplyConnectedPresentation();
    // The information pages as they look once the modem has answered.
    for (forms::Control* c : {static_cast<forms::Control*>(&Form().Panel_S_Info),
                              static_cast<forms::Control*>(&Form().Panel_R_Info),
                              static_cast<forms::Control*>(&Form().Panel_I_Info)})
      c->SetVisible(true);
    for (const char* section : r.sections) {
      QTest::mouseClick(Find<QPushButton>(section), Qt::LeftButton);
      test::SettleLayouts();
      const QString name = QStringLiteral("main_%1_page%2_%3")
                               .arg(QString::fromLatin1(r.model))
                               .arg(Form().PageControl1.ActivePageIndex())
                               .arg(CurrentPage());
      EXPECT_FALSE(test::SaveScreenshot(Main(), name).isEmpty());
      // Nothing on a page reaches beyond the page area.
      QWidget* shown = Main().PageStack()->currentWidget();
      for (QWidget* w : shown->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(shown)) continue;
        const QRect box(w->mapTo(shown, QPoint(0, 0)), w->size());
        EXPECT_LE(box.right(), shown->width())
            << qPrintable(name) << " " << qPrintable(w->objectName());
        EXPECT_LE(box.bottom(), shown->height())
            << qPrintable(name) << " " << qPrintable(w->objectName());
        // No caption is cut short.
        if (auto* label = qobject_cast<QLabel*>(w); label && label->pixmap().isNull()) {
          EXPECT_GE(label->width(), label->sizeHint().width())
              << qPrintable(name) << " " << qPrintable(label->text());
        }
      }
    }
    Form().ApplyDisconnectedPresentation();
  }
  // The administrator group shown as well, the tallest S LoRa page.
  Action("sTavi1")->trigger();
  Form().ApplyConnectedPresentation();
  for (int i = 0; i < forms::TForm_main::kAdminClickCount; ++i) Form().Panel_Device_head_SClick();
  QTest::mouseClick(Find<QPushButton>("Btn_Left_LoRa"), Qt::LeftButton);
  EXPECT_TRUE(Showing("Panel_Info_Admin_S"));
  test::SaveScreenshot(Main(), QStringLiteral("main_sTavi_page1_admin"));
  watcher_.seen.clear();
}

TEST_F(MainWindowTest, TheConnectDialog) {
  Start();
  ModalDialog& dialog = windows_->connect;
  QSize size;
  QPoint offset;
  bool port_box_editable = false, baud_editable = true;
  QString data_bits;
  bool data_bits_enabled = true;
  QString port_text;
  bool fits_short = false, fits_long = false, wide = false, shows_path = false;
  bool status_hidden = false, busy = false, fits_busy = false, after_cancel = false;
  qint64 cancel_ms = -1;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isVisible(); }));
    size = dialog.size();
    offset = dialog.geometry().center() - Main().frameGeometry().center();
    port_box_editable = dialog.findChild<QComboBox*>(QStringLiteral("CB_ComPort"))->isEditable();
    baud_editable = dialog.findChild<QComboBox*>(QStringLiteral("Edit_Baudrate"))->isEditable();
    auto* bits = dialog.findChild<QLineEdit*>(QStringLiteral("Edit_DataBit"));
    data_bits = bits->text();
    data_bits_enabled = bits->isEnabled();
    port_text = dialog.findChild<QComboBox*>(QStringLiteral("CB_ComPort"))->currentText();
    test::SaveScreenshot(dialog, QStringLiteral("connect_dialog"));
    test::SaveScreenshotPerScreen(dialog, QStringLiteral("connect_dialog"));
    // The port box and Find Modem side by side, both whole inside the
    // dialog; a long name (as a scan leaves it) widens the dialog and
    // shows from its start, the path.
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("CB_ComPort"));
    auto* find = dialog.findChild<QPushButton*>(QStringLiteral("Btn_FindModem"));
    const auto fits = [&] {
      const QRect b(box->mapTo(&dialog, QPoint(0, 0)), box->size());
      const QRect f(find->mapTo(&dialog, QPoint(0, 0)), find->size());
      return b.right() < f.left() && dialog.rect().contains(b) && dialog.rect().contains(f);
    };
    fits_short = fits();
    const std::string path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    app_->Form_Connect().CB_ComPort.SetItems({path + " [FT232R USB UART] [sTavi 57600 None]"});
    app_->Form_Connect().CB_ComPort.SetItemIndex(0);
    test::WaitFor([&] { return dialog.width() > size.width(); });
    wide = dialog.width() > size.width();
    fits_long = fits();
    shows_path = box->lineEdit()->cursorPosition() == 0 &&
                 box->lineEdit()->text().startsWith(QString::fromStdString(path));
    test::SaveScreenshotPerScreen(dialog, QStringLiteral("connect_dialog_long_name"));

    // A network port is tried off the window's thread: the busy cursor, the
    // status line, Cancel the one way on; Cancel ends the try and the
    // dialog stays with the choice in it.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(silent, 4);
    socklen_t len = sizeof a;
    getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
    const std::string mute = "rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("Btn_Cancel"));
    auto* connect = dialog.findChild<QPushButton*>(QStringLiteral("Btn_Connect"));
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("LB_Status"));
    status_hidden = !status->isVisible();
    app_->Form_Connect().CB_ComPort.UserSetText(mute);
    // The try waits for the server beyond anything the test waits for, so
    // only Cancel can end it: a cancel its waits did not see would hold
    // the click until the suite's time limit.
    app_->Form_Connect().NetworkLimits.answer_ms = test::kNeverMs;
    app_->Form_Connect().NetworkLimits.connect_ms = test::kNeverMs;
    QTest::mouseClick(connect, Qt::LeftButton);
    test::WaitFor([&] { return QApplication::overrideCursor() && status->isVisible(); });
    busy = app_->Form_Connect().Connecting() && QApplication::overrideCursor() &&
           QApplication::overrideCursor()->shape() == Qt::BusyCursor && !connect->isEnabled() &&
           cancel->isEnabled() && status->isVisible() &&
           status->text() == QString::fromStdString("Connecting to " + mute + "...") &&
           cancel->accessibleDescription() == status->text();
    fits_busy = dialog.rect().contains(QRect(status->mapTo(&dialog, QPoint(0, 0)), status->size()));
    test::SaveScreenshotPerScreen(dialog, QStringLiteral("connect_dialog_connecting"));
    QElapsedTimer cancelling;
    cancelling.start();
    QTest::mouseClick(cancel, Qt::LeftButton);
    cancel_ms = cancelling.elapsed();
    std::printf("figure gui_network_connect_cancel_ms %lld\n", static_cast<long long>(cancel_ms));
    after_cancel = !app_->Form_Connect().Connecting() && !QApplication::overrideCursor() &&
                   dialog.isVisible() && connect->isEnabled() &&
                   box->currentText() == QString::fromStdString(mute) &&
                   status->text() == QStringLiteral("Connection cancelled.");
    close(silent);
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  Action("ConnectN1")->trigger();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(app_->Form_Connect().Showing());
  EXPECT_GE(size.width(), 334);  // the declared size, wider where the port box needs it
  EXPECT_EQ(size.height(), 261);
  EXPECT_TRUE(fits_short);
  EXPECT_TRUE(wide);
  EXPECT_TRUE(fits_long);
  EXPECT_TRUE(shows_path);
  EXPECT_TRUE(status_hidden);
  EXPECT_TRUE(busy);
  EXPECT_TRUE(fits_busy);
  EXPECT_TRUE(after_cancel);
  EXPECT_EQ(StatusPanel(1).indexOf(QStringLiteral("Connected")), -1) << qPrintable(StatusPanel(1));
  EXPECT_LE(std::abs(offset.x()) + std::abs(offset.y()), 3);
  EXPECT_TRUE(port_box_editable);
  EXPECT_FALSE(baud_editable);
  EXPECT_EQ(data_bits, QStringLiteral("8"));
  EXPECT_FALSE(data_bits_enabled);
  EXPECT_EQ(port_text, QStringLiteral("COM1"));  // the stored name, not in the list
  EXPECT_FALSE(Form().ComPortEnvBoard.Connected());

  // The close box ends the showing as Cancel does.
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isVisible(); }));
    dialog.close();
  });
  Action("ConnectN1")->trigger();
  EXPECT_FALSE(app_->Form_Connect().Showing());
  EXPECT_EQ(app_->Form_Connect().ShowCount(), 2);
}

TEST_F(MainWindowTest, TheAboutWindow) {
  Start();
  ModalDialog& about = windows_->about;
  QSize size;
  QString version, name;
  QSize picture;
  QColor background;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return about.isVisible(); }));
    size = about.size();
    version = about.findChild<QLabel*>(QStringLiteral("LB_APPVer"))->text();
    name = about.findChild<QLabel*>(QStringLiteral("LbInfo"))->text();
    picture = about.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().size();
    background = about.grab().toImage().pixelColor(2, 148);
    test::SaveScreenshot(about, QStringLiteral("about_window"));
    about.close();
  });
  Action("About1")->trigger();
  EXPECT_FALSE(app_->Form_Info().Showing());
  EXPECT_EQ(size, QSize(426, 150));
  EXPECT_EQ(version, QStringLiteral("Version ") + QString::fromLatin1(velimo::kVersion));
  EXPECT_EQ(name, QStringLiteral("Velimo"));
  EXPECT_EQ(picture, QSize(349, 129));
  EXPECT_EQ(background, QColor(Qt::white));
  EXPECT_TRUE(about.findChildren<QPushButton*>().isEmpty());
}

TEST_F(MainWindowTest, TheFocusFollowsTheModel) {
  Start();
  Action("ioTavi1")->trigger();
  Form().ApplyConnectedPresentation();
  QTest::mouseClick(Find<QPushButton>("Btn_Left_LoRa"), Qt::LeftButton);
  QApplication::setActiveWindow(&Main());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  // The ioTavi key save refuses a short key and puts the focus on the key.
  Form().Edit_I_AESKey.SetText("short");
  Form().Btn_I_Save_AESKEYClick();
  ASSERT_EQ(watcher_.seen.size(), 1u);
  EXPECT_EQ(watcher_.seen[0].text, QStringLiteral("You must type [16 Bytes] AES KEY."));
  // The window gives the focus to it as soon as the window is active again.
  EXPECT_EQ(Main().focusWidget(), Find("Edit_I_AESKey"));
}

TEST_F(MainWindowTest, AClosedWindowWritesTheSettingsAndAFailedWriteKeepsItOpen) {
  Start();
  Action("rTavi1")->trigger();
  // A folder where the settings file belongs: the file cannot be written.
  ASSERT_TRUE(QDir(dir_.Path()).mkdir(QStringLiteral("Velimo.INI")));
  Main().close();
  EXPECT_TRUE(Main().isVisible());
  ASSERT_EQ(watcher_.seen.size(), 1u);
  EXPECT_EQ(watcher_.seen[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(watcher_.seen[0].text.startsWith(QStringLiteral("Unable to write to ")));

  ASSERT_TRUE(QDir(dir_.Path()).rmdir(QStringLiteral("Velimo.INI")));
  Main().close();
  EXPECT_FALSE(Main().isVisible());
  QFile written(QDir(dir_.Path()).filePath(QStringLiteral("Velimo.INI")));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_TRUE(written.readAll().contains("Device=r"));
}

TEST_F(MainWindowTest, AShownTabIsDrawnInTheColoursOfItsIndex) {
  Start();
  // The tabs are hidden at activation; show two to see them drawn.
  Form().PageControl1.SetTabVisible(forms::kPageSInfo, true);
  Form().PageControl1.SetTabVisible(forms::kPageSLoRa, true);
  Form().PageControl1.SetActivePageIndex(forms::kPageSLoRa);
  PageTabBar* tabs = Main().TabBar();
  ASSERT_TRUE(test::WaitFor([&] { return tabs->isVisible(); }));
  const QImage image = tabs->grab().toImage();
  const QRect active = tabs->tabRect(forms::kPageSLoRa);
  const QRect inactive = tabs->tabRect(forms::kPageSInfo);
  // Index 1 active: money green; an inactive tab: the button face.
  EXPECT_EQ(image.pixelColor(active.right() - 3, active.bottom() - 3), QColor(192, 220, 192));
  EXPECT_EQ(image.pixelColor(inactive.right() - 3, inactive.bottom() - 3),
            tabs->palette().color(QPalette::Button));
  EXPECT_EQ(tabs->tabText(forms::kPageSLoRa), QStringLiteral("LoRa"));
  test::SaveScreenshot(*tabs, QStringLiteral("tabs_shown"));
}

// A Linux device name is longer than a COM name: the connection panel
// grows to show it whole, and past the room the bar has it is cut in the
// middle with the whole text in its tooltip and for screen readers.
TEST_F(MainWindowTest, TheConnectionPanelShowsTheWholeDeviceName) {
  Start();
  auto* panel = Find<QLabel>("StatusBar1_Panel1");
  QWidget* bar = Find("StatusBar1");
  const struct {
    QString text;
    bool cut;
  } rows[] = {
      {QStringLiteral("Connected to [/dev/ttyUSB0]"), false},
      {QStringLiteral(
           "Connected to [/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0]"),
       false},
      {QStringLiteral("Connected to [/dev/serial/by-path/") + QString(120, QLatin1Char('x')) +
           QStringLiteral("-ttyUSB7]"),
       true},
  };
  for (const auto& r : rows) {
    Form().StatusBar1.SetPanelText(1, r.text.toStdString());
    test::SettleLayouts();
    EXPECT_EQ(panel->text(), r.text);
    EXPECT_EQ(panel->accessibleName(), QStringLiteral("Connection: ") + r.text);
    const int needed = panel->fontMetrics().horizontalAdvance(r.text);
    // The panels after it stay in view.
    QWidget* last = Find("StatusBar1_Panel2");
    const QRect box(last->mapTo(bar, QPoint(0, 0)), last->size());
    EXPECT_LE(box.right(), bar->width()) << qPrintable(r.text);
    EXPECT_GE(box.width(), 50);
    if (r.cut) {
      EXPECT_LT(panel->contentsRect().width(), needed);
      EXPECT_EQ(panel->toolTip(), r.text);
      test::SaveScreenshot(*bar, QStringLiteral("status_bar_long_device_name"));
    } else {
      EXPECT_GE(panel->contentsRect().width(), needed) << qPrintable(r.text);
      EXPECT_TRUE(panel->toolTip().isEmpty());
    }
  }
  // The panel's declared width stays its least.
  Form().StatusBar1.SetPanelText(1, "Disconnected");
  test::WaitFor([&] { return panel->width() == 200; });
  EXPECT_EQ(panel->width(), 200);
}

// Driven from the keyboard alone: Return and Enter press the focused
// button, Alt and a letter open a menu whose caption reads as before, and in
// the connect dialog a typed port name and Return connect.
TEST_F(MainWindowTest, TheKeyboardAloneDrivesTheWindowAndTheConnectDialog) {
  int master = -1, slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  Start();
  QApplication::setActiveWindow(&Main());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));

  // Menus: the captions are unchanged; Alt+C opens "Connection".
  QMenuBar* bar = Main().menuBar();
  EXPECT_EQ(Action("Connection1")->text(), QStringLiteral("&Connection"));
  EXPECT_EQ(Action("ConnectN1")->text(), QStringLiteral("&Connect"));
  EXPECT_EQ(Action("Disconnect1")->text(), QStringLiteral("&Disconnect"));
  QStringList spoken;
  QAccessibleInterface* menus = QAccessible::queryAccessibleInterface(bar);
  for (int i = 0; i < menus->childCount(); ++i) spoken << menus->child(i)->text(QAccessible::Name);
  EXPECT_TRUE(spoken.contains(QStringLiteral("Connection"))) << qPrintable(spoken.join(','));
  EXPECT_FALSE(spoken.join(',').contains(QLatin1Char('&')));
  // The letters are underlined only while Alt is held.
  const auto underlined = [&] {
    return bar->style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, bar) != 0;
  };
  EXPECT_FALSE(underlined());
  const QImage plain = bar->grab().toImage();
  QTest::keyPress(&Main(), Qt::Key_Alt);
  EXPECT_TRUE(underlined());
  EXPECT_NE(bar->grab().toImage(), plain);
  QTest::keyRelease(&Main(), Qt::Key_Alt);
  // Alt alone goes on to drive the menu bar until Escape.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_TRUE(test::WaitFor([&] { return !underlined(); }));
  EXPECT_EQ(bar->grab().toImage(), plain);
  QTest::keyClick(&Main(), Qt::Key_C, Qt::AltModifier);
  QMenu* connection = Action("Connection1")->menu();
  EXPECT_TRUE(test::WaitFor([&] { return connection->isVisible(); }));
  QTest::keyClick(connection, Qt::Key_Escape);
  EXPECT_TRUE(test::WaitFor([&] { return !connection->isVisible(); }));

  // Return and Enter press the focused button.
  Form().ApplyConnectedPresentation();
  auto* lora = Find<QPushButton>("Btn_Left_LoRa");
  lora->setFocus();
  QTest::keyClick(lora, Qt::Key_Return);
  EXPECT_EQ(CurrentPage(), QStringLiteral("TS_S_LoRa"));
  auto* serial = Find<QPushButton>("Btn_Left_Serial");
  serial->setFocus();
  QTest::keyClick(serial, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(CurrentPage(), QStringLiteral("TS_S_Serial"));
  Form().ApplyDisconnectedPresentation();
  watcher_.seen.clear();

  // The connect dialog: Connect is its default button; a port name typed
  // into the port box and Return connect.
  ModalDialog& dialog = windows_->connect;
  bool connect_default = false;
  bool port_focused = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return dialog.isVisible(); }));
    connect_default = dialog.findChild<QPushButton*>(QStringLiteral("Btn_Connect"))->isDefault();
    auto* port = dialog.findChild<QComboBox*>(QStringLiteral("CB_ComPort"));
    // The dialog opens at the port box, its text selected: typing replaces it.
    port_focused = (dialog.focusWidget() == port || dialog.focusWidget() == port->lineEdit()) &&
                   port->lineEdit()->selectedText() == port->currentText();
    QTest::keyClicks(port->lineEdit(), QString::fromLatin1(name));
    QTest::keyClick(port->lineEdit(), Qt::Key_Return);
    // A dialog still open here gets no further answer: give up on it.
    if (dialog.isVisible()) QTimer::singleShot(500, [&] { dialog.reject(); });
  });
  Action("ConnectN1")->trigger();
  EXPECT_TRUE(connect_default);
  EXPECT_TRUE(port_focused);
  EXPECT_TRUE(Form().ComPortEnvBoard.Connected());
  EXPECT_EQ(StatusPanel(1), QStringLiteral("Connected to [%1]").arg(QString::fromLatin1(name)));
  // The Info page has no editor: the focus is on its " Load" button.
  QApplication::setActiveWindow(&Main());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
  EXPECT_EQ(Main().focusWidget(), Find("Btn_S_CurrentStatus"))
      << qPrintable(Main().focusWidget() ? Main().focusWidget()->objectName() : QString());

  // Ctrl+1 ... Ctrl+3 open the sections; the buttons' tips say so.
  const struct {
    Qt::Key key;
    const char* button;
    const char* page;
  } sections[] = {{Qt::Key_2, "Btn_Left_LoRa", "TS_S_LoRa"},
                  {Qt::Key_3, "Btn_Left_Serial", "TS_S_Serial"},
                  {Qt::Key_1, "Btn_Left_Info", "TS_S_Info"}};
  for (const auto& s : sections) {
    QTest::keyClick(&Main(), s.key, Qt::ControlModifier);
    EXPECT_EQ(CurrentPage(), QString::fromLatin1(s.page));
    const QString keys = QKeySequence(QKeyCombination(Qt::ControlModifier, s.key))
                             .toString(QKeySequence::NativeText);
    EXPECT_TRUE(
        Find(s.button)->toolTip().endsWith(QStringLiteral("(") + keys + QStringLiteral(")")))
        << qPrintable(Find(s.button)->toolTip());
    EXPECT_EQ(Find(s.button)->accessibleDescription(), keys);
  }

  // A wheel over a list the operator has not focused scrolls the page and
  // leaves the value alone; with the focus it changes the value.
  QTest::keyClick(&Main(), Qt::Key_2, Qt::ControlModifier);
  auto* channel = Find<QComboBox>("CB_S_Ch");
  channel->setCurrentIndex(0);
  Find("Btn_Left_LoRa")->setFocus();
  const auto wheel = [&](QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
  };
  for (int i = 0; i < 3; ++i) wheel(channel);
  EXPECT_EQ(channel->currentIndex(), 0);
  channel->setFocus();
  wheel(channel);
  EXPECT_EQ(channel->currentIndex(), 1);
  channel->setCurrentIndex(0);

  // Alt+P opens "Profile", F10 the menu bar.
  EXPECT_EQ(Action("Profile1")->text(), QStringLiteral("&Profile"));
  for (const char* item : {"SaveProfile1", "CompareProfile1", "ApplyProfile1"})
    EXPECT_TRUE(Action(item)->text().startsWith(QLatin1Char('&'))) << item;
  QTest::keyClick(&Main(), Qt::Key_P, Qt::AltModifier);
  QMenu* profile = Action("Profile1")->menu();
  EXPECT_TRUE(test::WaitFor([&] { return profile->isVisible(); }));
  QTest::keyClick(profile, Qt::Key_Escape);
  EXPECT_TRUE(test::WaitFor([&] { return !profile->isVisible(); }));
  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &Main(),
                  Qt::Key_Escape);
  QTest::keyClick(&Main(), Qt::Key_F10);
  // The first menu the operator can open ("Device" is out of reach while
  // connected).
  EXPECT_TRUE(test::WaitFor([&] { return bar->activeAction() == Action("Connection1"); }));
  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &Main(),
                  Qt::Key_Escape);

  windows_.reset();
  app_.reset();
  close(slave);
  close(master);
}

// What a screen reader finds: every control of every page of every model,
// of the window's frame and of the connect dialog has a name a person
// understands (no internal control name), no two on one page share a name,
// and every editor is labelled by its caption.
TEST_F(MainWindowTest, TheAccessibilityTreeNamesEveryControlOncePerPage) {
  // A modem for Find Modem to find, the one port listed.
  const QString link = dir_.Path() + QStringLiteral("/ttyModem");
  QProcess sim;
  sim.setWorkingDirectory(dir_.Path());
  sim.start(QStringLiteral(VELIMO_MODEM_SIM),
            {QStringLiteral("--model"), QStringLiteral("s"), QStringLiteral("--link"), link,
             QStringLiteral("--state"), dir_.Path() + QStringLiteral("/modem.state"),
             QStringLiteral("--line-rate"), QStringLiteral("57600")});
  ASSERT_TRUE(sim.waitForReadyRead(5000)) << "the simulator did not come up";
  Start({link.toStdString()});
  Main().BuildAllPages();
  std::set<QString> internal;
  QHash<QObject*, const forms::Control*> bound;
  for (forms::Control* c : Form().AllControls()) {
    internal.insert(QString::fromLatin1(c->Name()));
    if (QWidget* w = Main().View().WidgetOf(*c)) bound.insert(w, c);
  }
  for (forms::Control* c : forms::ControlsOf(app_->Form_Connect().Layout())) {
    internal.insert(QString::fromLatin1(c->Name()));
    if (QWidget* w = windows_->connect.View().WidgetOf(*c)) bound.insert(w, c);
  }
  // The named controls below a widget, as the accessibility tree has them.
  struct Named {
    QString name;
    const forms::Control* control;
    QAccessibleInterface* iface;
  };
  std::function<void(QAccessibleInterface*, std::vector<Named>&)> walk =
      [&](QAccessibleInterface* iface, std::vector<Named>& out) {
        if (!iface) return;
        // A hidden line with nothing to say is not read (the connect
        // dialog's status line between its messages).
        const bool silent = iface->state().invisible && iface->text(QAccessible::Name).isEmpty();
        if (const forms::Control* c = bound.value(iface->object()); c && !silent)
          out.push_back({iface->text(QAccessible::Name), c, iface});
        for (int i = 0; i < iface->childCount(); ++i) walk(iface->child(i), out);
      };
  std::vector<Named> frame;
  for (QWidget* w : {Find("Panel_Left_Main"), Find("Btn_S_CurrentStatus"), Find("Btn_FactoryReset"),
                     Find("StatusBar1"), Find("Memo")})
    walk(QAccessible::queryAccessibleInterface(w), frame);
  ASSERT_GE(frame.size(), 8u);
  const auto check = [&](const QString& where, const std::vector<Named>& all) {
    std::map<QString, const forms::Control*> seen;
    for (const Named& n : all) {
      const char* name = n.control->Name();
      EXPECT_FALSE(n.name.trimmed().isEmpty()) << qPrintable(where) << ": " << name;
      EXPECT_FALSE(internal.count(n.name) || n.name.contains(QLatin1Char('_')))
          << qPrintable(where) << ": " << name << " is called " << qPrintable(n.name);
      const auto [it, fresh] = seen.emplace(n.name, n.control);
      EXPECT_TRUE(fresh) << qPrintable(where) << ": " << name << " and " << it->second->Name()
                         << " are both called " << qPrintable(n.name);
      // A list or editor is labelled by its caption (not the hidden copies
      // of read-back values, which have none on screen).
      const auto kind = n.control->Kind();
      if ((kind == forms::ControlKind::Edit || kind == forms::ControlKind::ComboBox) &&
          !n.name.endsWith(QStringLiteral("last read")) &&
          n.name != QStringLiteral("LoRa Frequency change direction")) {
        const auto labels = n.iface->relations(QAccessible::Label);
        EXPECT_FALSE(labels.isEmpty()) << qPrintable(where) << ": " << name;
        if (!labels.isEmpty()) {
          EXPECT_TRUE(labels[0].first->text(QAccessible::Name).contains(n.name.section(' ', 0, 0)))
              << qPrintable(where) << ": " << name;
        }
      }
    }
  };
  const struct {
    const char* item;
    std::vector<int> pages;
  } models[] = {
      {"sTavi1", {forms::kPageSInfo, forms::kPageSLoRa, forms::kPageSSerial}},
      {"uTavi1", {forms::kPageSInfo, forms::kPageSLoRa, forms::kPageSSerial}},
      {"rTavi1", {forms::kPageRInfo, forms::kPageRLoRa}},
      {"ioTavi1", {forms::kPageIInfo, forms::kPageILoRa, forms::kPageISerial}},
  };
  int checked = 0;
  for (const auto& m : models) {
    Action(m.item)->trigger();
    for (int page : m.pages) {
      std::vector<Named> all = frame;
      walk(QAccessible::queryAccessibleInterface(Main().PageStack()->widget(page)), all);
      checked += static_cast<int>(all.size());
      check(QStringLiteral("%1 page %2").arg(QString::fromLatin1(m.item)).arg(page), all);
    }
  }
  EXPECT_GT(checked, 400);
  std::vector<Named> dialog;
  walk(QAccessible::queryAccessibleInterface(&windows_->connect), dialog);
  EXPECT_EQ(dialog.size(), 10u);  // Find Modem beside the port box
  check(QStringLiteral("connect dialog"), dialog);

  // Names as a person says them, from the captions around each control.
  const struct {
    const char* control;
    const char* name;
  } samples[] = {
      {"CB_S_Ch", "Channel"},
      {"Btn_S_Save_CH", "Save Channel"},
      {"Edit_S_Did_B", "Destination ID, last read"},
      {"CB_S_Show_Key", "Show AES KEY"},
      {"CB_S_Show_IV", "Show AES IV"},
      {"Edit_S_STX2", "STX2"},
      {"Btn_S_SaveAll_LoRaPage", "Save all LoRa Setting"},
      {"Panel_Device_head_S", "Device header"},
      {"Img_S_PinMap", "Serial pin map"},
      {"Edit_I_Baudrate_485", "Baudrate (RS-485)"},
      {"Btn_I_Save_Baudrate_485", "Save Baudrate (RS-485)"},
      {"Btn_I_Save_Baudrate", "Save Baudrate (RS-232)"},
      {"Btn_Left_LoRa", "LoRa section"},
      {"StatusBar1_Panel1", "Connection: Disconnected"},
      {"StatusBar1_Panel0", "Model: ioTavi"},
      // Buttons named by what they read, and a setting not called twice.
      {"Btn_I_GetAES", "Read AES key and IV"},
      {"Edit_I_Get_Info_485", "Read RS-485 settings"},
      {"Edit_S_En", "Encryption setting"},
  };
  for (const auto& sample : samples)
    EXPECT_EQ(Find(sample.control)->accessibleName(), QString::fromLatin1(sample.name))
        << sample.control;
  // The units an editor counts in are read with it.
  EXPECT_EQ(Find("Edit_S_DMT")->accessibleDescription(), QStringLiteral("ms"));
  EXPECT_EQ(Find("Edit_S_DMS")->accessibleDescription(), QStringLiteral("bytes"));
  EXPECT_EQ(windows_->connect.findChild<QComboBox*>(QStringLiteral("CB_ComPort"))
                ->lineEdit()
                ->accessibleName(),
            QStringLiteral("Port"));
  // An information label is read with its value, as the value changes.
  Form().LB_S_Ch.SetCaption("5");
  EXPECT_EQ(Find("LB_S_Ch")->accessibleName(), QStringLiteral("Channel: 5"));

  // The connect dialog's live texts: while Find Modem scans, the button
  // reads "Cancel" and the status line, which the buttons carry as their
  // description, "Scanning..."; the result is said when the scan ends.
  // (The offscreen platform has no accessibility bridge, so the change
  // events themselves are not seen here: the texts are read back.)
  ModalDialog& d = windows_->connect;
  QString during_button, during_status, during_description, after_button, after_status,
      after_description;
  bool shown_during = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(test::WaitFor([&] { return d.isVisible(); }));
    auto* find = d.findChild<QPushButton*>(QStringLiteral("Btn_FindModem"));
    auto* status = d.findChild<QLabel*>(QStringLiteral("LB_Status"));
    QTest::mouseClick(find, Qt::LeftButton);
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(find);
    QAccessibleInterface* line = QAccessible::queryAccessibleInterface(status);
    during_button = button->text(QAccessible::Name);
    during_description = button->text(QAccessible::Description);
    during_status = line->text(QAccessible::Name);
    shown_during = !line->state().invisible;
    test::WaitFor([&] { return !app_->Form_Connect().FindingModem(); }, 30000);
    after_button = button->text(QAccessible::Name);
    after_description = button->text(QAccessible::Description);
    after_status = line->text(QAccessible::Name);
    d.reject();
  });
  Action("ConnectN1")->trigger();
  EXPECT_EQ(during_button, QStringLiteral("Cancel"));
  EXPECT_EQ(during_status, QStringLiteral("Scanning..."));
  EXPECT_EQ(during_description, QStringLiteral("Scanning..."));
  EXPECT_TRUE(shown_during);
  EXPECT_EQ(after_button, QStringLiteral("Find Modem"));
  EXPECT_EQ(after_status, QStringLiteral("Found sTavi at 57600 on ") + link);
  EXPECT_EQ(after_description, after_status);
  windows_.reset();
  app_.reset();
  sim.terminate();
  sim.waitForFinished(3000);
}

// Run once on a desktop screen and again on screens too small for the
// window (1024x768; 1280x1024 at scale 1.5): the whole window stays on the
// screen, the left column and pages scroll where they do not fit, and the
// menu, status bar and trace pane stay in view.
class ScreenTest : public MainWindowTest {
 protected:
  static QString ScreenName() {
    const QScreen* s = QGuiApplication::primaryScreen();
    // The screen as the program sees it: its size in logical pixels.
    return QStringLiteral("%1x%2_scale%3")
        .arg(s->size().width())
        .arg(s->size().height())
        .arg(s->devicePixelRatio());
  }
  // Every part of the window lies inside the screen's free area.
  void ExpectOnScreen(const char* when) {
    const QRect avail = Main().screen()->availableGeometry();
    // A window manager frames the window a moment after it shows.
    test::WaitFor([&] { return avail.contains(Main().frameGeometry()); }, test::kGenerousMs);
    EXPECT_TRUE(avail.contains(Main().frameGeometry()))
        << when << ": window " << Main().frameGeometry().x() << "," << Main().frameGeometry().y()
        << " " << Main().frameGeometry().width() << "x" << Main().frameGeometry().height() << " on "
        << avail.width() << "x" << avail.height();
    const QRect inside = Main().rect();
    for (QWidget* w : {static_cast<QWidget*>(Main().menuBar()), Find("StatusBar1"),
                       static_cast<QWidget*>(Main().BodyScroll())}) {
      const QRect box(w->mapTo(&Main(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(inside.contains(box)) << when << " " << qPrintable(w->objectName());
    }
  }
};

TEST_F(ScreenTest, TheWholeWindowStaysOnTheScreenAndItsContentScrolls) {
  dir_.Write(QStringLiteral("Velimo.INI"),
             "[MACHINE]\r\nDevice=s\r\nViewTraceMenu=1\r\nViewLogTrace=1\r\n");
  Start();
  test::SettleLayouts();
  const QString screen = ScreenName();
  ExpectOnScreen("with the trace pane");
  EXPECT_TRUE(Find("Memo")->isVisible());
  const QRect avail = Main().screen()->availableGeometry();
  const QSize frame = Main().frameGeometry().size() - Main().size();
  const bool room = avail.width() >= 1020 + frame.width() && avail.height() >= 803 + frame.height();
  QScrollArea* scroll = Main().BodyScroll();
  if (room) {
    // Where the window fits it has its declared size and nothing scrolls.
    EXPECT_EQ(Main().size(), QSize(1020, 803));
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
  } else {
    EXPECT_LT(Main().height(), 803);
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
  }
  // The pages keep their room either way: the tallest page shows whole
  // once scrolled to, and the buttons over its lower edge can be reached.
  Form().ApplyConnectedPresentation();
  for (int i = 0; i < forms::TForm_main::kAdminClickCount; ++i) Form().Panel_Device_head_SClick();
  QTest::mouseClick(Find<QPushButton>("Btn_Left_LoRa"), Qt::LeftButton);
  test::WaitFor([&] { return Main().PageStack()->height() >= 600; });
  EXPECT_GE(Main().PageStack()->height(), 600);
  test::SaveScreenshot(Main(), QStringLiteral("screen_%1_top").arg(screen));
  for (const char* name : {"Btn_S_SaveAll_LoRaPage", "Btn_S_CurrentStatus", "Btn_Left_Serial"}) {
    QWidget* w = Find(name);
    scroll->ensureWidgetVisible(w, 0, 0);
    const auto box = [&] { return QRect(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size()); };
    test::WaitFor([&] { return scroll->viewport()->rect().contains(box()); });
    EXPECT_TRUE(scroll->viewport()->rect().contains(box())) << name << " on " << qPrintable(screen);
  }
  test::SaveScreenshot(Main(), QStringLiteral("screen_%1_scrolled").arg(screen));

  // Without the trace pane the window is shorter, and still on the screen.
  Action("ViewLogTrace1")->trigger();
  test::WaitFor(
      [&] { return Main().height() <= 675 && (!room || Main().size() == QSize(1020, 675)); });
  ExpectOnScreen("without the trace pane");
  EXPECT_LE(Main().height(), 675);
  if (room) {
    EXPECT_EQ(Main().size(), QSize(1020, 675));
  }
  test::SaveScreenshot(Main(), QStringLiteral("screen_%1_no_trace").arg(screen));
  watcher_.seen.clear();
}

}  // namespace
}  // namespace velimo::gui
