// Window, model selection, navigation, presentation: the window's start,
// the choice of model, the left buttons, the administrator groups, the
// connected and disconnected looks, Clear Info and the Trace menu.
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "forms/form_main.h"
#include "util/version.h"

namespace velimo::forms {

namespace {

constexpr int kWindowWidth = 1020;
constexpr int kHeightWithTrace = 803;
constexpr int kHeightWithoutTrace = 675;

bool On(const std::string& option) {
  return option == "1";
}

void SetAll(std::initializer_list<Control*> controls, bool enabled) {
  for (Control* c : controls) c->SetEnabled(enabled);
}

void ClearLabels(std::initializer_list<TLabel*> labels) {
  for (TLabel* label : labels) label->SetCaption("no info");
}

}  // namespace

void TForm_main::BindSelection() {
  sTavi1.OnClick = [this] { sTavi1Click(); };
  uTavi1.OnClick = [this] { uTavi1Click(); };
  rTavi1.OnClick = [this] { rTavi1Click(); };
  ioTavi1.OnClick = [this] { ioTavi1Click(); };
  Btn_Left_Info.OnClick = [this] { Btn_Left_InfoClick(); };
  Btn_Left_LoRa.OnClick = [this] { Btn_Left_LoRaClick(); };
  Btn_Left_Serial.OnClick = [this] { Btn_Left_SerialClick(); };
  Panel_Device_head_S.OnClick = [this] { Panel_Device_head_SClick(); };
  // The ioTavi [Device] header counts toward the sTavi/uTavi toggle.
  Panel12.OnClick = [this] { Panel_Device_head_SClick(); };
  Panel_Device_head_R.OnClick = [this] { Panel_Device_head_RClick(); };
  Btn_S_Clear_Info.OnClick = [this] { Btn_S_Clear_InfoClick(); };
  Btn_R_Clear_Info.OnClick = [this] { Btn_R_Clear_InfoClick(); };
  Btn_I_Clear_Info.OnClick = [this] { Btn_I_Clear_InfoClick(); };
  ViewLogTrace1.OnClick = [this] { ViewLogTrace1Click(); };
  SaveLogFile1.OnClick = [this] { SaveLogFile1Click(); };
  ClearTrace1.OnClick = [this] { ClearTrace1Click(); };
}

// ---- Start ------------------------------------------------------------------

void TForm_main::FormCreate() {
  // The log-file switch is still off: this line reaches the pane only.
  LogWriteStr("Start Velimo...");
  AdminClicks_S = 0;
  AdminClicks_R = 0;
  // The About window shows the version from this label.
  Lb_PGVersion.SetCaption(std::string("Version ") + kVersion);
  ResponseFlag = 0;
  PortErrorCount = 0;
}

void TForm_main::FormActivate() {
  // The window system reports an activation each time the window comes back
  // to the front; only the first one starts the tool. A second run would
  // re-read the settings and undo what the operator has chosen since.
  if (activated_) return;
  activated_ = true;

  // The operator moves between pages with the left buttons only.
  for (int i = 0; i < PageControl1.PageCount(); ++i) PageControl1.SetTabVisible(i, false);

  LoadSettingsFile();
  StartDeviceWatch();

  if (ModelCode == "s")
    sTavi1Click();
  else if (ModelCode == "u")
    uTavi1Click();
  else if (ModelCode == "r")
    rTavi1Click();
  else if (ModelCode == "i")
    ioTavi1Click();

  SaveLogFile1.SetChecked(On(SaveLogTrace));
  Trace1.SetVisible(On(ViewTraceMenu));
  ShowTrace(On(ViewLogTrace));
}

void TForm_main::LoadSettingsFile() {
  std::string ignored;
  const settings::Settings s = settings::LoadSettings(SettingsPath, &ignored);
  settings_ignored_ = !ignored.empty();
  if (settings_ignored_) {
    platform_.ShowMessage("The settings file " + SettingsPath + " is ignored (" + ignored +
                          "): the defaults are used and it is left as it is.");
  }
  ViewTraceMenu = s.ViewTraceMenu;
  ViewLogTrace = s.ViewLogTrace;
  SaveLogTrace = s.SaveLogTrace;
  trace_.SetLogSecrets(s.LogSecrets == "1");
  Adapter.SetReconnect(s.Reconnect != "0");
  ModelCode = s.Device;
  ComPortSettings.ComPort = s.ComPort;
  ComPortSettings.BaudRate = serial::BaudRateFromText(s.BaudRate);
  ComPortSettings.CustomBaudRate = 0;
  WindowWidth = std::max(0, std::atoi(s.WindowWidth.c_str()));
  WindowHeight = std::max(0, std::atoi(s.WindowHeight.c_str()));
  if (s.BaudRate == "Custom") {
    // Without a usable number beside it (a file of an older version),
    // "Custom" stays as it always read: the port's own custom rate.
    const int custom = std::atoi(s.CustomBaudRate.c_str());
    if (custom > 0) ComPortSettings.CustomBaudRate = custom;
  }
  ComPortSettings.DataBits = serial::DataBitsFromText(s.DataBits);
  ComPortSettings.StopBits = serial::StopBitsFromText(s.StopBits);
  ComPortSettings.Parity = serial::ParityFromText(s.Parity);
  // The port takes them over (connection section), so what the writer
  // stores at close is what was read unless a connect changed it.
  ApplyPortLineSettings();
}

void TForm_main::ShowTrace(bool show) {
  ViewLogTrace1.SetChecked(show);
  Memo.SetVisible(show);
  // The pane is 128 pixels high; the window grows and shrinks with it.
  Window.SetSize(kWindowWidth, show ? kHeightWithTrace : kHeightWithoutTrace);
}

// ---- Model selection --------------------------------------------------------

struct TForm_main::ModelRow {
  enum class PinMap { Show, Hide, Unchanged };
  TMenuItem& item;
  const char* code;
  TLabel& summary;
  const char* caption;
  const char* status;
  bool serial_button;
  PinMap pin_map;
};

void TForm_main::SelectModel(const ModelRow& row) {
  for (TMenuItem* item : {&sTavi1, &uTavi1, &rTavi1, &ioTavi1}) item->SetChecked(item == &row.item);
  ModelCode = row.code;
  row.summary.SetCaption(row.caption);
  StatusBar1.SetPanelText(0, row.status);
  Btn_Left_Serial.SetEnabled(row.serial_button);
  if (row.pin_map != ModelRow::PinMap::Unchanged)
    Img_S_PinMap.SetVisible(row.pin_map == ModelRow::PinMap::Show);
  Btn_Left_InfoClick();
}

void TForm_main::sTavi1Click() {
  SelectModel({sTavi1, "s", LB_S_Summary_Info, "sTavi Information", "  sTavi", true,
               ModelRow::PinMap::Show});
}

void TForm_main::uTavi1Click() {
  SelectModel({uTavi1, "u", LB_S_Summary_Info, "uTavi Information", "  uTavi", true,
               ModelRow::PinMap::Hide});
}

void TForm_main::rTavi1Click() {
  // rTavi has no Serial page.
  SelectModel({rTavi1, "r", LB_R_Summary_Info, "rTavi Information", "  rTavi", false,
               ModelRow::PinMap::Unchanged});
}

void TForm_main::ioTavi1Click() {
  SelectModel({ioTavi1, "i", LB_I_Summary_Info, "ioTavi Information", "  ioTavi", true,
               ModelRow::PinMap::Unchanged});
}

// ---- Section navigation -----------------------------------------------------

namespace {

// The page of a section for a model code; -1 when the code has no such page.
int SectionPage(const std::string& code, int sPage, int rPage, int iPage) {
  if (code == "s" || code == "u") return sPage;
  if (code == "r") return rPage;
  if (code == "i") return iPage;
  return -1;
}

}  // namespace

void TForm_main::SetLeftGlyphs(int info, int lora, int serial) {
  Btn_Left_Info.SetGlyph(info);
  Btn_Left_LoRa.SetGlyph(lora);
  Btn_Left_Serial.SetGlyph(serial);
}

void TForm_main::Btn_Left_InfoClick() {
  const int page = SectionPage(ModelCode, kPageSInfo, kPageRInfo, kPageIInfo);
  if (page >= 0) PageControl1.SetActivePageIndex(page);
  SetLeftGlyphs(ImageList1::kInfoSelected, ImageList1::kLoRaNormal, ImageList1::kSerialNormal);
  Btn_FactoryReset.SetVisible(true);
  if (Port().Connected()) Btn_S_CurrentStatusClick();
}

void TForm_main::Btn_Left_LoRaClick() {
  const int page = SectionPage(ModelCode, kPageSLoRa, kPageRLoRa, kPageILoRa);
  if (page >= 0) PageControl1.SetActivePageIndex(page);
  // Queried with the LoRa page already active, so that the status query
  // also arms the delayed encryption-key query.
  if (Port().Connected()) Btn_S_CurrentStatusClick();
  SetLeftGlyphs(ImageList1::kInfoNormal, ImageList1::kLoRaSelected, ImageList1::kSerialNormal);
  Btn_FactoryReset.SetVisible(false);
}

void TForm_main::Btn_Left_SerialClick() {
  bool asked485 = false;
  if (ModelCode == "s" || ModelCode == "u") {
    PageControl1.SetActivePageIndex(kPageSSerial);
  } else if (ModelCode == "i") {
    PageControl1.SetActivePageIndex(kPageISerial);
    asked485 = SendRs485Query() == protocol::SendResult::Sent;
  }
  SetLeftGlyphs(ImageList1::kInfoNormal, ImageList1::kLoRaNormal, ImageList1::kSerialSelected);
  Btn_FactoryReset.SetVisible(false);
  if (!Port().Connected()) return;
  // The status query empties the port's queues; sent at once, it would
  // throw away the RS-485 answer of a modem that answers quickly.
  if (asked485) {
    AwaitRs485AnswerThenQueryStatus();
  } else {
    Btn_S_CurrentStatusClick();
  }
}

// ---- Administrator groups ---------------------------------------------------

void TForm_main::ToggleAdmin(TPanel& admin, TEdit& sid, TButton& saveSid, Control& country,
                             TButton& saveCountry) {
  const bool show = !admin.Visible();
  admin.SetVisible(show);
  sid.SetEnabled(show);
  saveSid.SetVisible(show);
  country.SetEnabled(show);
  saveCountry.SetVisible(show);
}

void TForm_main::Panel_Device_head_SClick() {
  // Clicks need not follow each other closely: only a toggle resets the count.
  if (++AdminClicks_S < kAdminClickCount) return;
  ToggleAdmin(Panel_Info_Admin_S, Edit_S_Sid, Btn_S_Save_Sid, Edit_S_Country, Btn_S_Save_Country);
  AdminClicks_S = 0;
}

void TForm_main::Panel_Device_head_RClick() {
  if (++AdminClicks_R < kAdminClickCount) return;
  ToggleAdmin(Panel_Info_Admin_R, Edit_R_Sid, Btn_R_Save_Sid, Edit_R_Country, Btn_R_Save_Country);
  AdminClicks_R = 0;
}

// ---- Tabs -------------------------------------------------------------------

TabDrawing TForm_main::PageControl1DrawTab(int tabIndex, bool active) const {
  TabDrawing d;
  if (tabIndex >= 0 && tabIndex < PageControl1.PageCount())
    d.text = PageControl1.pages[static_cast<size_t>(tabIndex)]->Caption();
  if (!active) return d;
  d.system_face = false;
  d.outlined = true;
  d.text_dx = 8;
  d.text_dy = 3;
  switch (tabIndex) {
    case 0:
      d.brush = {128, 128, 0};
      break;  // olive
    case 1:
      d.brush = {192, 220, 192};
      break;  // money green
    case 2:
      d.brush = {0, 255, 255};
      break;  // aqua
    case 3:
      d.brush = {0, 128, 0};
      break;  // green
    case 4:
      d.brush = {255, 255, 0};
      break;  // yellow
    default:
      d.brush = {0, 128, 128};
      break;  // teal
  }
  return d;
}

// ---- Connection presentation ------------------------------------------------

int TForm_main::InfoPageOfModel() const {
  if (sTavi1.Checked() || uTavi1.Checked()) return kPageSInfo;
  if (rTavi1.Checked()) return kPageRInfo;
  if (ioTavi1.Checked()) return kPageIInfo;
  return -1;
}

void TForm_main::ApplyConnectedPresentation() {
  Disconnect1.SetEnabled(true);
  Panel_Left_Main.SetEnabled(true);
  const int page = InfoPageOfModel();
  if (page >= 0) PageControl1.SetActivePageIndex(page);
  if (page == kPageSInfo) {
    SetAll({&Panel_S_Info_Device, &Panel_S_Info_LoRa, &Panel_S_Info_Serial,
            &Panel_S_Info_Encryption, &Panel_Info_Admin_S},
           true);
  } else if (page == kPageRInfo) {
    SetAll({&Panel_R_Info_Device, &Panel_R_Info_LoRa, &Panel_Info_Admin_R}, true);
  } else if (page == kPageIInfo) {
    SetAll({&Panel_I_Info_Device, &Panel_I_Info_LoRa, &Panel_I_Info_Serial,
            &Panel_I_Info_Encryption, &Panel_I_Info_485},
           true);
    for (TButton* b : {&Btn_I_ATModeOn, &Btn_I_ATModeOff}) {
      b->SetEnabled(true);
      b->SetVisible(true);
    }
  }
  Btn_FactoryReset.SetEnabled(true);
  Btn_S_CurrentStatus.SetEnabled(true);
  SetAll({&ConnectN1, &COMSetup1, &Device1}, false);
  // Enabled, yet the item stays hidden.
  reboot1.SetEnabled(true);
}

void TForm_main::FocusShownPage() {
  const int index = PageControl1.ActivePageIndex();
  if (index >= 0 && index < static_cast<int>(pages_.size())) {
    for (Control* c : ControlsOf(pages_[static_cast<size_t>(index)])) {
      const ControlKind kind = c->Kind();
      const bool input = kind == ControlKind::Edit || kind == ControlKind::ComboBox ||
                         kind == ControlKind::CheckBox;
      if (input && c->Showing() && c->Usable()) {
        SetActiveControl(*c);
        return;
      }
    }
  }
  if (Btn_S_CurrentStatus.Showing() && Btn_S_CurrentStatus.Usable())
    SetActiveControl(Btn_S_CurrentStatus);
}

void TForm_main::ApplyDisconnectedPresentation() {
  // A report of the link that closed tells nothing of the next modem.
  ForgetReportedFamily();
  Disconnect1.SetEnabled(false);
  Panel_Left_Main.SetEnabled(false);
  const int page = InfoPageOfModel();
  if (page >= 0) PageControl1.SetActivePageIndex(page);
  if (page == kPageSInfo) {
    SetAll({&Panel_S_Info_Device, &Panel_S_Info_LoRa, &Panel_S_Info_Serial,
            &Panel_S_Info_Encryption, &Panel_Info_Admin_S},
           false);
    Panel_S_Info.SetVisible(false);
    Btn_S_Clear_InfoClick();
  } else if (page == kPageRInfo) {
    SetAll({&Panel_R_Info_Device, &Panel_R_Info_LoRa, &Panel_Info_Admin_R}, false);
    Panel_R_Info.SetVisible(false);
    Btn_R_Clear_InfoClick();
  } else if (page == kPageIInfo) {
    SetAll({&Panel_I_Info_Device, &Panel_I_Info_LoRa, &Panel_I_Info_Serial,
            &Panel_I_Info_Encryption, &Panel_I_Info_485},
           false);
    for (TButton* b : {&Btn_I_ATModeOn, &Btn_I_ATModeOff}) {
      b->SetEnabled(false);
      b->SetVisible(false);
    }
    Panel_I_Info.SetVisible(false);
    Btn_I_Clear_InfoClick();
  }
  Btn_FactoryReset.SetEnabled(false);
  Btn_S_CurrentStatus.SetEnabled(false);
  SetAll({&ConnectN1, &COMSetup1, &Device1}, true);
  reboot1.SetEnabled(false);
}

// ---- Clear Info -------------------------------------------------------------

void TForm_main::Btn_S_Clear_InfoClick() {
  ClearLabels({&LB_S_FwVer, &LB_S_SID, &LB_S_DID, &LB_S_Country, &LB_S_Ch, &LB_S_Sf, &LB_S_Encrypt,
               &LB_S_Ptype, &LB_S_Baudrate, &LB_S_Parity, &LB_S_Databit, &LB_S_Stopbit, &LB_S_Hf});
}

void TForm_main::Btn_R_Clear_InfoClick() {
  ClearLabels({&LB_R_FwVer, &LB_R_SID, &LB_R_Country, &LB_R_Ch, &LB_R_Sf, &LB_R_Mode, &LB_R_Rid1,
               &LB_R_Rid2});
}

void TForm_main::Btn_I_Clear_InfoClick() {
  ClearLabels({&LB_I_FwVer, &LB_I_SID, &LB_I_Ch, &LB_I_Sf, &LB_I_Band, &LB_I_Encrypt, &LB_I_Ptype,
               &LB_I_DID, &LB_I_Baudrate, &LB_I_Parity, &LB_I_Databit, &LB_I_Stopbit, &LB_I_Hf});
}

// ---- Trace menu -------------------------------------------------------------

void TForm_main::ViewLogTrace1Click() {
  const bool show = !ViewLogTrace1.Checked();
  ShowTrace(show);
  ViewLogTrace = show ? "1" : "0";
}

void TForm_main::SaveLogFile1Click() {
  const bool on = !SaveLogFile1.Checked();
  SaveLogFile1.SetChecked(on);
  SaveLogTrace = on ? "1" : "0";
  // Switched on anew, the log is tried anew and its fault told anew.
  if (on) log_fault_said_ = false;
}

void TForm_main::ClearTrace1Click() {
  trace_.Clear();
}

}  // namespace velimo::forms
