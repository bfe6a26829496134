// The one send procedure every command to the modem goes through. It checks
// the port, empties both of its queues, writes the line one byte at a time
// with a 5 ms pause after each byte and records the line in the trace. It
// never waits for an answer: answers come back through the receive path.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <type_traits>

#include "protocol/command_buffer.h"
#include "protocol/line_assembler.h"
#include "protocol/wire.h"
#include "serial/byte_channel.h"
#include "trace/trace_secret.h"
#include "util/platform.h"

namespace velimo::protocol {

// Fixed texts of the transmitter.
inline constexpr std::string_view kMsgPortClosed = "Check your Serial Port Status.";
inline constexpr std::string_view kMsgPortError = "Serial Port ERROR!!";
inline constexpr std::string_view kMsgConnectionLost =
    "Serial Connection Lost!! Restarting Application.";
inline constexpr std::string_view kTraceSendPrefix = "Send AT Command : ";
// Pause after every byte written.
inline constexpr int kBytePauseMs = 5;

// Appends one line to the trace (the main window's LogWriteStr: it adds the
// time stamp itself), with the part of it that is a secret value (the log
// file masks it). May raise when the log file cannot be written. Made from
// a function of the text and the secret, or of the text alone.
class TraceSink {
 public:
  using Function = std::function<void(std::string_view, trace::TraceSecret)>;
  TraceSink() = default;
  TraceSink(std::nullptr_t) {}
  template <class F>
  requires std::is_invocable_v<F&, std::string_view, trace::TraceSecret> TraceSink(F f)
      : sink_(std::move(f)) {}
  template <class F>
  requires(std::is_invocable_v<F&, std::string_view> &&
           !std::is_invocable_v<F&, std::string_view, trace::TraceSecret>) TraceSink(F f)
      : sink_([f = std::move(f)](std::string_view text, trace::TraceSecret) mutable { f(text); }) {}

  void operator()(std::string_view text, trace::TraceSecret secret = {}) const {
    sink_(text, secret);
  }
  explicit operator bool() const { return static_cast<bool>(sink_); }

 private:
  Function sink_;
};
// Shows one line that came over the line in the trace pane, as received
// lines are echoed there (no stamp), without handing it to any parser.
using ReceivedSink = std::function<void(std::string_view)>;

// What the transmitter needs of its surroundings.
struct Link {
  serial::ByteChannel* channel = nullptr;  // null counts as a closed port
  Platform* platform = nullptr;
  TraceSink trace;
  // Restarts the application after a lost connection; the platform's
  // RestartApplication when empty.
  std::function<void()> restart{};
  // Where the bytes that wait unread when the queues are purged are put on
  // record; when empty they are discarded unseen.
  ReceivedSink received{};
  // The receive assembly: its line ends with every purge (see
  // LineAssembler::EndLine); none when null.
  LineAssembler* lines = nullptr;
  // Told, after the operator has been, that a send found the device gone
  // (see SendResult::PortGone).
  std::function<void()> port_gone{};
  // The owner of writing to this port: lines wait there for their turn.
  // Without one, each send writes at once.
  Wire* wire = nullptr;
};

// What a port failure means for the operator.
enum class FailureVariant {
  Standard,        // "Serial Port ERROR!!"; the port stays as it is
  LostConnection,  // the status query's: "Serial Connection Lost!! ..." and a restart
};

struct SendOptions {
  // Trace text written before anything else, even with the port closed;
  // empty for none.
  std::string_view announcement{};
  FailureVariant failure = FailureVariant::Standard;
  // Runs after a complete transmission and its trace line, inside the
  // protected region: an error it raises is reported like a port error.
  std::function<void()> follow_up{};
  // The bytes of the line that are a secret value (an encryption key or
  // IV), counted from the line's start; the trace line marks them so.
  trace::TraceSecret secret{};
  // The line belongs to the operation that holds the wire (see Wire): it
  // is written during the hold, when others' lines wait.
  bool holders_line = false;
};

enum class SendResult {
  Sent,        // every byte written, traced, follow-up run
  PortClosed,  // "Check your Serial Port Status." shown, nothing written
  Failed,      // a port (or trace, or follow-up) error, reported to the operator
  PortGone,    // reported as Failed is, but the device itself has gone away:
               // every further send would fail the same way
  Refused,     // the line length exceeds the buffer; nothing written
  Queued,      // another line has the wire: this one waits its turn and is
               // sent (announcement, follow-up and all) when it comes
};

// Empties both of the port's queues, and ends the line being assembled in
// lines (when given): what came before the purge is no part of the next
// answer. The partial line, then the bytes that wait unread, are first
// handed to `received` (when set), one piece per line as they came, a last
// piece without its line feed as it is, so that every byte that came over
// the line is on record even though no parser gets it. Raises what the
// port raises.
void PurgeOnRecord(serial::ByteChannel& channel, const ReceivedSink& received,
                   LineAssembler* lines = nullptr);

// Sends the first lineLength bytes of buffer. A lineLength beyond the
// buffer is refused with LineTooLongMessage (never read or written past
// it). Errors of the announcement's trace line are not caught (the caller's
// default error report shows them); everything after it is one protected
// region. Callers are free to ignore the result: the operator has already
// been told.
SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer, int lineLength,
                           const SendOptions& options = {});
// The same, sending the line the buffer holds.
SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer,
                           const SendOptions& options = {});

}  // namespace velimo::protocol
