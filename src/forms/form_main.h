// TForm_main, the main window as a form model: every control of its eight
// pages, menus, left column and status bar (declared in pages/), the
// window-level state, and every handler under its own name.
//
// The controls are inherited from the page structs, so `form.Edit_S_Did`
// names the control and handlers read and write it as the window's own.
// Handlers are grouped below by topic; each topic binds its handlers to the
// controls' OnClick/OnChange in its own Bind... function, all four run by
// the constructor.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/adapter_watch.h"
#include "forms/controls/controls.h"
#include "forms/controls/layout.h"
#include "forms/controls/timer.h"
#include "forms/form_connect.h"
#include "forms/form_info.h"
#include "forms/pages/i_info_page.h"
#include "forms/pages/i_lora_page.h"
#include "forms/pages/i_serial_page.h"
#include "forms/pages/main_frame.h"
#include "forms/pages/r_info_page.h"
#include "forms/pages/r_lora_page.h"
#include "forms/pages/s_info_page.h"
#include "forms/pages/s_lora_page.h"
#include "forms/pages/s_serial_page.h"
#include "protocol/catalogue.h"
#include "protocol/line_assembler.h"
#include "protocol/save_steps.h"
#include "protocol/transmitter.h"
#include "scan/port_scan.h"
#include "scan/report_lines.h"
#include "serial/byte_channel.h"
#include "serial/com_port.h"
#include "serial/com_types.h"
#include "serial/device_events.h"
#include "serial/port_identity.h"
#include "settings/settings.h"
#include "trace/trace_log.h"
#include "util/background_work.h"
#include "util/platform.h"
#include "util/waitable.h"

namespace velimo::forms {

// The answer to a close of the window while a profile is being applied.
inline constexpr std::string_view kMsgCloseDuringApply =
    "A profile is being applied. Press Cancel in the Profile window to stop it before its next "
    "line, or wait for it to end; then close the window.";

// The link's line settings as the settings file gives them at start-up,
// held here until the port component takes them over.
struct PortLineSettings {
  std::string ComPort = "COM1";
  serial::TBaudRate BaudRate = serial::br9600;
  int32_t CustomBaudRate = 0;  // the rate when BaudRate is brCustom
  serial::TDataBits DataBits = serial::dbEight;
  serial::TStopBits StopBits = serial::sbOneStopBit;
  serial::TParityBits Parity = serial::prNone;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// How one tab of PageControl1 is drawn. The text is always written in the
// button-text system colour.
struct TabDrawing {
  std::string text;         // the page's caption
  bool system_face = true;  // fill with the button-face system colour ...
  Rgb brush;                // ... or with this colour
  bool outlined = false;    // the rectangle drawn with an outline
  int text_dx = 4;          // the text's offset from the rectangle's top-left
  int text_dy = 3;
};

class TForm_main : public SInfoPage,
                   public SLoRaPage,
                   public SSerialPage,
                   public RInfoPage,
                   public RLoRaPage,
                   public IInfoPage,
                   public ILoRaPage,
                   public ISerialPage,
                   public MainFrame {
 public:
  // Declares every control, binds every handler and runs FormCreate.
  explicit TForm_main(Platform& platform);
  ~TForm_main();
  TForm_main(const TForm_main&) = delete;
  TForm_main& operator=(const TForm_main&) = delete;

  Platform& platform() { return platform_; }

  // ---- Declarations, for the view and the tools -------------------------

  // The eight pages, in page index order.
  const std::vector<LayoutNode>& Pages() const { return pages_; }
  // The window around them: left column, page strip (its pages are the
  // nodes of Pages()), the two buttons over it, status bar, trace pane.
  const LayoutNode& FrameLayout() const { return frame_; }
  // MainMenu1: one node per top-level menu, its items as children.
  const LayoutNode& MenuLayout() const { return menu_; }
  // Every control: window, frame, menus, then the pages in order.
  std::vector<Control*> AllControls() const;
  // A control by its name, or nullptr. For tools; handlers use the members.
  Control* FindControl(std::string_view name) const;
  // Tells the view of every change of every control.
  void SetObserver(ControlObserver* observer);

  // ---- The byte channel ---------------------------------------------------

  // What every send writes to: the window's port ComPortEnvBoard, or the
  // channel a test has set in its place.
  serial::ByteChannel& Port();
  void SetPort(serial::ByteChannel* port) { port_ = port; }

  // ---- Trace --------------------------------------------------------------

  // Adds a trace line ("[HH:NN:SS]  " + message) to the pane, and to the
  // log file while "Save Log File" is checked; secret is the part of the
  // message that is a key or IV value, which the file gets masked. A line
  // the file cannot take raises nothing: the operator is told "The trace
  // log cannot be written (<reason>): <file>" once until the log is
  // switched on again, and the caller's work goes on.
  void LogWriteStr(std::string_view message, trace::TraceSecret secret = {});
  trace::TraceLog& Trace() { return trace_; }

  // ---- Focus --------------------------------------------------------------

  Control* ActiveControl() const { return Window.ActiveControl(); }
  // Moves the input focus (the view follows the window's Focus change).
  void SetActiveControl(Control& control);

  // ---- Timers -------------------------------------------------------------

  // Response watchdog, armed by the status query.
  TTimer Timer_ConnectionResponse{"Timer_ConnectionResponse", 5000};
  // Delay before the encryption-key query.
  TTimer Timer_AESQuery{"Timer_AESQuery", 1000};
  // The longest wait for the RS-485 answer before the status query that
  // follows it goes out (ioTavi Serial page).
  static constexpr int kRs485AnswerWaitMs = 300;
  TTimer Timer_RS485Answer{"Timer_RS485Answer", kRs485AnswerWaitMs};

  // ---- Window-level state -------------------------------------------------

  // "s", "u", "r" or "i"; anything else selects no model. The check marks
  // of sTavi1 ... ioTavi1 route the received lines.
  std::string ModelCode;
  // How a refusal names the model chosen: the window's menu, or the
  // option of a command line that drives this window.
  std::string ChosenModelWord = "the chosen model";
  // Clicks on the [Device] headers toward the administrator toggle.
  int32_t AdminClicks_S = 0;
  int32_t AdminClicks_R = 0;
  // 1 once the answer to the last status query has been recognised.
  int32_t ResponseFlag = 0;
  // Serial line errors seen, for the error trace line.
  int32_t PortErrorCount = 0;
  // The trace options as the settings file holds them: "1" on, else off.
  std::string SaveLogTrace = "0";
  std::string ViewTraceMenu = "0";
  std::string ViewLogTrace = "0";
  // The link's line settings loaded at activation.
  PortLineSettings ComPortSettings;
  // The main window's size as the operator left it (0: never resized, the
  // declared size). The view keeps them current; the settings file keeps
  // them between runs.
  int WindowWidth = 0;
  int WindowHeight = 0;
  // Where the settings are read from.
  std::string SettingsPath = settings::kSettingsFileName;

  // ==== Window, model selection, navigation, presentation ==================

  // Header clicks that toggle an administrator group.
  static constexpr int kAdminClickCount = 5;

  void FormCreate();
  // Runs once: later activations of the window do nothing.
  void FormActivate();
  bool Activated() const { return activated_; }
  // Fills the model code, the trace options and the port's line settings
  // from the settings file. A file that is refused (another user's, or far
  // larger than any settings file) is said once, the defaults stand, and
  // it is left as it is when the window closes.
  void LoadSettingsFile();

  void sTavi1Click();
  void uTavi1Click();
  void rTavi1Click();
  void ioTavi1Click();

  void Btn_Left_InfoClick();
  void Btn_Left_LoRaClick();
  void Btn_Left_SerialClick();

  void Panel_Device_head_SClick();  // also the click of Panel12
  void Panel_Device_head_RClick();

  // The drawing of one tab; the view paints it.
  TabDrawing PageControl1DrawTab(int tabIndex, bool active) const;

  // After the port has opened / closed: menus, left column, groups, panels
  // and buttons for the checked model. Neither sends or shows anything.
  void ApplyConnectedPresentation();
  // The input focus to the first editor, list or check box the operator
  // can use on the page shown; on a page without one (an Info page), to
  // its " Load" button.
  void FocusShownPage();
  void ApplyDisconnectedPresentation();

  void Btn_S_Clear_InfoClick();
  void Btn_R_Clear_InfoClick();
  void Btn_I_Clear_InfoClick();

  void ViewLogTrace1Click();
  void SaveLogFile1Click();
  void ClearTrace1Click();

  // ==== Receive path, response parsers, status query and timers ============

  // The port's receive event: reads the Count waiting bytes (in passes of
  // at most 8192) and hands each complete line, echoed into the trace pane
  // first, to the parser of the checked model item.
  void ComPortEnvBoardRxChar(int Count);
  // The partial line held between receive events.
  const protocol::LineAssembler& RxLines() const { return rx_lines_; }
  // The owner of writing to the port: every line of this window goes out
  // through it, whole and one at a time.
  protocol::Wire& Wire() { return wire_; }
  // How many values a Save's check has refused so far: a script's step that
  // raised it failed.
  int ValuesRefused() const { return values_refused_; }
  // Told of every response line after its parser has read it; empty when
  // nobody listens (a profile read watches here for the end of a report).
  std::function<void(std::string_view)> OnResponseLine;

  // The status query "AT&V": clears the response flag, arms the watchdog
  // (a running one keeps its period) and, on page 1, the AES timer. A port
  // failure restarts the application.
  void Btn_S_CurrentStatusClick();
  // The encryption-key query "AT&E" (both query buttons).
  void Btn_S_GetAESClick();
  // Watchdog tick: without a recognised answer since the last status
  // query, "ERROR! Please check your serial port status." and disconnect.
  void Timer_ConnectionResponseTimer();
  // AES timer tick: one "AT&E", then the timer stops.
  void Timer_AESQueryTimer();
  // The status query that opening the ioTavi Serial page sends after
  // "AT+485?": it waits for the end of the RS-485 answer (whose purge would
  // otherwise throw it away) or for Timer_RS485Answer, whichever comes
  // first. Any other status query sent meanwhile takes its place.
  void AwaitRs485AnswerThenQueryStatus();
  bool StatusQueryAwaitingRs485() const { return Timer_RS485Answer.Enabled(); }
  void Timer_RS485AnswerTimer();

  // The family the lines since the last status query (and since the link
  // opened) show, as the scan tells it; Unknown while no line has told it.
  // A status query sent starts it afresh.
  scan::Family ReportedFamily() const { return reported_family_.Which(); }
  void ForgetReportedFamily() { reported_family_ = {}; }
  // "the modem reports itself as an rTavi; <ChosenModelWord> is for sTavi"
  // when the last report shows another family than the checked model item
  // (sTavi and uTavi are one); empty while it shows none or the same.
  std::string FamilyMismatch() const;

  // What SendCommandLine needs of this window: its port, the platform, its
  // trace and its restart. Every single save sends through it, e.g.
  // protocol::SendCommand(SendLink(), protocol::Entry(CommandId::S_CH), value).
  protocol::Link SendLink();

 private:
  // Dispatch of one response line by the checked model item.
  void DispatchResponseLine(std::string_view line);
  // The response parsers; each never raises.
  void ParseResponse_S(std::string_view line);
  void ParseResponse_R(std::string_view line);
  void ParseResponse_I(std::string_view line);
  void RefreshChannelLists_S();
  void RefreshChannelLists_R();
  void RefreshChannelLists_I();
  // Their row actions (form_main_parse_*.cpp).
  struct ParserS;
  struct ParserR;
  struct ParserI;
  // Set by the ioTavi parser when it has read the last line of the RS-485
  // answer; taken up once the parser is done with the line.
  bool rs485_answer_read_ = false;
  void Rs485AnswerEnded();
  protocol::LineAssembler rx_lines_{[this](std::string_view line) { DispatchResponseLine(line); }};
  protocol::Wire wire_;
  scan::ReportReader reported_family_;

 public:
  // ==== Setting editors, save-alls, encryption, maintenance ================
  //
  // Every Save button's action, run by its button or as a step of a
  // save-all. A numeric single save tests its editor (empty, lower bound,
  // upper bound), refuses with its message and after-refusal step, or sends
  // its one line. A text that is not a whole number raises EConvertError
  // ("'x' is not a valid integer value") out of the single save, for the
  // default error report of whoever ran the handler.

  // sTavi/uTavi LoRa page.
  void Btn_S_Save_SidClick();
  void Btn_S_Save_DidClick();
  void Btn_S_Save_DtnClick();
  void Btn_S_Save_DentClick();
  // The one action of the three port-identifier buttons: the port digit is
  // the pressed button's hint ("1", "2", "3"); only that port's editor is
  // tested.
  void Btn_S_Save_MPIDClick(const Control& Sender);
  void Btn_S_Save_CountryClick();
  void Btn_S_Save_CHClick();
  void Btn_S_Save_SFClick();
  void Btn_S_Save_FreqClick();
  // sTavi/uTavi serial page.
  void Btn_S_Save_PtypeClick();
  void Btn_S_Save_PTPClick();
  void Btn_S_Save_Ptype_PtpClick();
  // The three link settings: the serial save-all first, 200 ms, the line,
  // then "Please set COM again and reconnect." and the disconnect.
  void Btn_S_Save_BaudrateClick();
  void Btn_S_Save_PABClick();
  void Btn_S_Save_HFClick();
  void Btn_S_Save_DMTClick();
  void Btn_S_Save_DMSClick();
  void Btn_S_Save_STXLClick();
  void Btn_S_Save_ETXLClick();
  void Btn_S_Save_STXClick();
  void Btn_S_Save_ETXClick();
  // rTavi LoRa page.
  void Btn_R_Save_SidClick();
  void Btn_R_Save_ModeClick();
  void Btn_R_Save_Rid1Click();
  void Btn_R_Save_Rid2Click();
  void Btn_R_Save_CountryClick();
  void Btn_R_Save_CHClick();
  void Btn_R_Save_SFClick();
  void Btn_R_Save_FreqClick();
  // ioTavi LoRa page.
  void Btn_I_Save_SidClick();
  void Btn_I_Save_CHClick();
  void Btn_I_Save_SFClick();
  void Btn_I_Save_BandClick();
  // ioTavi serial page, RS-232 side. Baud rate, parity and flow control
  // end with "Please set COM again and reconnect."; the link stays open.
  void Btn_I_Save_PtypeClick();
  void Btn_I_Save_DidClick();
  void Btn_I_Save_Ptype_DidClick();
  void Btn_I_Save_BaudrateClick();
  void Btn_I_Save_PABClick();
  void Btn_I_Save_HFClick();
  void Btn_I_Save_DMTClick();
  void Btn_I_Save_DMSClick();
  void Btn_I_Save_STXLClick();
  void Btn_I_Save_ETXLClick();
  void Btn_I_Save_STXClick();
  void Btn_I_Save_ETXClick();
  // ioTavi serial page, RS-485 side.
  void Edit_I_Get_Info_485Click();
  // "AT+485?", with what became of it.
  protocol::SendResult SendRs485Query();
  void Btn_I_Save_Ptype_485Click();
  void Btn_I_Save_Did_485Click();
  void Btn_I_Save_Ptype_Did_485Click();
  void Btn_I_Save_Baudrate_485Click();
  void Btn_I_Save_PAB_485Click();
  void Btn_I_Save_DMT_485Click();
  void Btn_I_Save_DMS_485Click();
  void Btn_I_Save_STXL_485Click();
  void Btn_I_Save_ETXL_485Click();
  void Btn_I_Save_STX_485Click();
  // Sent only by the RS-485 save-all; its button has no action.
  void Btn_I_Save_ETX_485Click();

  // Length lists: the hex editors' panel is shown for 1 to 3, hidden for 0.
  void Edit_S_STXLenChange();
  void Edit_S_ETXLenChange();
  void Edit_I_STXLenChange();
  void Edit_I_ETXLenChange();
  void Edit_I_STXLen_485Change();
  void Edit_I_ETXLen_485Change();
  // "2. Relay" shows the relay identifiers, "1. Repeat" hides them.
  void Edit_R_ModeChange();

  // Save-all sequences: single saves in a fixed order with fixed pauses,
  // going on after a step that failed or was refused. A value that cannot
  // be converted raises out of the whole sequence (nothing after it is
  // sent), and a step that finds the device gone ends it. The window shows
  // itself busy for the sequence's length.
  void Btn_S_SaveAll_LoRaPageClick();
  void Btn_S_LoRa_SaveAllClick();
  void Btn_S_Serial_SaveAllClick();
  void Btn_R_SaveAll_LoRaPageClick();
  void Btn_R_Device_SaveAllClick();
  void Btn_R_LoRa_SaveAllClick();
  void Btn_I_LoRa_SaveAllClick();
  void Btn_I_Serial_SaveAllClick();
  void Btn_I_Serial_SaveAll_485Click();

  // Encryption. The S list change also asks for the key ("AT&E").
  void Edit_S_EnChange();
  void Edit_I_EnChange();
  void CB_S_Show_KeyClick();
  void CB_S_Show_IVClick();
  void CB_I_Show_KeyClick();
  void CB_I_Show_IVClick();
  void Btn_S_Save_EnClick();
  void Btn_I_Save_EnClick();
  // The S key and IV actions test nothing; the I ones want 16 characters.
  void Btn_S_Save_AESKEYClick();
  void Btn_S_Save_AESIVClick();
  void Btn_I_Save_AESKEYClick();
  void Btn_I_Save_AESIVClick();
  // S: the switch always, key and IV only when "ON" and both hold 16
  // characters. I: nothing at all unless both hold 16 characters.
  void Btn_S_AES_SaveAllClick();
  void Btn_I_AES_SaveAllClick();

  // Maintenance. The resets ask first; only No stops them.
  void Btn_SystemResetClick();
  void reboot1Click();
  void Btn_FactoryResetClick();
  void Btn_I_ATModeOnClick();
  void Btn_I_ATModeOffClick();

  // Keyboard filters, asked by the view for every typed character before
  // it reaches the editor; a refused key is set to 0 after the message.
  // Numeric editors: digits, Backspace and Space.
  void Edit_IP1KeyPress(char& Key);
  // STX/ETX hex editors: digits, "a" to "f", "A" to "F", Backspace.
  void Edit_S_STX1KeyPress(char& Key);
  // The key-down of the numeric editors: Space (kVkSpace) moves the focus
  // to the next usable control of the page, as Tab does, and is consumed
  // (Key set to 0).
  static constexpr int kVkSpace = 0x20;
  void Edit_IP1KeyDown(Control& Sender, int& Key);

 private:
  // What a numeric single save does after refusing a value.
  struct AfterRefusal {
    enum Kind { Nothing, Restore, Focus } kind = Nothing;
    TEdit* copy = nullptr;  // Restore: the hidden copy to take the text from
  };
  // The single save of a setting as its catalogue row and the controls
  // its page binds to the row say (the calibration and the three link
  // settings have actions of their own).
  void SaveSetting(protocol::CommandId id);
  void SaveTyped(protocol::CommandId id, TEdit& edit, AfterRefusal after, bool emptyTest = true);
  void SaveList(protocol::CommandId id, const TComboBox& list, protocol::SendOptions options = {});
  void SaveHexList(protocol::CommandId id, TComboBox& length, TEdit& v1, TEdit& v2, TEdit& v3);
  void SaveCalibration(protocol::CommandId id, const TComboBox& sign, TEdit& amount);
  void SaveAesText(protocol::CommandId id, TEdit& edit);
  // The serial-page link settings: on the S page with the whole serial
  // save-all before and the disconnect after.
  void SaveLinkSetting_S(protocol::CommandId id, const TComboBox& list);
  void SaveLinkSetting_I(protocol::CommandId id, const TComboBox& list);
  // A save-all or combined button: its steps as the sequence's table
  // gives them (protocol/save_steps.h).
  void RunSequence(protocol::Sequence sequence);
  bool StepRuns(const protocol::SaveStep& step) const;
  // Whether a save may write: always inside a sequence (its start was
  // asked), otherwise unless the last report shows another family than the
  // checked model item; then the operator is told why and nothing is sent.
  bool SaveMayWrite();
  // One paced sequence of commands (a save-all, a combined button) in
  // progress, nested ones included. The outermost shows the platform busy
  // for its lifetime, however it is left; a step that finds the device
  // gone ends it and every sequence around it.
  class SequenceRun {
   public:
    explicit SequenceRun(TForm_main& form);
    ~SequenceRun();
    SequenceRun(const SequenceRun&) = delete;
    SequenceRun& operator=(const SequenceRun&) = delete;
    // False once a step has found the device gone or refused its value.
    bool Going() const { return !form_.sequence_ended_; }

   private:
    TForm_main& form_;
    std::unique_ptr<BusyScope> busy_;
  };
  int sequence_depth_ = 0;
  bool sequence_ended_ = false;
  // Tells the operator why a value is not sent, and ends a running save-all.
  void RefuseValue(std::string_view message);
  int values_refused_ = 0;
  void ShowFramePanel(const TComboBox& length, TPanel& panel);
  // The number an STX/ETX length list shows; -1 without a selection.
  static int FrameLength(const TComboBox& length);
  bool FirmwareHasEncryption_S() const;

 public:
  // ==== Connection lifecycle, start-up and shutdown ========================

  // The window's one serial port. Port() hands it out unless a test channel
  // has been set with SetPort; connecting always works on this port.
  serial::TComPort ComPortEnvBoard;
  // The connect dialog and the About window, made by the application at
  // start-up; the Show... operations make them when they are missing.
  TForm_Connect* Form_Connect = nullptr;
  TForm_Info* Form_Info = nullptr;
  // Where the connect dialog gets the system's serial ports from.
  PortLister PortList;
  // The shipped About picture, for an About window made on demand.
  std::string AboutPicturePath;
  // Where sysfs, /dev and /proc are read (tests point them at a tree of
  // their own).
  serial::SystemRoots SystemRoots;
  // The adapter of the connection, waited for when it is pulled out and
  // connected again when it comes back.
  AdapterWatch Adapter;
  // The identity the pages show now.
  ModemIdentity IdentityOnPages() const;
  // A modal box or dialog is open: a removed adapter is not reconnected
  // behind it.
  bool ModalOpen() const;
  // Starts following device events (plug, unplug); run at start-up.
  void StartDeviceWatch();
  // The port hung up: the adapter was pulled out while connected.
  void ComPortEnvBoardHangUp();

  // Menu "Connection" / "Connect": the connect dialog, modally.
  void ConnectN1Click();
  void ShowConnectDialog();
  // Menu "Help" / "About": the About window, modally.
  void About1Click();
  void ShowAboutWindow();
  // Menu "Connection" / "Disconnect"; also the watchdog, the editors that
  // change the modem's link settings, and the factory reset.
  void Disconnect1Click();
  // The port's line-error notification: one trace line, queues purged.
  void ComPortEnvBoardError(serial::TComErrors errors);
  // Starts the program anew and ends this run without FormClose, so the
  // settings file keeps what it held.
  void RestartApplication();
  bool RestartRequested() const { return restart_requested_; }
  // The port takes over the line settings loaded from the settings file.
  void ApplyPortLineSettings();
  // The settings writer: the nine keys, the port's values as they are now.
  // Raises velimo::Exception "Unable to write to " + file name.
  void SaveSettingsFile();
  // The window is being closed by the operator: writes the settings. A
  // failed write goes to the default error report and the window stays
  // open; returns whether it may close. While an operation owns the modem
  // the operator is told so, and the window stays open.
  bool FormClose();

  // An operation owns the modem (a profile apply on a thread of its own):
  // every control that sends, or that would change what the modem's
  // answers are read as, is held (shown disabled, its clicks refused by
  // the view) until Release. The window itself stays live.
  void HoldSending(bool held);
  bool SendingHeld() const { return sending_held_; }
  // Whether the control is one HoldSending holds.
  bool Sends(const Control& control) const;
  // The window is being destroyed: closes the port. Runs once.
  void FormDestroy();

 private:
  // Each binds its topic's handlers to the controls' events.
  void BindSelection();
  void BindReceive();
  void BindEditors();
  void BindConnection();

  // Window, model selection, navigation, presentation.
  struct ModelRow;
  void SelectModel(const ModelRow& row);
  void SetLeftGlyphs(int info, int lora, int serial);
  void ToggleAdmin(TPanel& admin, TEdit& sid, TButton& saveSid, Control& country,
                   TButton& saveCountry);
  void ShowTrace(bool show);
  int InfoPageOfModel() const;

  Platform& platform_;
  serial::ByteChannel* port_ = nullptr;
  trace::TraceLog trace_;
  std::vector<LayoutNode> pages_;
  LayoutNode frame_;
  LayoutNode menu_;
  bool activated_ = false;
  bool settings_ignored_ = false;
  // The log's fault was told since "Save Log File" was last switched on.
  bool log_fault_said_ = false;
  // Connection lifecycle, start-up and shutdown.
  bool restart_requested_ = false;
  bool destroyed_ = false;
  bool sending_held_ = false;
  std::unique_ptr<TForm_Connect> own_connect_;
  std::unique_ptr<TForm_Info> own_info_;
  AdapterWatch::Calls AdapterCalls();
  // The adapter is back and open: the window as a fresh connect leaves it.
  void AdapterReconnected(const std::string& port);
};

}  // namespace velimo::forms
