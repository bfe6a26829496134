// Connect to a network port: the lookup, the connection and the server's
// agreement run in the background, since a mistyped or unreachable host
// takes seconds to say so and the window must stay live meanwhile. The
// open port is then taken on the user-interface thread, where the port's
// line settings, its event thread and the status query follow as for a
// local port.
#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "serial/com_port.h"
#include "serial/net/network_port.h"

namespace velimo::forms {

void TForm_Connect::StartNetworkOpen() {
  open_ = std::make_unique<Background<Opened>>(main_.platform());
  ShowConnecting(true);
  // Every wait of the open watches the job's token: a cancel ends it
  // within a moment, closing its connection.
  open_->Start(
      [name = main_.ComPortEnvBoard.Port(),
       limits = NetworkLimits](Background<Opened>::Worker& worker) {
        Opened opened;
        try {
          opened.port = serial::net::OpenNetworkTransport(name, worker.Token(), limits);
        } catch (...) {
          opened.failure = std::current_exception();
        }
        return opened;
      },
      [this](Opened opened) { NetworkOpenEnded(std::move(opened)); });
}

void TForm_Connect::ShowConnecting(bool busy) {
  // The choices stay as they are while they are being tried; Cancel is
  // the one way on.
  for (Control* c : std::initializer_list<Control*>{&CB_ComPort, &Edit_Baudrate, &Edit_PAB,
                                                    &Edit_FlowCtrl, &Btn_FindModem, &Btn_Connect})
    c->SetEnabled(!busy);
  SayStatus(busy ? "Connecting to " + main_.ComPortEnvBoard.Port() + "..." : "");
  if (OnConnecting) OnConnecting(busy);
}

void TForm_Connect::CancelConnect() {
  if (!open_) return;
  open_.reset();  // ends the open and closes what it had opened
  ShowConnecting(false);
}

void TForm_Connect::NetworkOpenEnded(Opened opened) {
  open_.reset();
  ShowConnecting(false);
  try {
    if (opened.failure) std::rethrow_exception(opened.failure);
    main_.ComPortEnvBoard.OpenPort(std::move(opened.port));
  } catch (const std::exception& e) {
    ConnectRefused(e);
    return;
  }
  ConnectSucceeded();
}

}  // namespace velimo::forms
