// The save-all sequences: the exact lines in order, the virtual time
// between them, with the port open and with it closed; what ends one early;
// the busy indicator around each; the trace of the answers that the purges
// throw away.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "sent_lines.h"
#include "serial/com_error.h"

namespace velimo::forms {
namespace {

using edit_test::EditorTest;
using edit_test::kClosed;

constexpr const char* kKey = "0123456789abcdef";
constexpr const char* kIv = "fedcba9876543210";

struct Step {
  std::string line;
  std::vector<int> pauses;  // what the sequence pauses after this line, in ms
};

int Sum(const std::vector<int>& v) {
  int n = 0;
  for (int x : v) n += x;
  return n;
}

struct SaveAllCase {
  const char* name;
  std::function<void(TForm_main&)> setup;
  void (TForm_main::*handler)();
  std::vector<Step> steps;
};

void S_LoRa(TForm_main& w, const char* fw) {
  w.Edit_S_FwVer.SetText(fw);
  w.Edit_S_Did.SetText("1234");
  w.CB_S_Ch.SetItemIndex(2);
  w.CB_S_Sf.SetItemIndex(1);
}

void EncryptionOn_S(TForm_main& w) {
  w.Edit_S_En.SetItemIndex(1);
  w.Edit_S_AESKey.SetText(kKey);
  w.Edit_S_AESIV.SetText(kIv);
}

void Lengths(TComboBox& stx, TComboBox& etx, int s, int e) {
  stx.SetItemIndex(s);
  etx.SetItemIndex(e);
}

const std::vector<SaveAllCase>& Cases() {
  static const std::vector<SaveAllCase> cases = {
      {"S LoRa page, firmware 1.1: no encryption steps",
       [](TForm_main& w) {
         S_LoRa(w, "1.1");
         EncryptionOn_S(w);
       },
       &TForm_main::Btn_S_SaveAll_LoRaPageClick,
       {{"AT+DID=1234\r", {200}}, {"AT+CH=3\r", {100}}, {"AT+SFT=8\r", {200}}}},
      {"S LoRa page, firmware 1.0: no encryption steps",
       [](TForm_main& w) { S_LoRa(w, "1.0"); },
       &TForm_main::Btn_S_SaveAll_LoRaPageClick,
       {{"AT+DID=1234\r", {200}}, {"AT+CH=3\r", {100}}, {"AT+SFT=8\r", {200}}}},
      {"S LoRa page, firmware 1.2, encryption off: the switch only",
       [](TForm_main& w) { S_LoRa(w, "1.2"); },
       &TForm_main::Btn_S_SaveAll_LoRaPageClick,
       {{"AT+DID=1234\r", {200}},
        {"AT+CH=3\r", {100}},
        {"AT+SFT=8\r", {200}},
        {"AT+AES=0\r", {200}}}},
      {"S LoRa page, firmware 1.2, encryption on: switch, key, IV",
       [](TForm_main& w) {
         S_LoRa(w, "1.2");
         EncryptionOn_S(w);
       },
       &TForm_main::Btn_S_SaveAll_LoRaPageClick,
       {{"AT+DID=1234\r", {200}},
        {"AT+CH=3\r", {100}},
        {"AT+SFT=8\r", {200}},
        {"AT+AES=1\r", {100}},
        {std::string("AT+AESKEY=") + kKey + "\r", {100}},
        {std::string(kIv) + "\r", {200}}}},
      {"S LoRa save-all",
       [](TForm_main& w) { S_LoRa(w, "1.2"); },
       &TForm_main::Btn_S_LoRa_SaveAllClick,
       {{"AT+CH=3\r", {100}}, {"AT+SFT=8\r", {}}}},
      {"S serial, both lengths 0: four commands and a pause after the last",
       [](TForm_main& w) {
         w.Edit_S_DMT.SetText("255");
         w.Edit_S_DMS.SetText("116");
         Lengths(w.Edit_S_STXLen, w.Edit_S_ETXLen, 0, 0);
       },
       &TForm_main::Btn_S_Serial_SaveAllClick,
       {{"AT+DMT=25\r", {200}},
        {"AT+DMS=116\r", {200}},
        {"AT+STXL=0\r", {200}},
        {"AT+ETXL=0\r", {200}}}},
      {"S serial, STX length 2 and ETX length 0: five commands",
       [](TForm_main& w) {
         Lengths(w.Edit_S_STXLen, w.Edit_S_ETXLen, 2, 0);
         w.Edit_S_STX1.SetText("02");
         w.Edit_S_STX2.SetText("0a");
       },
       &TForm_main::Btn_S_Serial_SaveAllClick,
       {{"AT+DMT=255\r", {200}},
        {"AT+DMS=0\r", {200}},
        {"AT+STXL=2\r", {200}},
        {"AT+ETXL=0\r", {200}},
        {"AT+STX=02,0a\r", {200}}}},
      {"S serial, both lengths 3",
       [](TForm_main& w) {
         Lengths(w.Edit_S_STXLen, w.Edit_S_ETXLen, 3, 1);
         w.Edit_S_ETX1.SetText("03");
       },
       &TForm_main::Btn_S_Serial_SaveAllClick,
       {{"AT+DMT=255\r", {200}},
        {"AT+DMS=0\r", {200}},
        {"AT+STXL=3\r", {200}},
        {"AT+ETXL=1\r", {200}},
        {"AT+STX=00,00,00\r", {200}},
        {"AT+ETX=03\r", {200}}}},
      {"R LoRa page in repeat mode: the mode only, then the radio",
       [](TForm_main& w) {
         w.Edit_R_Mode.SetItemIndex(0);
         w.Edit_R_Rid1.SetText("11");
         w.Edit_R_Rid2.SetText("22");
         w.CB_R_Ch.SetItemIndex(0);
         w.CB_R_Sf.SetItemIndex(2);
       },
       &TForm_main::Btn_R_SaveAll_LoRaPageClick,
       {{"AT+MODE=1\r", {200}}, {"AT+CH=1\r", {200}}, {"AT+SFT=9\r", {}}}},
      {"R LoRa page in relay mode: mode and both relays",
       [](TForm_main& w) {
         w.Edit_R_Mode.SetItemIndex(1);
         w.Edit_R_Rid1.SetText("11");
         w.Edit_R_Rid2.SetText("16777215");
       },
       &TForm_main::Btn_R_SaveAll_LoRaPageClick,
       {{"AT+MODE=2\r", {100}},
        {"AT+RID1=11\r", {100}},
        {"AT+RID2=16777215\r", {100, 200}},
        {"AT+CH=1\r", {200}},
        {"AT+SFT=7\r", {}}}},
      {"R device save-all without a selected mode: nothing",
       [](TForm_main& w) { w.Edit_R_Mode.SetItemIndex(-1); },
       &TForm_main::Btn_R_Device_SaveAllClick,
       {}},
      {"I LoRa save-all",
       [](TForm_main& w) {
         w.CB_I_Ch.SetItemIndex(1);
         w.CB_I_Sf.SetItemIndex(0);
       },
       &TForm_main::Btn_I_LoRa_SaveAllClick,
       {{"AT+CH=2\r", {400}}, {"AT+SFT=7\r", {}}}},
      {"I serial, both lengths above 0: no pause after the last",
       [](TForm_main& w) {
         w.Edit_I_DMT.SetText("100");
         w.Edit_I_DMS.SetText("5");
         Lengths(w.Edit_I_STXLen, w.Edit_I_ETXLen, 1, 2);
         w.Edit_I_STX1.SetText("aB");
         w.Edit_I_ETX1.SetText("0d");
         w.Edit_I_ETX2.SetText("0a");
       },
       &TForm_main::Btn_I_Serial_SaveAllClick,
       {{"AT+DMT=10\r", {500}},
        {"AT+DMS=5\r", {500}},
        {"AT+STXL=1\r", {500}},
        {"AT+ETXL=2\r", {500}},
        {"AT+STX=aB\r", {500}},
        {"AT+ETX=0d,0a\r", {}}}},
      {"I serial, STX only: its pause stays",
       [](TForm_main& w) { Lengths(w.Edit_I_STXLen, w.Edit_I_ETXLen, 1, 0); },
       &TForm_main::Btn_I_Serial_SaveAllClick,
       {{"AT+DMT=255\r", {500}},
        {"AT+DMS=0\r", {500}},
        {"AT+STXL=1\r", {500}},
        {"AT+ETXL=0\r", {500}},
        {"AT+STX=00\r", {500}}}},
      {"I RS-485 serial, with its own lines",
       [](TForm_main& w) {
         w.Edit_I_DMT_485.SetText("2550");
         w.Edit_I_DMS_485.SetText("0");
         Lengths(w.Edit_I_STXLen_485, w.Edit_I_ETXLen_485, 3, 1);
         w.Edit_I_STX1_485.SetText("01");
         w.Edit_I_STX2_485.SetText("02");
         w.Edit_I_STX3_485.SetText("03");
         w.Edit_I_ETX1_485.SetText("04");
       },
       &TForm_main::Btn_I_Serial_SaveAll_485Click,
       {{"AT+485+DMT=255\r", {500}},
        {"AT+485+DMS=0\r", {500}},
        {"AT+485+STXL=3\r", {500}},
        {"AT+485+ETXL=1\r", {500}},
        {"AT+485+STX=01,02,03\r", {500}},
        {"AT+485+ETX=04\r", {}}}},
      {"I encryption on with key and IV",
       [](TForm_main& w) {
         w.Edit_I_En.SetItemIndex(1);
         w.Edit_I_AESKey.SetText(kKey);
         w.Edit_I_AESIV.SetText(kIv);
       },
       &TForm_main::Btn_I_AES_SaveAllClick,
       {{"AT+AES=1\r", {400}},
        {std::string("AT+AESKEY=") + kKey + "\r", {400}},
        {std::string(kIv) + "\r", {}}}},
      {"I encryption off with key and IV: the switch only",
       [](TForm_main& w) {
         w.Edit_I_AESKey.SetText(kKey);
         w.Edit_I_AESIV.SetText(kIv);
       },
       &TForm_main::Btn_I_AES_SaveAllClick,
       {{"AT+AES=0\r", {}}}},
  };
  return cases;
}

TEST(SaveAll, PortOpenSendsEachLineWithItsPauses) {
  for (const SaveAllCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    test::FormFixture g;
    g.Activate();
    g.Connect();
    g.platform.ClearRecords();
    TForm_main& w = *g.form;
    c.setup(w);
    (w.*c.handler)();

    const auto sent = edit_test::SentLines(g.channel);
    ASSERT_EQ(sent.size(), c.steps.size());
    std::vector<int> pauses;
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].bytes, c.steps[i].line) << "step " << i;
      pauses.insert(pauses.end(), c.steps[i].pauses.begin(), c.steps[i].pauses.end());
      // The next line starts after this one's bytes (5 ms each) and the
      // sequence's pause.
      if (i + 1 < sent.size()) {
        EXPECT_EQ(sent[i + 1].at_ms - sent[i].at_ms,
                  5 * static_cast<int64_t>(sent[i].bytes.size()) + Sum(c.steps[i].pauses))
            << "between steps " << i << " and " << i + 1;
      }
    }
    EXPECT_EQ(edit_test::StepPauses(g.platform), pauses);
    EXPECT_TRUE(g.platform.dialogs.empty());
    // Busy from before the first byte to after the last pause, once.
    const auto& busy = g.platform.busy_changes;
    if (sent.empty()) {
      EXPECT_TRUE(busy.empty() || busy.size() == 2);
    } else {
      ASSERT_EQ(busy.size(), 2u);
      EXPECT_TRUE(busy[0].on);
      EXPECT_LE(busy[0].at_ms, sent.front().at_ms);
      EXPECT_FALSE(busy[1].on);
      EXPECT_EQ(busy[1].at_ms, g.platform.NowMs());
    }
    EXPECT_EQ(g.platform.busy_depth, 0);
    EXPECT_EQ(g.platform.unbalanced_busy_ends, 0);
  }
}

TEST(SaveAll, PortClosedReportsEachCommandAndKeepsThePauses) {
  for (const SaveAllCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    test::FormFixture g;
    g.Activate();
    g.platform.ClearRecords();
    TForm_main& w = *g.form;
    c.setup(w);
    (w.*c.handler)();

    EXPECT_TRUE(g.channel.writes.empty());
    ASSERT_EQ(g.platform.dialogs.size(), c.steps.size());
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(g.platform.dialogs[i].text, kClosed);
      // Nothing is written, so only the sequence's pauses lie between.
      if (i + 1 < c.steps.size()) {
        EXPECT_EQ(g.platform.dialogs[i + 1].at_ms - g.platform.dialogs[i].at_ms,
                  Sum(c.steps[i].pauses))
            << "between steps " << i << " and " << i + 1;
      }
    }
  }
}

TEST_F(EditorTest, ARefusedStepEndsTheSequence) {
  // The timeout is refused (and restored from its hidden copy): nothing
  // after it goes out, the size and the lengths included, and no pause is
  // kept for the steps not taken.
  form.Edit_S_DMT_B.SetText("500");
  form.Edit_S_DMT.SetText("3000");
  form.Edit_S_DMS.SetText("100");
  form.Btn_S_Serial_SaveAllClick();
  EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{"Message Timeout Range : 10~2550ms"});
  EXPECT_EQ(form.Edit_S_DMT.Text(), "500");
  EXPECT_TRUE(edit_test::LineTexts(f.channel).empty());
  EXPECT_TRUE(edit_test::StepPauses(f.platform).empty());
  // The same sequence with good values goes out whole.
  f.platform.ClearRecords();
  form.Edit_S_DMT.SetText("2000");
  form.Btn_S_Serial_SaveAllClick();
  EXPECT_EQ(
      edit_test::LineTexts(f.channel),
      (std::vector<std::string>{"AT+DMT=200\r", "AT+DMS=100\r", "AT+STXL=0\r", "AT+ETXL=0\r"}));
  // A refusal in a single save outside any sequence leaves the next
  // save-all free to run.
  f.platform.ClearRecords();
  form.Edit_S_DMS.SetText("117");
  form.Btn_S_Save_DMSClick();
  form.Edit_S_DMS.SetText("100");
  form.Btn_S_Serial_SaveAllClick();
  EXPECT_EQ(edit_test::LineTexts(f.channel).size(), 8u);
}

// How a case's modem fails: not at all, vanishing once it has received a
// given line (the next send's purge finds the device gone), or dying in
// the middle of the write with the given 1-based number.
struct Fault {
  const char* vanish_after = nullptr;
  int die_at_write = 0;
};

struct EndCase {
  const char* name;
  std::function<void(TForm_main&)> setup;
  void (TForm_main::*handler)();
  Fault fault;
  std::vector<std::string> lines;     // what went out, a cut line as far as it got
  std::vector<std::string> messages;  // plain message boxes
  const char* error;                  // the conversion error that left, or null
  std::vector<int> pauses;
};

void RelayMode(TForm_main& w, const char* rid2) {
  w.Edit_R_Mode.SetItemIndex(1);
  w.Edit_R_Rid1.SetText("11");
  w.Edit_R_Rid2.SetText(rid2);
}

TEST(SaveAll, AConversionErrorOrAVanishedDeviceEndsTheWholeSequence) {
  const std::string portError = "Serial Port ERROR!!";
  const EndCase cases[] = {
      {"I serial: a reported timeout of 99999999999 ends it before anything goes out",
       [](TForm_main& w) { w.Edit_I_DMT.SetText("99999999999"); },
       &TForm_main::Btn_I_Serial_SaveAllClick,
       {},
       {},
       {},
       "'99999999999' is not a valid integer value",
       {}},
      {"S baud rate: a size that cannot convert leaves before AT+BAU and the disconnect",
       [](TForm_main& w) {
         w.Edit_S_DMS.SetText("1 6");
         w.Edit_S_Baudrate.SetItemIndex(3);
       },
       &TForm_main::Btn_S_Save_BaudrateClick,
       {},
       {"AT+DMT=255\r"},
       {},
       "'1 6' is not a valid integer value",
       {200}},
      {"R LoRa page: the second relay cannot convert; the outer radio steps stay unsent",
       [](TForm_main& w) { RelayMode(w, "1 2"); },
       &TForm_main::Btn_R_SaveAll_LoRaPageClick,
       {},
       {"AT+MODE=2\r", "AT+RID1=11\r"},
       {},
       "'1 2' is not a valid integer value",
       {100, 100}},
      {"R LoRa page: the modem vanishes after the first relay; one message, nothing more",
       [](TForm_main& w) { RelayMode(w, "22"); },
       &TForm_main::Btn_R_SaveAll_LoRaPageClick,
       {"AT+RID1=11\r"},
       {"AT+MODE=2\r", "AT+RID1=11\r"},
       {portError},
       nullptr,
       {100, 100}},
      {"S baud rate: the modem vanishes inside the serial save-all; no AT+BAU",
       [](TForm_main& w) { w.Edit_S_Baudrate.SetItemIndex(3); },
       &TForm_main::Btn_S_Save_BaudrateClick,
       {"AT+DMS=0\r"},
       {"AT+DMT=255\r", "AT+DMS=0\r"},
       {portError},
       nullptr,
       {200, 200}},
      {"I encryption: the line dies in the middle of the key",
       [](TForm_main& w) {
         w.Edit_I_En.SetItemIndex(1);
         w.Edit_I_AESKey.SetText(kKey);
         w.Edit_I_AESIV.SetText(kIv);
       },
       &TForm_main::Btn_I_AES_SaveAllClick,
       {nullptr, 12},  // "AT+AES=1\r" is 9 bytes: the key line's third byte
       {"AT+AES=1\r", "AT"},
       {portError},
       nullptr,
       {400}},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::FormFixture g;
    g.Activate();
    g.Connect();
    g.platform.ClearRecords();
    TForm_main& w = *g.form;
    c.setup(w);
    // A hung-up tty answers every call with EIO.
    g.channel.make_error = [] { throw serial::EComPort(serial::CError_WriteFailed, EIO); };
    if (c.fault.vanish_after) {
      g.channel.answer = [&g, after = std::string(c.fault.vanish_after)](const std::string& l) {
        if (l == after) g.channel.fail_on_purge = true;
      };
    }
    if (c.fault.die_at_write > 0) {
      g.channel.fail_on_write = c.fault.die_at_write;
      g.channel.fail_forever = true;
    }

    std::string error;
    try {
      (w.*c.handler)();
    } catch (const Exception& e) {
      error = e.what();
      // The report comes after the sequence: with the ordinary cursor.
      EXPECT_EQ(g.platform.busy_depth, 0);
    }
    EXPECT_EQ(error, c.error ? c.error : "");
    EXPECT_EQ(edit_test::LineTexts(g.channel), c.lines);
    EXPECT_EQ(g.platform.Messages(), c.messages);
    EXPECT_EQ(edit_test::StepPauses(g.platform), c.pauses);
    // The connection stays as it was.
    EXPECT_TRUE(g.channel.connected);
    EXPECT_TRUE(w.Disconnect1.Enabled());
    // Busy once, for the whole sequence, and over its messages.
    ASSERT_EQ(g.platform.busy_changes.size(), 2u);
    EXPECT_TRUE(g.platform.busy_changes[0].on);
    EXPECT_FALSE(g.platform.busy_changes[1].on);
    EXPECT_EQ(g.platform.busy_depth, 0);
    EXPECT_EQ(g.platform.unbalanced_busy_ends, 0);
    for (int depth : g.platform.busy_at_dialog) EXPECT_EQ(depth, 1);
  }
}

TEST(SaveAll, AnswersThePurgesThrowAwayAreTracedButNotParsed) {
  test::FormFixture g;
  g.Activate();
  g.Connect();
  TForm_main& w = *g.form;
  S_LoRa(w, "1.1");
  // The modem acknowledges every line at once; nothing reads the answers
  // while the sequence blocks the window.
  g.channel.answer = [&g](const std::string& line) {
    if (line == "AT+DID=1234\r") g.channel.Queue("OK. Destination ID=1234\r\n");
    if (line == "AT+CH=3\r") g.channel.Queue("OK. Channel=3\r\n");
    if (line == "AT+SFT=8\r") g.channel.Queue("OK. Spreading Factor=8\r\nOK. Spre");
  };
  // The pane from here on: trace lines by their text up to the command's
  // carriage return, received lines marked as such.
  const size_t mark = w.Trace().Pane().Lines().size();
  const auto pane = [&] {
    std::vector<std::string> out;
    const auto& lines = w.Trace().Pane().Lines();
    for (size_t i = mark; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      const bool stamped = l.size() >= 12 && l[0] == '[' && l.compare(9, 3, "]  ") == 0;
      out.push_back(stamped ? l.substr(12, l.find('\r') - 12) : "rx " + l);
    }
    return out;
  };

  // Run twice: the first run's spreading-factor acknowledgement (which
  // the parser would answer with "Successfully changed.") waits unread when
  // the second run starts.
  w.Btn_S_SaveAll_LoRaPageClick();
  w.Btn_S_SaveAll_LoRaPageClick();
  EXPECT_TRUE(g.platform.dialogs.empty());
  const std::vector<std::string> oneRun = {
      "Send AT Command : AT+DID=1234", "rx OK. Destination ID=1234\r\n",
      "Send AT Command : AT+CH=3", "rx OK. Channel=3\r\n", "Send AT Command : AT+SFT=8"};
  std::vector<std::string> expected = oneRun;
  expected.push_back("rx OK. Spreading Factor=8\r\n");
  expected.push_back("rx OK. Spre");
  expected.insert(expected.end(), oneRun.begin(), oneRun.end());
  EXPECT_EQ(pane(), expected);

  // The last answer is read as usual, once the window serves events.
  w.ComPortEnvBoardRxChar(static_cast<int>(g.channel.input.size()));
  EXPECT_EQ(g.platform.Messages(), std::vector<std::string>{"Successfully changed."});

  // Disconnecting purges too: what waits then is on record as well.
  g.channel.Queue("Source ID = 7");
  w.Disconnect1Click();
  EXPECT_EQ(pane().back(), "rx Source ID = 7");
  EXPECT_EQ(w.ResponseFlag, 0);
}

TEST_F(EditorTest, FailedWriteDoesNotStopTheSequence) {
  f.channel.fail_on_write = 2;  // the second byte of the first line
  form.Btn_R_LoRa_SaveAllClick();
  EXPECT_EQ(f.platform.Messages(), (std::vector<std::string>{"Serial Port ERROR!!"}));
  const std::string written = f.channel.Written();
  EXPECT_EQ(written,
            "A"
            "AT+SFT=7\r");
}

TEST(SaveAll, SEncryptionSaveAllSendsTheSwitchBeforeTestingKeyAndIv) {
  struct Case {
    const char* key;
    const char* iv;
    const char* message;
  };
  const Case cases[] = {
      {"No Information", kIv, "You must type [16 Bytes] AES KEY. Please Try Again."},
      {"", kIv, "You must type [16 Bytes] AES KEY. Please Try Again."},
      {kKey, "0123456789abcdefX",
       "You must type [16 Bytes] IV(Initialization Vector). Please Try Again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    test::FormFixture g;
    g.Connect();
    g.form->Edit_S_En.SetItemIndex(1);
    g.form->Edit_S_AESKey.SetText(c.key);
    g.form->Edit_S_AESIV.SetText(c.iv);
    g.form->Btn_S_AES_SaveAllClick();
    EXPECT_EQ(edit_test::LineTexts(g.channel), (std::vector<std::string>{"AT+AES=1\r"}));
    EXPECT_EQ(g.platform.Messages(), (std::vector<std::string>{c.message}));
    EXPECT_TRUE(g.platform.focus.empty());
  }
}

TEST(SaveAll, IEncryptionSaveAllSendsNothingWithoutTwoSixteenCharacterTexts) {
  struct Case {
    const char* key;
    const char* iv;
    const char* message;
    const char* focus;
  };
  // The initial "No Information" is 14 characters.
  const Case cases[] = {
      {"No Information", "No Information", "You must type [16 Bytes] AES KEY.", "Edit_I_AESKey"},
      {"", kIv, "You must type [16 Bytes] AES KEY.", "Edit_I_AESKey"},
      {kKey, "short", "You must type [16 Bytes] IV(Initialization Vector)", "Edit_I_AESIV"},
      {kKey, "", "You must type [16 Bytes] IV(Initialization Vector)", "Edit_I_AESIV"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    for (int on : {0, 1}) {
      test::FormFixture g;
      g.Connect();
      g.form->Edit_I_En.SetItemIndex(on);
      g.form->Edit_I_AESKey.SetText(c.key);
      g.form->Edit_I_AESIV.SetText(c.iv);
      g.form->Btn_I_AES_SaveAllClick();
      EXPECT_TRUE(g.channel.writes.empty());
      EXPECT_EQ(g.platform.Messages(), (std::vector<std::string>{c.message}));
      ASSERT_NE(g.form->ActiveControl(), nullptr);
      EXPECT_STREQ(g.form->ActiveControl()->Name(), c.focus);
    }
  }
}

}  // namespace
}  // namespace velimo::forms
