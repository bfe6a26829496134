#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/form_fixture.h"

namespace velimo::forms {
namespace {

using test::FormFixture;

TEST(FormStructure, EveryControlHasAUniqueNameAndIsFoundByIt) {
  FormFixture f;
  std::set<std::string> names;
  for (Control* c : f.form->AllControls()) {
    EXPECT_TRUE(names.insert(c->Name()).second) << "twice: " << c->Name();
    EXPECT_EQ(f.form->FindControl(c->Name()), c);
  }
  EXPECT_EQ(f.form->FindControl("Edit_S_Did"), &f.form->Edit_S_Did);
  EXPECT_EQ(f.form->FindControl("Btn_I_Save_ETX_485"), &f.form->Btn_I_Save_ETX_485);
  EXPECT_EQ(f.form->FindControl("Timer_AESQuery"), nullptr);
  EXPECT_EQ(f.form->FindControl("no such control"), nullptr);
}

}  // namespace
}  // namespace velimo::forms
