// The keyboard filters of the numeric and hex editors, and Space moving
// the focus on from a numeric editor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sent_lines.h"

namespace velimo::forms {
namespace {

using edit_test::EditorTest;
using Strings = std::vector<std::string>;

constexpr const char* kNumeric = "You can type only numeric keys.";
constexpr const char* kHex = "type only 0~9, a~f and A~F key";

// Types one key into the editor as the view does; returns the key that
// reaches the editor (0 when swallowed).
char Type(TEdit& edit, char key) {
  if (!edit.OnKeyPress) {
    ADD_FAILURE() << edit.Name() << " has no key filter";
    return key;
  }
  edit.OnKeyPress(key);
  return key;
}

TEST_F(EditorTest, FiltersLetThroughTheirKeysAndRefuseEveryOther) {
  struct Case {
    char key;
    bool numeric;  // passes the numeric filter
    bool hex;      // passes the hex filter
  };
  const Case cases[] = {
      {'0', true, true},
      {'5', true, true},
      {'9', true, true},
      {'\b', true, true},
      {' ', true, false},
      {'a', false, true},
      {'f', false, true},
      {'A', false, true},
      {'F', false, true},
      {'g', false, false},
      {'G', false, false},
      {'x', false, false},
      {'-', false, false},
      {'+', false, false},
      {'.', false, false},
      // The keys an operator leaves, selects or pastes with are no
      // characters: they pass (Return, Escape, Tab, Ctrl+A, Ctrl+V, Delete).
      {'\r', true, true},
      {'\n', true, true},
      {'\x16', true, true},
      {'\x1b', true, true},
      {'\t', true, true},
      {'\x01', true, true},
      {'\x7f', true, true},
      {'/', false, false},
      {':', false, false},
      {'@', false, false},
      {'`', false, false},
      {'\xe4', false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(c.key)));
    f.platform.ClearRecords();
    EXPECT_EQ(Type(form.Edit_S_DMT, c.key), c.numeric ? c.key : '\0');
    EXPECT_EQ(Type(form.Edit_S_STX1, c.key), c.hex ? c.key : '\0');
    Strings expected;
    if (!c.numeric) expected.push_back(kNumeric);
    if (!c.hex) expected.push_back(kHex);
    EXPECT_EQ(f.platform.Messages(), expected);
  }
  EXPECT_EQ(form.Edit_S_DMT.Text(), "2550");
  EXPECT_EQ(form.Edit_S_STX1.Text(), "00");
}

TEST_F(EditorTest, EveryNumericAndHexEditorHasItsFilter) {
  int numeric = 0, hex = 0;
  for (Control* c : form.AllControls()) {
    if (c->Kind() != ControlKind::Edit) continue;
    auto& edit = static_cast<TEdit&>(*c);
    if (edit.Filter() == KeyFilter::None) {
      EXPECT_FALSE(edit.OnKeyPress) << edit.Name();
      continue;
    }
    SCOPED_TRACE(edit.Name());
    f.platform.ClearRecords();
    EXPECT_EQ(Type(edit, 'g'), '\0');
    const bool isHex = edit.Filter() == KeyFilter::Hex;
    EXPECT_EQ(f.platform.Messages(), Strings{isHex ? kHex : kNumeric});
    (isHex ? hex : numeric)++;
  }
  EXPECT_EQ(hex, 18);
  // Among them the hidden copies and the calibration amounts.
  for (TEdit* e : {&form.Edit_S_Did_B, &form.Edit_S_DMT_B, &form.Edit_S_DMS_B, &form.Edit_R_Rid1_B,
                   &form.Edit_R_Rid2_B, &form.Edit_S_LoRa_Freq, &form.Edit_R_LoRa_Freq}) {
    f.platform.ClearRecords();
    EXPECT_EQ(Type(*e, 'x'), '\0') << e->Name();
  }
  EXPECT_GE(numeric, 30);
  // The key and IV take any text.
  EXPECT_FALSE(form.Edit_S_AESKey.OnKeyPress);
  EXPECT_FALSE(form.Edit_I_AESIV.OnKeyPress);
}

TEST_F(EditorTest, SpaceMovesTheFocusToTheNextUsableControlOfThePage) {
  struct Case {
    TEdit& from;
    Control& to;
  };
  // Hidden Save buttons and hidden copies in between are skipped.
  const Case cases[] = {
      {form.Edit_S_DMT, form.Edit_S_DMS},
      {form.Edit_S_DMS, form.Edit_S_STXLen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from.Name());
    form.SetActiveControl(c.from);
    int key = TForm_main::kVkSpace;
    form.Edit_IP1KeyDown(c.from, key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(form.ActiveControl(), &c.to);
  }
  // Any other key stays where it is and leaves the focus alone.
  form.SetActiveControl(form.Edit_S_DMT);
  int key = 'A';
  form.Edit_IP1KeyDown(form.Edit_S_DMT, key);
  EXPECT_EQ(key, 'A');
  EXPECT_EQ(form.ActiveControl(), &form.Edit_S_DMT);
}

TEST_F(EditorTest, SpaceWrapsRoundToTheFirstUsableControlOfThePage) {
  // Whatever comes after the last usable control, the focus stays on the
  // same page and never lands on a hidden or disabled control.
  form.ioTavi1Click();
  f.Connect();
  form.SetActiveControl(form.Edit_I_DMS_485);
  for (int i = 0; i < 200; ++i) {
    Control* at = form.ActiveControl();
    int key = TForm_main::kVkSpace;
    form.Edit_IP1KeyDown(*at, key);
    Control* next = form.ActiveControl();
    ASSERT_TRUE(next->Showing() && next->Usable()) << next->Name();
    const Control* page = next;
    while (page && page->Kind() != ControlKind::Page) page = page->Parent();
    ASSERT_EQ(page, &form.TS_I_Serial) << next->Name();
  }
  // It has come round: Edit_I_DMS_485 was reached again.
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    int key = TForm_main::kVkSpace;
    form.Edit_IP1KeyDown(*form.ActiveControl(), key);
    seen = form.ActiveControl() == &form.Edit_I_DMS_485;
  }
  EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace velimo::forms
