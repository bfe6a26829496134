// The widgets built from a small page declaration of our own, and the two
// directions between model and widgets, without the real window.
#include "gui/control_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <cctype>
#include <memory>
#include <string>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "support/test_platform.h"
#include "util/errors.h"

namespace velimo::gui {
namespace {

using namespace forms;
using namespace forms::layout;

// A page like the settings pages: a group with its header strip, numeric,
// hex and masked editors, a list, a check box, an information label, a
// sub-panel, and a page-level save-all.
struct SamplePage {
  TPage page{"TS_Sample"};
  TPanel group{"Panel_Group"};
  TPanel header{"Panel_Head"};
  TEdit num{"Edit_Num"};
  TButton save{"Btn_Save_Num"};
  TEdit copy{"Edit_Num_B"};
  TEdit hex1{"Edit_STX1"};
  TEdit hex2{"Edit_STX2"};
  TEdit key{"Edit_Key"};
  TCheckBox show{"CB_Show"};
  TComboBox list{"CB_List"};
  TLabel info{"LB_Info"};
  TPanel sub{"Panel_Sub"};
  TEdit inner{"Edit_Inner"};
  TButton hiddenSave{"Btn_Hidden"};
  TButton saveAll{"Btn_SaveAll"};
  LayoutNode root;

  SamplePage() {
    root =
        Ctl(page.WithCaption("Sample"),
            {
                Title("Sample Setting"),
                Ctl(group,
                    {
                        Ctl(header.WithCaption("[Device]")),
                        Row("Number",
                            {Ctl(num.WithMaxLength(3).WithFilter(KeyFilter::Digits).WithText("12")),
                             Unit("ms"), Ctl(save.WithCaption("Save")),
                             Ctl(copy.WithText("12").Hidden())}),
                        Row("STX1 : 0x", {Ctl(hex1.WithMaxLength(2).WithFilter(KeyFilter::Hex)),
                                          Text(", STX2 : 0x"),
                                          Ctl(hex2.WithMaxLength(2).WithFilter(KeyFilter::Hex))}),
                        Row("AES KEY",
                            {Ctl(key.WithMaxLength(16).WithText("No Information").WithMask()),
                             Ctl(show.WithCaption("show"))}),
                        Row("List", {Ctl(list.WithItems({"OFF", "ON", "AUTO"}))}),
                        Row("Value", {Ctl(info.WithCaption("no info"))}),
                        Ctl(sub, {Row("Inner", {Ctl(inner.WithText("x"))})}),
                        Row("Only hidden", {Ctl(hiddenSave.WithCaption("Save").Hidden())}),
                    }),
                Ctl(saveAll.WithCaption(" Save")),
            });
    AssignParents(root);
  }
};

class ControlViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<ControlView>(platform);
    widget.reset(view->Build(s.root));
    widget->resize(800, 600);
  }
  void TearDown() override {
    widget.reset();
    view.reset();
  }

  template <class W>
  W* Find(const char* name) {
    return widget->findChild<W*>(QString::fromLatin1(name));
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }

  // The filter of the numeric editors as the form model has it, with a
  // record of every character it was asked about.
  void InstallFilters() {
    s.num.OnKeyPress = [this](char& k) {
      asked.push_back(k);
      if (!(std::isdigit(static_cast<unsigned char>(k)) || k == 8 || k == ' ')) {
        platform.ShowMessage("You can type only numeric keys.");
        k = 0;
      }
    };
    for (TEdit* e : {&s.hex1, &s.hex2}) {
      e->OnKeyPress = [this](char& k) {
        asked.push_back(k);
        if (!(std::isxdigit(static_cast<unsigned char>(k)) || k == 8)) {
          platform.ShowMessage("type only 0~9, a~f and A~F key");
          k = 0;
        }
      };
    }
    s.num.OnChange = [this] { ++changes; };
  }

  test::TestPlatform platform;
  SamplePage s;
  std::unique_ptr<ControlView> view;
  std::unique_ptr<QWidget> widget;
  std::string asked;
  int changes = 0;
};

TEST_F(ControlViewTest, EveryControlHasItsWidgetUnderItsOwnName) {
  for (Control* c : ControlsOf(s.root)) {
    QWidget* w = view->WidgetOf(*c);
    ASSERT_NE(w, nullptr) << c->Name();
    EXPECT_EQ(w->objectName().toStdString(), c->Name());
    if (w != widget.get()) {
      EXPECT_EQ(widget->findChild<QWidget*>(w->objectName()), w);
    }
  }
}

TEST_F(ControlViewTest, AccessibleNamesComeFromTheCaptionsAroundEachControl) {
  const struct {
    const char* name;
    const char* accessible;
  } rows[] = {
      {"Edit_Num", "Number"},
      {"Btn_Save_Num", "Save Number"},
      {"Edit_Num_B", "Number, last read"},
      {"Edit_STX1", "STX1"},
      {"Edit_STX2", "STX2"},
      {"Edit_Key", "AES KEY"},
      {"CB_Show", "Show AES KEY"},
      {"CB_List", "List"},
      {"LB_Info", "Value: no info"},
      {"Panel_Group", "Device"},
      {"Panel_Head", "Device header"},
      {"Panel_Sub", "Sample Setting"},
      {"Edit_Inner", "Inner"},
      {"Btn_Hidden", "Save Only hidden"},
      {"Btn_SaveAll", "Save all Sample Setting"},
  };
  for (const auto& r : rows) {
    QWidget* w = widget->findChild<QWidget*>(QString::fromLatin1(r.name));
    ASSERT_NE(w, nullptr) << r.name;
    EXPECT_EQ(w->accessibleName().toStdString(), r.accessible) << r.name;
  }
  EXPECT_EQ(widget->accessibleName(), QStringLiteral("Sample page"));
  s.info.SetCaption("1.2");
  EXPECT_EQ(Find<QLabel>("LB_Info")->accessibleName(), QStringLiteral("Value: 1.2"));
}

TEST_F(ControlViewTest, ModelChangesReachTheirWidgets) {
  s.num.SetText("4711");  // assigned text is kept whole, beyond the maximum length
  EXPECT_EQ(Edit("Edit_Num")->text(), QStringLiteral("4711"));
  s.info.SetCaption("\xB5s \xE9t\xE9");  // one byte, one character (Latin-1)
  EXPECT_EQ(Find<QLabel>("LB_Info")->text(), QString::fromUtf8("µs été"));
  s.list.SetItems({"KOR", "USA"});
  EXPECT_EQ(Find<QComboBox>("CB_List")->count(), 2);
  EXPECT_EQ(Find<QComboBox>("CB_List")->currentIndex(), -1);
  s.list.SetItemIndex(1);
  EXPECT_EQ(Find<QComboBox>("CB_List")->currentText(), QStringLiteral("USA"));
  s.show.SetChecked(true);
  EXPECT_TRUE(Find<QCheckBox>("CB_Show")->isChecked());
  s.key.SetMasked(false);
  EXPECT_EQ(Edit("Edit_Key")->echoMode(), QLineEdit::Normal);
  s.key.SetMasked(true);
  EXPECT_EQ(Edit("Edit_Key")->echoMode(), QLineEdit::Password);
  s.hex1.SetHint("Hex type");
  EXPECT_EQ(Edit("Edit_STX1")->toolTip(), QStringLiteral("Hex type"));
  s.save.SetCaption("Save & go");
  EXPECT_EQ(Find<QPushButton>("Btn_Save_Num")->text(), QStringLiteral("Save && go"));

  // A disabled or hidden group disables or hides what it holds.
  s.group.SetEnabled(false);
  EXPECT_FALSE(Edit("Edit_Num")->isEnabled());
  s.group.SetEnabled(true);
  EXPECT_TRUE(Edit("Edit_Num")->isEnabled());
  s.sub.SetVisible(false);
  EXPECT_FALSE(Edit("Edit_Inner")->isVisibleTo(widget.get()));
  s.sub.SetVisible(true);
  EXPECT_TRUE(Edit("Edit_Inner")->isVisibleTo(widget.get()));
}

TEST_F(ControlViewTest, MaskedEditorsShowAStarPerCharacter) {
  QLineEdit* key = Edit("Edit_Key");
  EXPECT_EQ(key->echoMode(), QLineEdit::Password);
  EXPECT_EQ(key->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, key), '*');
}

TEST_F(ControlViewTest, EachTypedKeyIsAskedOfTheFilterFirst) {
  InstallFilters();
  const struct {
    const char* editor;
    int key;
    Qt::KeyboardModifiers mods;
    char asked;  // what the filter saw
    const char* text_after;
    const char* message;          // "" when none
    const char* typed = nullptr;  // UTF-8 text of the key, when not the key's own
  } rows[] = {
      {"Edit_Num", Qt::Key_X, Qt::NoModifier, 'x', "12", "You can type only numeric keys."},
      {"Edit_Num", Qt::Key_5, Qt::NoModifier, '5', "125", ""},
      // Beyond Latin-1: asked as the "?" it would arrive as, refused alike.
      {"Edit_Num", Qt::Key_unknown, Qt::NoModifier, '?', "125", "You can type only numeric keys.",
       "\u20ac"},
      {"Edit_Num", Qt::Key_Return, Qt::NoModifier, '\r', "125", "You can type only numeric keys."},
      {"Edit_Num", Qt::Key_Backspace, Qt::NoModifier, '\b', "12", ""},
      {"Edit_STX1", Qt::Key_G, Qt::NoModifier, 'g', "", "type only 0~9, a~f and A~F key"},
      {"Edit_STX1", Qt::Key_A, Qt::NoModifier, 'a', "a", ""},
      {"Edit_STX1", Qt::Key_unknown, Qt::NoModifier, '?', "a", "type only 0~9, a~f and A~F key",
       "\u0141"},
      {"Edit_STX1", Qt::Key_Escape, Qt::NoModifier, '\x1b', "a", "type only 0~9, a~f and A~F key"},
  };
  for (const auto& r : rows) {
    asked.clear();
    platform.ClearRecords();
    if (r.typed) {
      QTest::sendKeyEvent(QTest::Click, Edit(r.editor), static_cast<Qt::Key>(r.key),
                          QString::fromUtf8(r.typed), r.mods);
    } else {
      QTest::keyClick(Edit(r.editor), static_cast<Qt::Key>(r.key), r.mods);
    }
    ASSERT_EQ(asked.size(), 1u) << r.editor << " key " << r.key;
    EXPECT_EQ(asked[0], r.asked) << r.editor << " key " << r.key;
    EXPECT_EQ(Edit(r.editor)->text().toStdString(), r.text_after) << r.key;
    const auto messages = platform.Messages();
    if (*r.message) {
      ASSERT_EQ(messages.size(), 1u) << r.key;
      EXPECT_EQ(messages[0], r.message);
    } else {
      EXPECT_TRUE(messages.empty()) << r.key;
    }
  }
  // The model's text follows every accepted change, and each ran OnChange.
  EXPECT_EQ(s.num.Text(), "12");
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(s.hex1.Text(), "a");
}

TEST_F(ControlViewTest, APasteIsAskedOfTheFilterCharacterByCharacter) {
  InstallFilters();
  QLineEdit* num = Edit("Edit_Num");
  num->setText("12");
  num->setCursorPosition(2);
  QGuiApplication::clipboard()->setText(QStringLiteral("7x9"));
  QTest::keyClick(num, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(asked, "7x");  // up to the first refused character
  EXPECT_EQ(platform.Messages(), std::vector<std::string>{"You can type only numeric keys."});
  EXPECT_EQ(num->text().toStdString(), "12");
  asked.clear();
  platform.ClearRecords();
  // Digits go in, as far as the editor's length allows.
  QGuiApplication::clipboard()->setText(QStringLiteral("78"));
  QTest::keyClick(num, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(asked, "78");
  EXPECT_TRUE(platform.Messages().empty());
  EXPECT_EQ(num->text().toStdString(), "127");
  EXPECT_EQ(s.num.Text(), "127");
}

TEST_F(ControlViewTest, KeysThatTypeNothingBypassTheFilter) {
  InstallFilters();
  QLineEdit* num = Edit("Edit_Num");
  num->setCursorPosition(2);
  for (int key : {Qt::Key_Left, Qt::Key_Home, Qt::Key_End, Qt::Key_Delete}) {
    QTest::keyClick(num, static_cast<Qt::Key>(key));
  }
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(platform.Messages().empty());
}

TEST_F(ControlViewTest, TypingStopsAtTheMaximumLengthButAssignedTextStaysWhole) {
  InstallFilters();
  QLineEdit* num = Edit("Edit_Num");
  QTest::keyClick(num, Qt::Key_3);
  EXPECT_EQ(s.num.Text(), "123");
  QTest::keyClick(num, Qt::Key_4);  // a fourth digit does not fit
  EXPECT_EQ(s.num.Text(), "123");
  EXPECT_EQ(num->text(), QStringLiteral("123"));

  s.num.SetText("98765");
  EXPECT_EQ(num->text(), QStringLiteral("98765"));
  num->setCursorPosition(5);
  QTest::keyClick(num, Qt::Key_Backspace);  // shortening is always possible
  EXPECT_EQ(s.num.Text(), "9876");
}

TEST_F(ControlViewTest, PastedTextIsCutToTheMaximumLength) {
  QLineEdit* key = Edit("Edit_Key");
  s.key.SetMasked(false);
  s.key.SetText("");
  QApplication::clipboard()->setText(QStringLiteral("0123456789ABCDEFGHIJ"));
  key->paste();
  EXPECT_EQ(s.key.Text(), "0123456789ABCDEF");
  EXPECT_EQ(key->text(), QStringLiteral("0123456789ABCDEF"));
}

TEST_F(ControlViewTest, SpaceMovesTheFocusOnFromANumericEditor) {
  InstallFilters();
  widget->show();
  QApplication::setActiveWindow(widget.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get()));
  QLineEdit* num = Edit("Edit_Num");
  num->setFocus();
  ASSERT_TRUE(num->hasFocus());
  QTest::keyClick(num, Qt::Key_Space);
  EXPECT_FALSE(num->hasFocus());
  EXPECT_EQ(num->text(), QStringLiteral("12"));
  EXPECT_TRUE(asked.empty());
}

TEST_F(ControlViewTest, OperatorInputRunsTheModelsHandlers) {
  int list_changes = 0, show_clicks = 0, save_clicks = 0, header_clicks = 0;
  s.list.OnChange = [&] { ++list_changes; };
  s.show.OnClick = [&] { ++show_clicks; };
  s.save.OnClick = [&] { ++save_clicks; };
  s.header.OnClick = [&] { ++header_clicks; };
  widget->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));

  QTest::keyClick(Find<QComboBox>("CB_List"), Qt::Key_Down);
  EXPECT_EQ(s.list.ItemIndex(), 1);
  EXPECT_EQ(list_changes, 1);

  QTest::mouseClick(Find<QCheckBox>("CB_Show"), Qt::LeftButton);
  EXPECT_TRUE(s.show.Checked());
  EXPECT_EQ(show_clicks, 1);

  QTest::mouseClick(Find<QPushButton>("Btn_Save_Num"), Qt::LeftButton);
  EXPECT_EQ(save_clicks, 1);
  s.save.SetEnabled(false);
  QTest::mouseClick(Find<QPushButton>("Btn_Save_Num"), Qt::LeftButton);
  EXPECT_EQ(save_clicks, 1);

  QWidget* head = widget->findChild<QWidget*>(QStringLiteral("Panel_Head"));
  for (int i = 0; i < 3; ++i) QTest::mouseClick(head, Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(header_clicks, 3);
}

TEST_F(ControlViewTest, TheModelDecidesWhatACheckBoxShows) {
  // A click handler that puts the box back, as a handler may.
  s.show.OnClick = [&] { s.show.SetChecked(false); };
  widget->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  QTest::mouseClick(Find<QCheckBox>("CB_Show"), Qt::LeftButton);
  EXPECT_FALSE(s.show.Checked());
  EXPECT_FALSE(Find<QCheckBox>("CB_Show")->isChecked());
}

TEST_F(ControlViewTest, AnErrorEscapingAHandlerGoesToTheDefaultReport) {
  s.save.OnClick = [] { throw EConvertError("'' is not a valid integer value"); };
  widget->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  QTest::mouseClick(Find<QPushButton>("Btn_Save_Num"), Qt::LeftButton);
  const auto errors = platform.Messages(test::TestPlatform::DialogKind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "'' is not a valid integer value.");
}

TEST_F(ControlViewTest, ARowShowsWhileAnyOfItsItemsShows) {
  QWidget* hidden_save = view->WidgetOf(s.hiddenSave);
  QWidget* row = hidden_save->parentWidget();
  ASSERT_EQ(row->objectName(), QStringLiteral("row"));
  EXPECT_FALSE(row->isVisibleTo(widget.get()));
  s.hiddenSave.SetVisible(true);
  EXPECT_TRUE(row->isVisibleTo(widget.get()));
  // The number row holds a hidden copy but shows for its editor.
  EXPECT_TRUE(view->WidgetOf(s.num)->parentWidget()->isVisibleTo(widget.get()));
  EXPECT_FALSE(view->WidgetOf(s.copy)->isVisibleTo(widget.get()));
}

TEST_F(ControlViewTest, ThePagesSaveAllSitsOnItsLowerEdge) {
  QWidget* save_all = view->WidgetOf(s.saveAll);
  ASSERT_NE(save_all, nullptr);
  EXPECT_EQ(save_all->parentWidget()->objectName(), QStringLiteral("pageBottom"));
}

TEST_F(ControlViewTest, RowCaptionsOfAGroupLineUp) {
  widget->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
  const int x_num = Edit("Edit_Num")->mapTo(widget.get(), QPoint(0, 0)).x();
  const int x_key = Edit("Edit_Key")->mapTo(widget.get(), QPoint(0, 0)).x();
  const int x_list = Find<QComboBox>("CB_List")->mapTo(widget.get(), QPoint(0, 0)).x();
  EXPECT_EQ(x_num, x_key);
  EXPECT_EQ(x_num, x_list);
}

TEST_F(ControlViewTest, TheViewStopsObservingWhenItGoes) {
  widget.reset();
  view.reset();
  s.num.SetText("still fine");  // no observer left to reach a dead widget
  EXPECT_EQ(s.num.Text(), "still fine");
}

}  // namespace
}  // namespace velimo::gui
