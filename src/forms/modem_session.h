// The one seam through which profiles and the bench drive a modem: read it
// (the status query, and the key and RS-485 queries where asked), learn
// what it reported and which family its report shows, send one catalogue
// line, reopen the link at other line settings, and the few presentation
// calls an operation needs. Behind it stands the window's form model; a
// setting is named by the catalogue row of its single save, never by a
// control's name, and the seam alone knows which control shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/catalogue.h"
#include "protocol/transmitter.h"
#include "scan/report_lines.h"
#include "util/owner_calls.h"
#include "util/platform.h"

namespace velimo::forms {

class TForm_main;

// The line settings of the local end of the link.
struct LineSettings {
  int baud = 9600;
  int parity = 0;  // 0 None, 1 Odd, 2 Even
  bool rtscts = false;
  bool operator==(const LineSettings&) const = default;
};

// "115200 baud, parity Even, flow control RTS/CTS".
std::string Describe(const LineSettings& line);

// The local end of the link, for the settings that change the link itself:
// after the modem has been told a new rate, parity or flow control, the
// port is closed and opened again with them.
class LineSwitch {
 public:
  virtual ~LineSwitch() = default;
  virtual LineSettings Current() const = 0;
  // Closes the port and opens it again with these settings; false when it
  // could not be opened (the port is then closed).
  virtual bool Reopen(const LineSettings& line) = 0;
  virtual void Close() = 0;
};

// Which queries of one read were answered.
struct ReadAnswers {
  bool status = false;
  bool encryption = false;
  bool rs485 = false;
};

class ModemSession {
 public:
  // Serves port events and timers until done() holds or limitMs have
  // passed; returns done(). The reads wait here for the modem's answers.
  using ServeUntil = std::function<bool(const std::function<bool()>& done, int limitMs)>;

  // line: reopens the link after a change of its line settings; the
  // window's own port, set up as the connect dialog sets it up, when null.
  ModemSession(TForm_main& form, ServeUntil serveUntil, LineSwitch* line = nullptr);
  ~ModemSession();
  ModemSession(const ModemSession&) = delete;
  ModemSession& operator=(const ModemSession&) = delete;

  // How long the line must stay quiet before a report whose last line was
  // not recognised counts as complete.
  int quiet_ms = 300;
  // How long a query waits for its answer: the response watchdog's period.
  static constexpr int kAnswerLimitMs = 5000;

  // ---- The modem and the link ----------------------------------------------

  // The model chosen in the window: 's', 'u', 'r', 'i', or 0 for none.
  char ChosenModel() const;
  bool Connected();
  // The port's name as the connect dialog took it.
  std::string PortName() const;
  // A raw TCP port ("tcp://"): its server's line does not follow the line
  // settings set here, so the modem's own cannot be changed through it.
  bool LineIsFixed() const;
  LineSwitch& Line();
  Platform& platform();

  // ---- An operation on a thread of its own ---------------------------------

  // From now on (null: no longer) the session may be driven from another
  // thread than the window's: everything that touches the window's state
  // (the form, the trace, the boxes, the port: opening, closing and every
  // line written to it) runs on calls' owner, the window's thread, while
  // the caller waits; only the pauses between lines are kept on the
  // calling thread. Set and cleared on the window's thread, while no
  // operation runs.
  void SetWorkerCalls(OwnerCalls* calls);

  // ---- One operation -------------------------------------------------------

  // Takes the window over for an operation: the watchdog and the delayed
  // key query stay quiet (they would judge, or cut into, the operation's
  // own reads), and the operation holds the wire, so a line the window
  // asks for meanwhile (a parser row's own query) waits until End, which
  // gives them back and writes it.
  void Begin();
  void End();

  // Sends the status query (and the key and RS-485 queries when asked and
  // the modem has them) and serves events until each answer is complete.
  ReadAnswers Read(bool encryption, bool rs485);
  const ReadAnswers& LastRead() const { return last_; }
  // The family the last read's report shows (Unknown before any).
  scan::Family ReportedFamily() const { return family_.Which(); }
  // A setting's value as the window shows it, when the last read reported
  // it; nothing when no line of that read gave it a value. A framing-byte
  // list gives hexCount bytes, or with -1 as many as its length reports
  // (none: the empty text).
  std::optional<std::string> Value(protocol::CommandId setting, int hexCount = -1) const;
  // The firmware as the window shows it; the program's version.
  std::string Firmware() const;
  std::string ProgramVersion() const;

  // One catalogue line through the window's send path (pacing, trace,
  // failure handling), written on the window's thread by the wire's one
  // writer.
  protocol::SendResult Send(protocol::CommandId id, std::string_view valueText);

  // ---- Presentation --------------------------------------------------------

  // A line in the trace pane (and the log file while it is kept).
  void Log(std::string_view message);
  // The window shows the link closed: status bar, menus, buttons.
  void ShowDisconnected();
  // The window holds (or releases) every control that sends while an
  // operation owns the modem; see TForm_main::HoldSending.
  void HoldSending(bool held);

 private:
  bool Ask(protocol::CommandId id, bool (*closing)(std::string_view line, char set));
  void OnLine(std::string_view line);
  char PageSetCode() const;

  // Runs f where the window's state lives: at once without a worker, or on
  // the window's thread while the worker waits.
  template <class F>
  decltype(auto) OnOwner(F f) const {
    if (calls_) return calls_->CallFor(std::move(f));
    return f();
  }
  bool OnWorker() const { return calls_ && !calls_->OnOwnerThread(); }

  TForm_main& form_;
  ServeUntil serve_until_;
  OwnerCalls* calls_ = nullptr;
  std::unique_ptr<Platform> worker_platform_;
  std::unique_ptr<LineSwitch> worker_line_;
  std::unique_ptr<LineSwitch> own_line_;
  LineSwitch* line_ = nullptr;
  ReadAnswers last_;
  scan::ReportReader family_;
  uint64_t read_mark_ = 0;
  bool began_ = false;
  bool watchdog_was_on_ = false;
  bool aes_query_was_on_ = false;
  int32_t flag_before_ = 0;
  // The query under way.
  bool (*closing_)(std::string_view, char) = nullptr;
  bool closing_seen_ = false;
  bool status_asked_ = false;
  int lines_seen_ = 0;
  int64_t last_line_ms_ = 0;
};

}  // namespace velimo::forms
