// The page declarations bind each setting's controls to its catalogue
// row; the session and the single saves find them only that way. A row
// bound to the wrong control, to another page set's, or to none would send
// or report another setting's value.
#include "forms/setting_controls.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "forms/form_main.h"
#include "support/form_fixture.h"

namespace velimo::forms {
namespace {

using protocol::CommandEntry;
using protocol::CommandId;
using protocol::PageSet;
using test::FormFixture;

// The page set of each page index.
PageSet SetOfPage(size_t index) {
  return index <= kPageSSerial ? PageSet::S : index <= kPageRLoRa ? PageSet::R : PageSet::I;
}

TEST(SettingControls, EverySettingRowIsBoundToItsOwnControlsOnItsPageSet) {
  FormFixture f;
  const TForm_main& form = *f.form;
  std::map<const Control*, PageSet> onPage;
  for (size_t i = 0; i < form.Pages().size(); ++i)
    for (Control* c : ControlsOf(form.Pages()[i])) onPage[c] = SetOfPage(i);

  std::set<const Control*> used;
  for (const CommandEntry& row : protocol::Catalogue()) {
    const SettingControls c = ControlsOf(form, row.id);
    if (row.caption.empty()) {
      // Actions and queries show nothing.
      EXPECT_EQ(c.value, nullptr) << row.command;
      continue;
    }
    SCOPED_TRACE(std::string(protocol::PageSetName(row.set)) + " " + std::string(row.caption));
    std::vector<const Control*> mine;
    if (row.encoding == protocol::ValueEncoding::HexList) {
      EXPECT_EQ(c.value, nullptr);
      ASSERT_NE(c.length, nullptr);
      EXPECT_EQ(c.length, ControlsOf(form, row.length).value) << "the length row's list";
      for (const TEdit* b : c.bytes) {
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->MaxLength(), 2);
        mine.push_back(b);
      }
    } else {
      ASSERT_NE(c.value, nullptr);
      mine.push_back(c.value);
      if (row.list != protocol::ListId::None) {
        ASSERT_EQ(c.value->Kind(), ControlKind::ComboBox);
        // Lists that follow the channel plan hold a placeholder until the
        // modem reports its country.
        if (!protocol::FollowsPlan(row.list)) {
          EXPECT_EQ(static_cast<const TComboBox*>(c.value)->Items(), protocol::ListItems(row.list));
        }
      } else {
        EXPECT_EQ(c.value->Kind(), ControlKind::Edit);
      }
    }
    if (c.copy) {
      EXPECT_FALSE(c.copy->Visible()) << "a hidden copy";
      mine.push_back(c.copy);
    }
    for (const Control* m : mine) {
      EXPECT_EQ(onPage.at(m), row.set) << m->Name();
      EXPECT_TRUE(used.insert(m).second) << m->Name() << " is bound to two rows";
    }
  }
  // The session's lookup by row and the window's own members agree.
  EXPECT_EQ(ControlsOf(form, CommandId::S_Did).copy, &form.Edit_S_Did_B);
  EXPECT_EQ(ControlsOf(form, CommandId::I_DMT_485).value, &form.Edit_I_DMT_485);
  EXPECT_EQ(ControlsOf(form, CommandId::I_ETX_485).bytes[2], &form.Edit_I_ETX3_485);
  EXPECT_EQ(ControlsOf(form, CommandId::I_ETX_485).length, &form.Edit_I_ETXLen_485);
  EXPECT_EQ(ControlsOf(form, CommandId::StatusQuery).value, nullptr);
}

}  // namespace
}  // namespace velimo::forms
