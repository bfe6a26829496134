#include "forms/modem_session.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "forms/setting_controls.h"
#include "serial/net/port_address.h"
#include "util/positions.h"

namespace velimo::forms {

namespace {

using protocol::CommandId;

// The line each answer ends with, as the modem sends its reports. A modem
// that orders its report otherwise is still read: the answer then counts as
// complete once the line has been quiet for a while.
bool StatusClosing(std::string_view line, char set) {
  switch (set) {
    case 'S':
      return BeginsWithAt(line, "Stop Bit");
    case 'R':
      return BeginsWithAt(line, "Relay ID 2", 8);
    case 'I':
      return BeginsWithAt(line, "ETX Length");
  }
  return false;
}

bool EncryptionClosing(std::string_view line, char set) {
  return BeginsWithAt(line, set == 'I' ? "AESIV" : "AES IV");
}

bool Rs485Closing(std::string_view line, char) {
  return BeginsWithAt(line, "ETX Length", 2);
}

// The window's own port, set up as the connect dialog sets it up.
class FormLineSwitch : public LineSwitch {
 public:
  explicit FormLineSwitch(TForm_main& form) : form_(form) {}

  LineSettings Current() const override {
    const serial::TComPort& port = form_.ComPortEnvBoard;
    LineSettings line;
    line.baud = port.EffectiveBaudRate();
    const serial::TParityBits p = port.Parity().Bits();
    line.parity = p == serial::prOdd ? 1 : p == serial::prEven ? 2 : 0;
    line.rtscts = port.FlowControl().FlowControl() == serial::fcHardware;
    return line;
  }

  bool Reopen(const LineSettings& line) override {
    serial::TComPort& port = form_.ComPortEnvBoard;
    try {
      port.ClosePort();
      TForm_Connect::SetPortRate(port, line.baud);
      const serial::TParityBits parity[] = {serial::prNone, serial::prOdd, serial::prEven};
      port.Parity().SetBits(parity[line.parity < 0 || line.parity > 2 ? 0 : line.parity]);
      port.FlowControl().SetFlowControl(line.rtscts ? serial::fcHardware : serial::fcNone);
      port.FlowControl().SetControlDTR(serial::dtrEnable);
      port.OpenPort();
    } catch (const std::exception&) {
      if (port.Connected()) port.ClosePort();
      return false;
    }
    return port.Connected();
  }

  void Close() override {
    try {
      form_.ComPortEnvBoard.ClosePort();
    } catch (const std::exception&) {
    }
  }

 private:
  TForm_main& form_;
};

// The platform as a worker thread of an operation sees it: its pauses
// block the worker alone (a platform's Pause may be called on any thread);
// boxes, timers and the clock are the window's.
class WorkerPlatform : public Platform {
 public:
  WorkerPlatform(Platform& owner, OwnerCalls& calls) : owner_(owner), calls_(calls) {}
  void ShowMessage(std::string_view text) override {
    calls_.Call([&] { owner_.ShowMessage(text); });
  }
  bool ModalOpen() const override {
    return calls_.CallFor([&] { return owner_.ModalOpen(); });
  }
  bool Confirm(std::string_view text) override {
    return calls_.CallFor([&] { return owner_.Confirm(text); });
  }
  void ShowError(std::string_view text) override {
    calls_.Call([&] { owner_.ShowError(text); });
  }
  void Pause(int ms) override { owner_.Pause(ms); }
  LocalDateTime Now() override {
    return calls_.CallFor([&] { return owner_.Now(); });
  }
  int64_t MonotonicMs() override {
    return calls_.CallFor([&] { return owner_.MonotonicMs(); });
  }
  void MoveFocus(std::string_view controlName) override {
    calls_.Call([&] { owner_.MoveFocus(controlName); });
  }
  std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override {
    return calls_.CallFor([&] { return owner_.CreateTimer(std::move(onTick)); });
  }
  std::unique_ptr<PlatformWatch> WatchReadable(Waitable fd,
                                               std::function<void()> onReady) override {
    return calls_.CallFor([&] { return owner_.WatchReadable(fd, std::move(onReady)); });
  }
  void RestartApplication() override {
    calls_.Call([&] { owner_.RestartApplication(); });
  }
  void BeginBusy() override {
    calls_.Call([&] { owner_.BeginBusy(); });
  }
  void EndBusy() override {
    calls_.Call([&] { owner_.EndBusy(); });
  }

 private:
  Platform& owner_;
  OwnerCalls& calls_;
};

// The link switch as a worker sees it: the port is closed and opened on
// the window's thread, where its events are served.
class WorkerLine : public LineSwitch {
 public:
  WorkerLine(LineSwitch& owner, OwnerCalls& calls) : owner_(owner), calls_(calls) {}
  LineSettings Current() const override {
    return calls_.CallFor([&] { return owner_.Current(); });
  }
  bool Reopen(const LineSettings& line) override {
    return calls_.CallFor([&] { return owner_.Reopen(line); });
  }
  void Close() override {
    calls_.Call([&] { owner_.Close(); });
  }

 private:
  LineSwitch& owner_;
  OwnerCalls& calls_;
};

}  // namespace

std::string Describe(const LineSettings& line) {
  const auto parities = protocol::ListItems(protocol::ListId::Parity);
  return std::to_string(line.baud) + " baud, parity " +
         parities.at(static_cast<size_t>(std::clamp(line.parity, 0, 2))) + ", flow control " +
         (line.rtscts ? "RTS/CTS" : "OFF");
}

ModemSession::ModemSession(TForm_main& form, ServeUntil serveUntil, LineSwitch* line)
    : form_(form), serve_until_(std::move(serveUntil)), line_(line) {
  if (!line_) {
    own_line_ = std::make_unique<FormLineSwitch>(form_);
    line_ = own_line_.get();
  }
}

ModemSession::~ModemSession() {
  if (began_) End();
}

void ModemSession::SetWorkerCalls(OwnerCalls* calls) {
  calls_ = calls;
  worker_platform_.reset();
  worker_line_.reset();
  if (!calls_) return;
  worker_platform_ = std::make_unique<WorkerPlatform>(form_.platform(), *calls_);
  worker_line_ = std::make_unique<WorkerLine>(*line_, *calls_);
}

LineSwitch& ModemSession::Line() {
  return OnWorker() ? *worker_line_ : *line_;
}

char ModemSession::ChosenModel() const {
  return OnOwner([this]() -> char { return form_.ModelCode.empty() ? 0 : form_.ModelCode[0]; });
}

char ModemSession::PageSetCode() const {
  switch (ChosenModel()) {
    case 'r':
      return 'R';
    case 'i':
      return 'I';
    default:
      return 'S';
  }
}

bool ModemSession::Connected() {
  return OnOwner([this] { return form_.Port().Connected(); });
}

std::string ModemSession::PortName() const {
  return OnOwner([this] { return form_.ComPortEnvBoard.Port(); });
}

bool ModemSession::LineIsFixed() const {
  const serial::net::ParsedAddress address = serial::net::ParsePortAddress(PortName());
  return address.address && address.address->kind == serial::net::NetKind::kRawTcp;
}

Platform& ModemSession::platform() {
  return OnWorker() ? *worker_platform_ : form_.platform();
}

void ModemSession::Begin() {
  if (OnWorker()) return OnOwner([this] { Begin(); });
  if (began_) return;
  began_ = true;
  // The reads here wait for their own answers: the window's watchdog must
  // not judge them (and disconnect) halfway through a link change.
  watchdog_was_on_ = form_.Timer_ConnectionResponse.Enabled();
  form_.Timer_ConnectionResponse.SetEnabled(false);
  // Nor may the delayed key query go out in the middle of a report: its
  // send empties the receive queue.
  aes_query_was_on_ = form_.Timer_AESQuery.Enabled();
  form_.Timer_AESQuery.SetEnabled(false);
  flag_before_ = form_.ResponseFlag;
  last_ = {};
  form_.OnResponseLine = [this](std::string_view line) { OnLine(line); };
  // The operation's lines and pauses are one sequence: a parser row's own
  // query waits until it ends.
  form_.Wire().Hold();
}

void ModemSession::End() {
  if (OnWorker()) return OnOwner([this] { End(); });
  if (!began_) return;
  began_ = false;
  form_.OnResponseLine = nullptr;
  struct Release {
    protocol::Wire& wire;
    ~Release() { wire.Release(); }
  } release{form_.Wire()};
  form_.ResponseFlag = last_.status ? 1 : flag_before_;
  if (watchdog_was_on_ && form_.Port().Connected()) form_.Timer_ConnectionResponse.SetEnabled(true);
  if (aes_query_was_on_ && form_.Port().Connected()) form_.Timer_AESQuery.SetEnabled(true);
}

void ModemSession::OnLine(std::string_view line) {
  if (!closing_) return;
  ++lines_seen_;
  last_line_ms_ = form_.platform().MonotonicMs();
  if (status_asked_) family_.Feed(line);
  if (closing_(line, PageSetCode())) closing_seen_ = true;
}

bool ModemSession::Ask(CommandId id, bool (*closing)(std::string_view, char)) {
  const bool status = id == CommandId::StatusQuery;
  closing_ = closing;
  closing_seen_ = false;
  status_asked_ = status;
  lines_seen_ = 0;
  if (status) {
    form_.ResponseFlag = 0;
    form_.ForgetReportedFamily();
  }
  protocol::SendOptions options;
  options.holders_line = true;
  const protocol::SendResult sent =
      protocol::SendCommand(form_.SendLink(), protocol::Entry(id), std::string_view{}, options);
  bool answered = false;
  if (sent == protocol::SendResult::Sent) {
    Platform& platform = form_.platform();
    answered = serve_until_(
        [&] {
          if (!form_.Port().Connected()) return true;
          if (status && form_.ResponseFlag == 0) return false;
          if (closing_seen_) return true;
          return lines_seen_ > 0 && platform.MonotonicMs() - last_line_ms_ >= quiet_ms;
        },
        kAnswerLimitMs);
  }
  closing_ = nullptr;
  status_asked_ = false;
  return answered && form_.Port().Connected() && lines_seen_ > 0 &&
         (!status || form_.ResponseFlag != 0);
}

ReadAnswers ModemSession::Read(bool encryption, bool rs485) {
  if (OnWorker()) return OnOwner([&] { return Read(encryption, rs485); });
  last_ = {};
  family_ = {};
  read_mark_ = Control::SerialNow();
  last_.status = Ask(CommandId::StatusQuery, StatusClosing);
  if (!last_.status) return last_;
  // Firmware 1.0 and 1.1 of the sTavi/uTavi know no encryption.
  const char set = PageSetCode();
  const bool hasEncryption = set == 'I' || (set == 'S' && form_.Panel_S_Info_Encryption.Visible());
  if (encryption && hasEncryption) last_.encryption = Ask(CommandId::GetAES, EncryptionClosing);
  if (rs485 && set == 'I') last_.rs485 = Ask(CommandId::I_Query485, Rs485Closing);
  return last_;
}

std::optional<std::string> ModemSession::Value(CommandId setting, int hexCount) const {
  if (OnWorker()) return OnOwner([&] { return Value(setting, hexCount); });
  const SettingControls c = ControlsOf(form_, setting);
  const auto reported = [this](const Control& control) {
    return control.ValueSerial() > read_mark_;
  };
  if (c.value) {
    if (!reported(*c.value)) return std::nullopt;
    return ShownValue(*c.value);
  }
  if (!c.length) return std::nullopt;
  int count = hexCount;
  if (count < 0) {
    if (!reported(*c.length)) return std::nullopt;
    count = std::atoi(c.length->Text().c_str());
  }
  std::string out;
  for (int i = 0; i < std::min(count, 3); ++i) {
    if (!reported(*c.bytes[i])) return std::nullopt;
    if (i) out += ",";
    out += c.bytes[i]->Text();
  }
  return out;
}

std::string ModemSession::Firmware() const {
  if (OnWorker()) return OnOwner([this] { return Firmware(); });
  switch (PageSetCode()) {
    case 'R':
      return form_.Edit_R_FwVer.Text();
    case 'I':
      return form_.Edit_I_FwVer.Text();
    default:
      return form_.Edit_S_FwVer.Text();
  }
}

std::string ModemSession::ProgramVersion() const {
  if (OnWorker()) return OnOwner([this] { return ProgramVersion(); });
  std::string version = form_.Lb_PGVersion.Caption();
  if (version.starts_with("Version ")) version.erase(0, 8);
  return version;
}

protocol::SendResult ModemSession::Send(CommandId id, std::string_view valueText) {
  // Written where the port is held, by the wire's one writer, whatever
  // thread the operation runs on: no line of the window's (a parser row's
  // own query) can cut into it, the receive side is purged on the thread
  // that assembles its lines, and the trace has the command before its
  // answer. The pause after it is the caller's, on its own thread.
  return OnOwner([&] {
    protocol::SendOptions options;
    options.holders_line = true;
    return protocol::SendCommand(form_.SendLink(), protocol::Entry(id), valueText, options);
  });
}

void ModemSession::Log(std::string_view message) {
  OnOwner([&] { form_.LogWriteStr(message); });
}

void ModemSession::ShowDisconnected() {
  OnOwner([this] {
    form_.StatusBar1.SetPanelText(1, "Disconnected");
    form_.ApplyDisconnectedPresentation();
  });
}

void ModemSession::HoldSending(bool held) {
  OnOwner([&] { form_.HoldSending(held); });
}

}  // namespace velimo::forms
