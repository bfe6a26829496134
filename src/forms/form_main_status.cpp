// The status query with its response watchdog and the delayed encryption
// query, and the encryption query itself.
#include "forms/form_main.h"
#include "protocol/catalogue.h"

namespace velimo::forms {

using protocol::CommandId;

protocol::Link TForm_main::SendLink() {
  protocol::Link link{
      &Port(), &platform_,
      [this](std::string_view m, trace::TraceSecret secret) { LogWriteStr(m, secret); },
      [this] { RestartApplication(); }};
  link.received = [this](std::string_view line) { trace_.AddReceivedLine(line); };
  link.lines = &rx_lines_;
  link.wire = &wire_;
  // A sequence of commands stops at the first step that finds the device
  // gone: each further step would only show the same error again.
  link.port_gone = [this] {
    if (sequence_depth_ > 0) sequence_ended_ = true;
  };
  return link;
}

void TForm_main::Btn_S_CurrentStatusClick() {
  // This query is the one a Serial page opening was waiting to send.
  Timer_RS485Answer.SetEnabled(false);
  ForgetReportedFamily();
  protocol::SendOptions options;
  options.follow_up = [this] {
    ResponseFlag = 0;
    // Enabling a running watchdog keeps its period: a query sent just
    // before the next tick is judged at that tick.
    Timer_ConnectionResponse.SetEnabled(true);
    if (PageControl1.ActivePageIndex() == kPageSLoRa) Timer_AESQuery.SetEnabled(true);
  };
  // The row carries the announcement and the lost-connection variant.
  protocol::SendCommand(SendLink(), protocol::Entry(CommandId::StatusQuery), "", options);
}

void TForm_main::Btn_S_GetAESClick() {
  protocol::SendCommand(SendLink(), protocol::Entry(CommandId::GetAES), "");
}

void TForm_main::Timer_ConnectionResponseTimer() {
  if (ResponseFlag != 0) return;
  Timer_ConnectionResponse.SetEnabled(false);
  // The modem has not answered: while the operator reads the box, the
  // status bar no longer claims a connection.
  StatusBar1.SetPanelText(1, "No answer on [" + ComPortEnvBoard.Port() + "]");
  platform_.ShowMessage("ERROR! Please check your serial port status.");
  // The adapter may have been pulled while the box was open: the box's
  // disconnect lets go of the link, not of the wait for the adapter.
  const bool awaiting = Adapter.Awaiting();
  Disconnect1Click();
  // It may be back already; its events came while the boxes were open.
  if (awaiting) Adapter.KeepAwaiting();
}

void TForm_main::Timer_AESQueryTimer() {
  // Stopped before the query: should the query show a message box, whose
  // event loop serves timers, the timer cannot tick a second time.
  Timer_AESQuery.SetEnabled(false);
  Btn_S_GetAESClick();
}

void TForm_main::AwaitRs485AnswerThenQueryStatus() {
  // A running wait keeps its deadline: the bound counts from the first
  // query the modem has not answered yet.
  Timer_RS485Answer.SetEnabled(true);
}

void TForm_main::Rs485AnswerEnded() {
  if (!StatusQueryAwaitingRs485()) return;
  Timer_RS485Answer.SetEnabled(false);
  if (Port().Connected()) Btn_S_CurrentStatusClick();
}

void TForm_main::Timer_RS485AnswerTimer() {
  // No complete answer in time (a silent modem, one that refused the
  // query): the status query goes out all the same.
  Timer_RS485Answer.SetEnabled(false);
  if (Port().Connected()) Btn_S_CurrentStatusClick();
}

}  // namespace velimo::forms
