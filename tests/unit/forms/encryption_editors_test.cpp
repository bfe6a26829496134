// The encryption editors: the on/off lists, the show boxes, and the key
// and IV single saves.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sent_lines.h"
#include "support/form_fixture.h"

namespace velimo::forms {
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

// Both encryption save-alls with the log on: the pane, the operator's own
// screen, shows key and IV as sent; the log file has their values masked,
// unless the settings file asks for them in clear.
TEST(EncryptionLog, KeyAndIvAreMaskedInTheLogFileOnly) {
  const std::string key = "S-key-0123456789", iv = "S-iv-9876543210!";
  const std::string stars(16, '*');
  for (bool clear : {false, true}) {
    SCOPED_TRACE(clear ? "LogSecrets=1" : "LogSecrets absent");
    test::FormFixture f;
    f.WriteSettings(std::string("[MACHINE]\nSaveLogTrace=1\n") + (clear ? "LogSecrets=1\n" : ""));
    f.Activate();
    f.Connect();
    TForm_main& form = *f.form;
    form.Edit_S_En.SetItemIndex(1);
    form.Edit_S_AESKey.SetText(key);
    form.Edit_S_AESIV.SetText(iv);
    form.Btn_S_AES_SaveAllClick();
    form.Edit_I_En.SetItemIndex(1);
    form.Edit_I_AESKey.SetText(key);
    form.Edit_I_AESIV.SetText(iv);
    form.Btn_I_AES_SaveAllClick();
    ASSERT_TRUE(f.platform.dialogs.empty());

    std::ifstream in(form.Trace().LogFilePath(f.platform.Now()), std::ios::binary);
    const std::string file(std::istreambuf_iterator<char>(in), {});
    std::string pane;
    for (const std::string& line : form.Trace().Pane().Lines()) pane += line + "\n";
    const auto count = [](const std::string& text, const std::string& part) {
      size_t n = 0;
      for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
      return n;
    };
    const std::string shown_key = clear ? key : stars, shown_iv = clear ? iv : stars;
    EXPECT_EQ(count(file, "Send AT Command : AT+AESKEY=" + shown_key + "\r"), 2u) << file;
    EXPECT_EQ(count(file, "Send AT Command : " + shown_iv + "\r"), 2u) << file;
    EXPECT_EQ(count(file, key) + count(file, iv), clear ? 4u : 0u);
    EXPECT_EQ(count(file, "Send AT Command : AT+AES=1\r"), 2u) << "nothing else is masked";
    EXPECT_EQ(count(pane, "Send AT Command : AT+AESKEY=" + key + "\r"), 2u);
    EXPECT_EQ(count(pane, "Send AT Command : " + iv + "\r"), 2u);
  }
}

}  // namespace
}  // namespace velimo::forms
