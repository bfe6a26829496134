// The status query with its response watchdog and the delayed encryption
// query, and the encryption query itself.
#include "protocol/catalogue.h"
#include "ui/form_main.h"

namespace velimo::ui {

using protocol::CommandId;

protocol::Link TForm_main::SendLink() {
  return protocol::Link{
      &Port(), &platform_,
      [this](std::string_view m, trace::TraceSecret secret) { LogWriteStr(m, secret); },
      [this] { RestartApplication(); }};
}

void TForm_main::Btn_S_CurrentStatusClick() {
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
  platform_.ShowMessage("ERROR! Please check your serial port status.");
  Disconnect1Click();
}

void TForm_main::Timer_AESQueryTimer() {
  // Stopped before the query: should the query show a message box, whose
  // event loop serves timers, the timer cannot tick a second time.
  Timer_AESQuery.SetEnabled(false);
  Btn_S_GetAESClick();
}

}  // namespace velimo::ui
