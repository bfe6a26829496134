// Connect to a network port: the lookup, the connection and the server's
// agreement run on a thread of their own, since a mistyped or unreachable
// host takes seconds to say so and the window must stay live meanwhile.
// The end is signalled on a descriptor the platform watches; the open port
// is then taken on the user-interface thread, where the port's line
// settings, its event thread and the status query follow as for a local
// port.
#include <system_error>

#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "serial/com_port.h"
#include "serial/net/network_port.h"

namespace velimo::forms {

TForm_Connect::OpenJob::OpenJob() {
  try {
    done_fd = CreateWakeEvent();
  } catch (const std::system_error&) {
    // Without one the open is not started on a thread (StartNetworkOpen).
  }
}

TForm_Connect::OpenJob::~OpenJob() {
  // Every wait of the open watches the token: the thread ends within a
  // moment, closing its connection; a port it opened meanwhile is closed
  // with `opened`.
  cancel.Cancel();
  if (thread.joinable()) thread.join();
  if (done_fd != kNoWaitable) DestroyWakeEvent(done_fd);
}

bool TForm_Connect::StartNetworkOpen() {
  auto job = std::make_unique<OpenJob>();
  if (job->done_fd == kNoWaitable) return false;
  OpenJob* raw = job.get();
  auto watch = main_.platform().WatchReadable(raw->done_fd, [this] { FinishConnect(); });
  // A platform that watches nothing could not be told of the end.
  if (!watch) return false;
  raw->thread = std::thread([raw, name = main_.ComPortEnvBoard.Port(), limits = NetworkLimits] {
    try {
      raw->opened = serial::net::OpenNetworkTransport(name, raw->cancel, limits);
    } catch (...) {
      raw->failure = std::current_exception();
    }
    SignalWakeEvent(raw->done_fd);
  });
  open_ = std::move(job);
  open_watch_ = std::move(watch);
  ShowConnecting(true);
  return true;
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
  open_watch_.reset();
  open_.reset();  // ends the open and closes what it had opened
  ShowConnecting(false);
}

void TForm_Connect::FinishConnect() {
  if (!open_) return;
  open_watch_.reset();
  open_->thread.join();
  const std::unique_ptr<OpenJob> job = std::move(open_);
  ShowConnecting(false);
  try {
    if (job->failure) std::rethrow_exception(job->failure);
    main_.ComPortEnvBoard.OpenPort(std::move(job->opened));
  } catch (const std::exception& e) {
    ConnectRefused(e);
    return;
  }
  ConnectSucceeded();
}

}  // namespace velimo::forms
