// The encryption editors: the on/off lists, the show boxes, and the key
// and IV single saves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sent_lines.h"

namespace velimo::ui {
namespace {

using edit_test::EditorTest;
using edit_test::LineTexts;
using Strings = std::vector<std::string>;

TEST_F(EditorTest, SEncryptionListShowsThePanelAndAsksForTheKey) {
  form.Edit_S_En.UserSelect(1);
  EXPECT_TRUE(form.Panel_S_En_KeyIV.Visible());
  form.Edit_S_En.UserSelect(0);
  EXPECT_FALSE(form.Panel_S_En_KeyIV.Visible());
  // The query each time, and never the new state itself.
  EXPECT_EQ(LineTexts(f.channel), (Strings{"AT&E\r", "AT&E\r"}));
}

TEST_F(EditorTest, IEncryptionListOnlyShowsThePanel) {
  form.Edit_I_En.UserSelect(1);
  EXPECT_TRUE(form.Panel_I_En_KeyIV.Visible());
  form.Edit_I_En.UserSelect(0);
  EXPECT_FALSE(form.Panel_I_En_KeyIV.Visible());
  EXPECT_TRUE(f.channel.writes.empty());
}

TEST_F(EditorTest, ShowBoxesMaskOnlyTheDisplay) {
  struct Case {
    TCheckBox TForm_main::*box;
    TEdit TForm_main::*edit;
  };
  using F = TForm_main;
  const Case cases[] = {{&F::CB_S_Show_Key, &F::Edit_S_AESKey},
                        {&F::CB_S_Show_IV, &F::Edit_S_AESIV},
                        {&F::CB_I_Show_Key, &F::Edit_I_AESKey},
                        {&F::CB_I_Show_IV, &F::Edit_I_AESIV}};
  for (const Case& c : cases) {
    SCOPED_TRACE(((*f.form).*c.box).Name());
    TEdit& edit = form.*c.edit;
    edit.SetText("secret-key-16chr");
    EXPECT_TRUE(edit.Masked());
    ((*f.form).*c.box).UserClick();
    EXPECT_FALSE(edit.Masked());
    ((*f.form).*c.box).UserClick();
    EXPECT_TRUE(edit.Masked());
    EXPECT_EQ(edit.Text(), "secret-key-16chr");
  }
  EXPECT_TRUE(f.channel.writes.empty());
}

TEST_F(EditorTest, KeyAndIvSavesSendTheirLines) {
  struct Case {
    void (TForm_main::*save)();
    TEdit TForm_main::*edit;
    const char* text;
    const char* line;
  };
  using F = TForm_main;
  const Case cases[] = {
      // The S actions test nothing.
      {&F::Btn_S_Save_AESKEYClick, &F::Edit_S_AESKey, "No Information",
       "AT+AESKEY=No Information\r"},
      {&F::Btn_S_Save_AESIVClick, &F::Edit_S_AESIV, "short", "short\r"},
      {&F::Btn_S_Save_AESIVClick, &F::Edit_S_AESIV, "0123456789ABCDEF", "0123456789ABCDEF\r"},
      {&F::Btn_I_Save_AESKEYClick, &F::Edit_I_AESKey, "0123456789abcdef",
       "AT+AESKEY=0123456789abcdef\r"},
      {&F::Btn_I_Save_AESIVClick, &F::Edit_I_AESIV, "fedcba9876543210", "fedcba9876543210\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    f.channel.writes.clear();
    const size_t traced = edit_test::TracedSends(form).size();
    ((*f.form).*c.edit).SetText(c.text);
    ((*f.form).*c.save)();
    EXPECT_EQ(LineTexts(f.channel), Strings{c.line});
    // 30-byte buffers: the trace carries all 30 bytes after the label.
    const Strings sends = edit_test::TracedSends(form);
    ASSERT_EQ(sends.size(), traced + 1);
    std::string buffer(c.line);
    buffer.resize(30, '\0');
    EXPECT_EQ(sends.back(), buffer);
  }
  EXPECT_TRUE(f.platform.dialogs.empty());
}

TEST_F(EditorTest, IvLineOfSixteenCharactersIsSeventeenBytesWithoutCommandText) {
  form.Edit_I_AESIV.SetText("ABCDEFGHIJKLMNOP");
  form.Btn_I_Save_AESIVClick();
  EXPECT_EQ(f.channel.writes.size(), 17u);
  EXPECT_EQ(f.channel.Written(), "ABCDEFGHIJKLMNOP\r");
}

TEST_F(EditorTest, IKeyAndIvWantSixteenCharacters) {
  struct Case {
    void (TForm_main::*save)();
    TEdit TForm_main::*edit;
    const char* text;
    const char* message;
  };
  using F = TForm_main;
  constexpr const char* kKeyMsg = "You must type [16 Bytes] AES KEY.";
  constexpr const char* kIvMsg = "You must also type IV(Initialization Vector) [16 Bytes]";
  const Case cases[] = {
      {&F::Btn_I_Save_AESKEYClick, &F::Edit_I_AESKey, "", kKeyMsg},
      {&F::Btn_I_Save_AESKEYClick, &F::Edit_I_AESKey, "No Information", kKeyMsg},
      {&F::Btn_I_Save_AESKEYClick, &F::Edit_I_AESKey, "0123456789abcdefg", kKeyMsg},
      {&F::Btn_I_Save_AESIVClick, &F::Edit_I_AESIV, "0123456789abcde", kIvMsg},
      {&F::Btn_I_Save_AESIVClick, &F::Edit_I_AESIV, "", kIvMsg},
  };
  for (bool open : {true, false}) {
    f.channel.connected = open;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.message) + " '" + c.text + "'");
      f.platform.ClearRecords();
      form.SetActiveControl(form.Btn_I_AES_SaveAll);
      ((*f.form).*c.edit).SetText(c.text);
      ((*f.form).*c.save)();
      EXPECT_EQ(f.platform.Messages(), Strings{c.message});
      EXPECT_EQ(form.ActiveControl(), &((*f.form).*c.edit));
    }
  }
  EXPECT_TRUE(f.channel.writes.empty());
}

}  // namespace
}  // namespace velimo::ui
