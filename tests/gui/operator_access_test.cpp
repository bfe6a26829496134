// What an operator who cannot see the screen, or who works from the
// keyboard, gets from the window: lists that tell their caption, value and
// entries through the accessibility interface, a status bar that is one and
// speaks when the link changes by itself, and a stored window size that
// only the operator changes.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <memory>
#include <vector>

#include "forms/application.h"
#include "gui/accessibility.h"
#include "gui/front_end.h"
#include "gui_support.h"

namespace velimo::gui {
namespace {

class OperatorAccessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    windows_.reset();
    app_.reset();
  }
  void Start() {
    forms::ApplicationOptions options;
    options.ports = [] { return std::optional<std::vector<std::string>>({"COM3"}); };
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

  test::WorkDir dir_;
  QtPlatform platform_;
  test::ModalWatcher watcher_;
  std::unique_ptr<forms::TApplication> app_;
  std::unique_ptr<FrontEnd> windows_;
};

TEST_F(OperatorAccessTest, AListTellsItsCaptionItsValueItsEntriesAndEachChange) {
  Start();
  Form().PageControl1.SetActivePageIndex(forms::kPageSLoRa);
  auto* box = Find<QComboBox>("CB_S_Ch");
  ASSERT_NE(box, nullptr);
  ASSERT_GE(box->count(), 3);
  box->setCurrentIndex(0);
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(box);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::ComboBox);
  EXPECT_TRUE(list->text(QAccessible::Name).startsWith(QStringLiteral("Channel")))
      << qPrintable(list->text(QAccessible::Name));
  EXPECT_EQ(list->text(QAccessible::Value), box->currentText());
  // The value as text, as a reader reads a field.
  QAccessibleTextInterface* text = list->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(0, text->characterCount()), box->currentText());
  // The entries: the list is the box's one child, whether open or not.
  ASSERT_EQ(list->childCount(), 1);
  QAccessibleInterface* entries = list->child(0);
  ASSERT_NE(entries, nullptr);
  EXPECT_EQ(list->indexOfChild(entries), 0);
  QStringList items;
  for (int i = 0; i < entries->childCount(); ++i)
    items << entries->child(i)->text(QAccessible::Name);
  for (int i = 0; i < box->count(); ++i)
    EXPECT_TRUE(items.contains(box->itemText(i))) << qPrintable(box->itemText(i));

  // After a change the list tells the new value (Qt tells a reader of the
  // change as the entries' selection changing, which needs the entries as
  // the box's child).
  box->setCurrentIndex(1);
  EXPECT_EQ(list->text(QAccessible::Value), box->itemText(1));
  EXPECT_EQ(text->text(0, text->characterCount()), box->itemText(1));
  // Opened, the entries are shown in the tree.
  box->showPopup();
  ASSERT_TRUE(test::WaitFor([&] { return box->view()->isVisible(); }));
  EXPECT_TRUE(list->state().expanded);
  EXPECT_FALSE(list->child(0)->state().invisible);
  box->hidePopup();
}

TEST_F(OperatorAccessTest, TheStatusBarIsOneAndALinkChangeIsAnnounced) {
  Start();
  QWidget* bar = Find("StatusBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(bar)->role(), QAccessible::StatusBar);
  auto* connection = Find<QLabel>("StatusBar1_Panel1");
  ASSERT_NE(connection, nullptr);
  const int before = AnnouncementsMade();
  Form().StatusBar1.SetPanelText(1, "Disconnected (adapter removed)");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(connection)->text(QAccessible::Name),
            QStringLiteral("Connection: Disconnected (adapter removed)"));
  EXPECT_EQ(AnnouncementsMade(), before + 1);
  // The same text again is no news.
  Form().StatusBar1.SetPanelText(1, "Disconnected (adapter removed)");
  EXPECT_EQ(AnnouncementsMade(), before + 1);
  // The model's panel is no link state.
  Form().StatusBar1.SetPanelText(0, "  rTavi");
  EXPECT_EQ(AnnouncementsMade(), before + 1);
}

TEST_F(OperatorAccessTest, ASizeFittedToTheScreenIsNotStored) {
  // A size left on a large screen, started on this smaller one: the window
  // fits the screen, and the stored size stays for the large one.
  const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
  const QSize stored = room + QSize(400, 300);
  dir_.Write(QStringLiteral("Velimo.INI"),
             QStringLiteral("[MACHINE]\r\nWindowWidth=%1\r\nWindowHeight=%2\r\n")
                 .arg(stored.width())
                 .arg(stored.height())
                 .toLatin1());
  Start();
  EXPECT_LT(Main().width(), stored.width());
  ASSERT_TRUE(Main().close());
  const QString ini = dir_.Read(QStringLiteral("Velimo.INI"));
  EXPECT_TRUE(ini.contains(QStringLiteral("WindowWidth=%1").arg(stored.width())))
      << qPrintable(ini);
  EXPECT_TRUE(ini.contains(QStringLiteral("WindowHeight=%1").arg(stored.height())))
      << qPrintable(ini);
}

}  // namespace
}  // namespace velimo::gui
