// The initial state of the window's controls as the pages declare them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/form_fixture.h"

namespace velimo::forms {
namespace {

using test::FormFixture;
using Items = std::vector<std::string>;

const Items kBauds = {"600",   "1200",  "2400",  "3600",   "4800",   "7200",   "9600",
                      "19200", "38400", "57600", "115200", "230400", "460800", "921600"};

// One control's initial state; unset fields are not checked.
struct Expect {
  const char* name;
  const char* parent = nullptr;  // the container it sits in
  bool visible = true;
  bool enabled = true;
  // Caption; for a text box its text, for a list the selected entry.
  const char* text = nullptr;
  Items items = {};
  int max_length = -1;
  std::optional<KeyFilter> filter = {};
  const char* hint = nullptr;
  bool masked = false;
};

std::string TextOf(Control& c) {
  if (auto* e = dynamic_cast<TEdit*>(&c)) return e->Text();
  if (auto* b = dynamic_cast<TComboBox*>(&c)) return b->Text();
  return c.Caption();
}

const std::vector<Expect>& InitialStates() {
  static const std::vector<Expect> rows = {
      // Frame
      {.name = "Form_main", .text = "Velimo"},
      {.name = "Panel_Left_Main", .enabled = false},
      {.name = "Btn_Left_Info", .parent = "Panel_Left_Main"},
      {.name = "Btn_S_CurrentStatus", .parent = "PaneLogMain", .enabled = false, .text = " Load"},
      {.name = "Btn_FactoryReset", .visible = false, .enabled = false, .text = "Factory Default"},
      {.name = "TS_I_Serial", .parent = "PageControl1"},
      // Menus
      {.name = "Device1", .text = "Device"},
      {.name = "ioTavi1", .parent = "Device1", .visible = false, .text = "ioTavi"},
      {.name = "COMSetup1", .parent = "Connection1", .visible = false, .text = "COM Setup"},
      {.name = "ConnectN1", .text = "Connect"},
      {.name = "Disconnect1", .enabled = false, .text = "Disconnect"},
      {.name = "reboot1", .visible = false, .enabled = false, .text = "Reboot"},
      {.name = "Trace1", .visible = false, .text = "Trace"},
      {.name = "SaveLogFile1", .parent = "Trace1", .text = "Save Log File"},
      {.name = "About1", .parent = "Help1", .text = "About"},
      // Page 0
      {.name = "Panel_S_Info", .parent = "TS_S_Info", .visible = false},
      {.name = "LB_S_Summary_Info", .text = "sTavi Information"},
      {.name = "LB_S_Hf", .parent = "Panel_S_Info", .text = "no info"},
      {.name = "Btn_SystemReset", .visible = false, .enabled = false, .text = " System Reset"},
      {.name = "Btn_S_Clear_Info", .visible = false, .text = "Clear Info"},
      // Page 1
      {.name = "Panel_S_Info_Device", .parent = "TS_S_LoRa", .enabled = false},
      {.name = "Panel_Device_head_S", .parent = "Panel_S_Info_Device", .text = "[Device]"},
      {.name = "Edit_S_FwVer",
       .enabled = false,
       .text = "0",
       .max_length = 8,
       .filter = KeyFilter::Digits},
      {.name = "Edit_S_Did",
       .parent = "Panel_S_Info_Device",
       .text = "0",
       .max_length = 8,
       .filter = KeyFilter::Digits},
      {.name = "Edit_S_Did_B", .visible = false, .text = "0"},
      {.name = "Btn_S_Save_Did", .visible = false, .text = "Save"},
      {.name = "Edit_S_Dtn", .enabled = false, .text = "0", .max_length = 3},
      {.name = "Btn_S_Save_Dent", .visible = false, .enabled = false},
      {.name = "Btn_S_Save_LPID", .visible = false, .enabled = false, .text = "Save", .hint = "2"},
      {.name = "Btn_S_LoRa_SaveAll", .parent = "Panel3", .visible = false, .text = " Save"},
      {.name = "Edit_S_Country", .enabled = false, .text = "KOR", .items = {"KOR", "USA", "JPN"}},
      {.name = "Btn_S_Save_Country", .visible = false},
      {.name = "CB_S_Sf", .text = "1", .items = {"1", "2", "3"}},
      {.name = "Edit_S_En",
       .parent = "Panel_S_Info_Encryption",
       .text = "OFF",
       .items = {"OFF", "ON"}},
      {.name = "Edit_S_AESKey",
       .parent = "Panel_S_En_KeyIV",
       .enabled = false,
       .text = "No Information",
       .max_length = 16,
       .filter = KeyFilter::None,
       .masked = true},
      {.name = "CB_S_Show_IV", .text = "show"},
      {.name = "Btn_S_Save_AESIV", .visible = false, .enabled = false, .text = "IV Save"},
      {.name = "Btn_S_GetAES", .visible = false, .text = "Load"},
      {.name = "Panel_Info_Admin_S", .parent = "TS_S_LoRa", .visible = false, .enabled = false},
      {.name = "Panel4", .text = "[Admin Config]"},
      {.name = "CB_S_LoRa_Freq_PM", .text = "+", .items = {"+", "-"}},
      {.name = "Edit_S_LoRa_Freq", .text = "40000", .max_length = 5},
      {.name = "Btn_S_SaveAll_LoRaPage", .parent = "TS_S_LoRa", .text = " Save"},
      // Page 2
      {.name = "Panel_S_Info_Serial", .enabled = false},
      {.name = "Edit_S_Ptype", .enabled = false, .text = "Kivet", .items = {"Kivet", "Normal"}},
      {.name = "Btn_S_Save_Ptype_Ptp",
       .visible = false,
       .text = " Save",
       .hint = "Message Timeout, Size, STX/ETX config Save All"},
      {.name = "Edit_S_Baudrate", .text = "600", .items = kBauds},
      {.name = "Btn_S_Save_Baudrate", .visible = true, .text = "Save"},
      {.name = "Btn_S_Save_PAB", .visible = true},
      {.name = "Btn_S_Save_HF", .visible = true},
      {.name = "Btn_S_Save_PTP", .visible = false},
      {.name = "Edit_S_StopBit", .enabled = false, .text = "0", .max_length = 1},
      {.name = "Edit_S_HWF", .text = "OFF", .items = {"OFF", "RTS/CTS"}},
      {.name = "Edit_S_DMT", .text = "2550", .max_length = 4, .filter = KeyFilter::Digits},
      {.name = "Edit_S_DMT_B", .visible = false, .text = "2550"},
      {.name = "Edit_S_DMS_B", .visible = false, .text = "0"},
      {.name = "Edit_S_ETXLen", .text = "0", .items = {"0", "1", "2", "3"}},
      {.name = "Btn_S_Save_STXL", .visible = false},
      {.name = "Edit_S_STX2",
       .parent = "Panel_S_STX",
       .text = "00",
       .max_length = 2,
       .filter = KeyFilter::Hex,
       .hint = "Hex type"},
      {.name = "Edit_S_ETX3", .parent = "Panel_S_ETX", .text = "00", .filter = KeyFilter::Hex},
      {.name = "Img_S_PinMap", .parent = "TS_S_Serial"},
      {.name = "Btn_S_Serial_SaveAll",
       .text = " Save",
       .hint = "Message Timeout, Size, STX/ETX config Save All"},
      // Page 3
      {.name = "Panel_R_Info", .visible = false},
      {.name = "LB_R_Summary_Info", .text = "rTavi Information"},
      {.name = "LB_R_Mode0", .text = "rTavi Mode"},
      {.name = "LB_R_Rid2_0", .text = "Relay ID 2"},
      {.name = "LB_R_Rid2", .text = "no info"},
      {.name = "Btn_R_Clear_Info", .visible = false, .text = "Clear Info"},
      // Page 4
      {.name = "Panel_R_Info_Device", .enabled = false},
      {.name = "Btn_R_Device_SaveAll",
       .parent = "Panel_Device_head_R",
       .visible = false,
       .text = " Save"},
      {.name = "Edit_R_FwVer",
       .enabled = false,
       .text = "0",
       .max_length = 8,
       .filter = KeyFilter::None},
      {.name = "Edit_R_Sid", .enabled = false, .text = "0", .filter = KeyFilter::Digits},
      {.name = "Edit_R_Mode", .text = "1. Repeat", .items = {"1. Repeat", "2. Relay"}},
      {.name = "Panel_R_Relay", .parent = "Panel_R_Info_Device", .visible = false},
      {.name = "Edit_R_Rid1", .parent = "Panel_R_Relay", .text = "0", .max_length = 8},
      {.name = "Btn_R_Save_Rid2", .visible = false, .enabled = false},
      {.name = "Edit_R_Rid2_B", .visible = false, .text = "0"},
      {.name = "Btn_R_LoRa_SaveAll", .parent = "Panel9", .visible = false},
      {.name = "Edit_R_Country", .enabled = false, .text = "KOR"},
      {.name = "CB_R_Ch", .text = "1", .items = {"1", "2", "3"}},
      {.name = "Panel_Info_Admin_R", .visible = false, .enabled = false},
      {.name = "Panel11", .parent = "Panel_Info_Admin_R", .text = "[Admin Config]"},
      {.name = "Btn_R_SaveAll_LoRaPage", .text = " Save"},
      // Page 5
      {.name = "Panel_I_Info", .parent = "TS_I_Info", .visible = false},
      {.name = "LB_I_Summary_Info", .text = "ioTavi Information"},
      {.name = "LB_I_Band", .visible = false, .text = "no info"},
      {.name = "LB_I_DID", .visible = true, .text = "no info"},
      {.name = "Btn_I_ATModeOn", .visible = false, .enabled = false, .text = "AT Mode On"},
      {.name = "Btn_I_ATModeOff", .visible = false, .enabled = false, .text = "AT Mode Off"},
      // Page 6
      {.name = "Panel12", .parent = "Panel_I_Info_Device", .text = "[Device]"},
      {.name = "Edit_I_Sid", .enabled = false, .text = "0", .max_length = 8},
      {.name = "Btn_I_Save_Country", .visible = false},
      {.name = "Edit_I_Band", .visible = false, .text = "0", .max_length = 2},
      {.name = "Btn_I_Save_Band", .visible = false},
      {.name = "Btn_I_LoRa_SaveAll",
       .parent = "Panel_I_Info_LoRa",
       .visible = true,
       .text = " Save"},
      {.name = "Btn_I_GetAES", .parent = "Panel15", .text = "AES"},
      {.name = "Edit_I_AESIV",
       .parent = "Panel_I_En_KeyIV",
       .enabled = true,
       .text = "No Information",
       .max_length = 16,
       .masked = true},
      {.name = "Btn_I_Save_AESKEY", .visible = false, .enabled = false, .text = "Key Save"},
      {.name = "Btn_I_AES_SaveAll", .visible = true, .text = " Save"},
      // Page 7
      {.name = "Panel_I_Info_Serial", .parent = "TS_I_Serial", .enabled = false},
      {.name = "Panel_I_Info_485", .parent = "TS_I_Serial", .enabled = false},
      {.name = "Panel13", .text = "[RS485]"},
      {.name = "Edit_I_Get_Info_485", .parent = "Panel13", .text = "RS485"},
      {.name = "Btn_I_Save_Ptype", .visible = false},
      {.name = "Btn_I_Save_Ptype_Did_485", .text = " Save", .hint = "Port type, DID Save All"},
      {.name = "Edit_I_Did_485", .parent = "Panel_I_Info_485", .text = "0", .max_length = 8},
      {.name = "Edit_I_Baudrate_485", .text = "600", .items = kBauds},
      {.name = "Btn_I_Save_PAB_485", .visible = true},
      {.name = "Edit_I_DataBit_485", .enabled = false, .text = "0", .max_length = 1},
      {.name = "Edit_I_HWF", .text = "OFF", .items = {"OFF", "RTS/CTS"}},
      {.name = "Edit_I_HWF_485", .visible = false, .enabled = false, .text = "OFF"},
      {.name = "Btn_I_Save_HF_485", .visible = false},
      {.name = "Edit_I_DMT", .parent = "GroupBox2", .text = "2550", .max_length = 4},
      {.name = "Edit_I_DMS_485", .parent = "GroupBox3", .text = "0", .max_length = 3},
      {.name = "Edit_I_STXLen_485", .text = "0", .items = {"0", "1", "2", "3"}},
      {.name = "Edit_I_ETX1_485",
       .parent = "Panel_I_ETX_485",
       .text = "00",
       .max_length = 2,
       .filter = KeyFilter::Hex,
       .hint = "Hex type"},
      {.name = "Btn_I_Save_ETX_485", .visible = false},
      {.name = "Btn_I_Serial_SaveAll_485",
       .parent = "GroupBox3",
       .visible = true,
       .text = " Save",
       .hint = "Message Timeout, Size, STX/ETX config Save All"},
  };
  return rows;
}

TEST(PageDeclarations, InitialStatesOfASampleOfEveryPage) {
  FormFixture f;
  for (const Expect& e : InitialStates()) {
    SCOPED_TRACE(e.name);
    Control* c = f.form->FindControl(e.name);
    ASSERT_NE(c, nullptr);
    if (e.parent) {
      ASSERT_NE(c->Parent(), nullptr);
      EXPECT_STREQ(c->Parent()->Name(), e.parent);
    }
    EXPECT_EQ(c->Visible(), e.visible);
    EXPECT_EQ(c->Enabled(), e.enabled);
    if (e.text) {
      EXPECT_EQ(TextOf(*c), e.text);
    }
    if (!e.items.empty()) {
      auto* box = dynamic_cast<TComboBox*>(c);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->Items(), e.items);
    }
    if (e.hint) {
      EXPECT_EQ(c->Hint(), e.hint);
    }
    if (auto* edit = dynamic_cast<TEdit*>(c)) {
      if (e.max_length >= 0) {
        EXPECT_EQ(edit->MaxLength(), e.max_length);
      }
      if (e.filter) {
        EXPECT_EQ(edit->Filter(), *e.filter);
      }
      EXPECT_EQ(edit->Masked(), e.masked);
    } else {
      EXPECT_LT(e.max_length, 0) << "not a text box";
    }
  }
}

// The static captions of a declaration, in order.
std::vector<std::string> Captions(const LayoutNode& root) {
  std::vector<std::string> out;
  root.Walk([&](const LayoutNode& n) {
    if (n.type == NodeType::Text && n.style == TextStyle::Caption && n.visible)
      out.push_back(n.text);
    if (n.type == NodeType::Control && n.control->Kind() == ControlKind::Label &&
        std::string(n.control->Name()).ends_with("0"))
      out.push_back(n.control->Caption());
  });
  return out;
}

TEST(PageDeclarations, RowsInOrder) {
  FormFixture f;
  const auto& pages = f.form->Pages();
  ASSERT_EQ(pages.size(), 8u);
  for (int i = 0; i < kPageCount; ++i)
    EXPECT_EQ(pages[static_cast<size_t>(i)].control, f.form->PageControl1.pages[i]);
  EXPECT_EQ(
      Captions(pages[kPageSInfo]),
      (std::vector<std::string>{"F/W Version", "Source ID", "Destination ID", "Country", "Channel",
                                "Spreading Factor", "Encryption", "Port Type", "Baudrate",
                                "Parity Bit", "Data Bit", "Stop Bit", "H/W Flow Control"}));
  EXPECT_EQ(
      Captions(pages[kPageRInfo]),
      (std::vector<std::string>{"F/W Version", "Source ID", "Country", "Channel",
                                "Spreading Factor", "rTavi Mode", "Relay ID 1", "Relay ID 2"}));
  // The hidden Band row is left out of what shows.
  EXPECT_EQ(Captions(pages[kPageIInfo]),
            (std::vector<std::string>{"F/W Version", "Source ID", "Channel", "Spreading Factor",
                                      "Encryption", "Port Type", "Destination ID", "Baudrate",
                                      "Parity Bit", "Data Bit", "Stop Bit", "H/W Flow Control"}));
  EXPECT_EQ(
      Captions(pages[kPageSLoRa]),
      (std::vector<std::string>{"F/W Version", "Source ID", "Destination ID", "Dest. Table Number",
                                "Dest. Entry Number", "Main Port PID", "LoRa Port PID",
                                "Serial Port PID", "Country Code", "Channel", "Spreading Factor",
                                "Encryption", "AES KEY", "AES IV", "LoRa Frequency change"}));
}

TEST(PageDeclarations, Rs485GroupShowsNoFlowControlRow) {
  FormFixture f;
  TForm_main& w = *f.form;
  LayoutNode rs485;
  w.Pages()[kPageISerial].Walk([&](const LayoutNode& n) {
    if (n.control == &w.Panel_I_Info_485) rs485 = n;
  });
  ASSERT_EQ(rs485.control, &w.Panel_I_Info_485);
  std::vector<std::string> captions = Captions(rs485);
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "H/W Flow Control"), 0);
  EXPECT_EQ(std::count(captions.begin(), captions.end(), "Baudrate"), 1);
  EXPECT_FALSE(w.Edit_I_HWF_485.Showing());
  EXPECT_TRUE(w.Edit_I_Baudrate_485.Visible());
}

TEST(PageDeclarations, MenusAndStatusBar) {
  FormFixture f;
  TForm_main& w = *f.form;
  std::vector<std::string> menu;
  for (TMenuItem* top : w.MainMenu1) {
    std::string entry = top->Caption() + ":";
    for (TMenuItem* item : top->items) entry += " " + item->Caption();
    menu.push_back(entry);
  }
  EXPECT_EQ(menu, (std::vector<std::string>{"Device: sTavi uTavi rTavi ioTavi",
                                            "Connection: COM Setup Connect Disconnect Reboot",
                                            "Trace: View Log Trace Save Log File Clear Trace",
                                            "Help: About"}));
  EXPECT_TRUE(w.ViewLogTrace1.Checked());
  EXPECT_FALSE(w.SaveLogFile1.Checked());
  ASSERT_EQ(w.StatusBar1.PanelCount(), 3);
  EXPECT_EQ(w.StatusBar1.Panels()[0].width, 100);
  EXPECT_EQ(w.StatusBar1.Panels()[1].width, 200);
  EXPECT_EQ(w.StatusBar1.Panels()[2].width, 50);
  EXPECT_EQ(w.StatusBar1.PanelText(1), "Disconnected");
  EXPECT_EQ(w.StatusBar1.PanelText(2), "");
  // No model yet: the left buttons show their own pictures.
  EXPECT_EQ(w.Btn_Left_Info.Glyph(), -1);
  EXPECT_EQ(w.Timer_ConnectionResponse.Interval(), 5000);
  EXPECT_EQ(w.Timer_AESQuery.Interval(), 1000);
  EXPECT_FALSE(w.Timer_ConnectionResponse.Enabled());
  EXPECT_FALSE(w.Timer_AESQuery.Enabled());
}

}  // namespace
}  // namespace velimo::forms
