#include "protocol/transmitter.h"

#include <algorithm>
#include <array>
#include <string>

#include "protocol/line_assembler.h"
#include "serial/com_error.h"

namespace velimo::protocol {

void PurgeOnRecord(serial::ByteChannel& channel, const ReceivedSink& received,
                   LineAssembler* lines) {
  if (lines) lines->EndLine(received);
  if (received) {
    // Counted once: bytes still arriving meanwhile go with the purge, so a
    // modem that never stops talking cannot hold the send up.
    const int waiting = channel.QueuedInputCount();
    std::string bytes;
    std::array<char, LineAssembler::kChunkSize> chunk;
    while (static_cast<int>(bytes.size()) < waiting) {
      const int want = std::min<int>(waiting - static_cast<int>(bytes.size()), chunk.size());
      const int n = channel.ReadBytes(chunk.data(), want);
      if (n <= 0) break;
      bytes.append(chunk.data(), static_cast<size_t>(std::min(n, want)));
    }
    size_t start = 0;
    while (start < bytes.size()) {
      const size_t lf = bytes.find('\n', start);
      const size_t end = lf == std::string::npos ? bytes.size() : lf + 1;
      received(std::string_view(bytes).substr(start, end - start));
      start = end;
    }
  }
  channel.PurgeQueues(true, true);
}

SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer, int lineLength,
                           const SendOptions& options) {
  if (link.wire && !link.wire->MayWrite(options.holders_line)) {
    // Written whole after the line that has the wire, never into it.
    // The announcement is a view: it is kept as text for the later turn.
    link.wire->Queue(options.holders_line, [link, buffer, lineLength, options,
                                            announcement = std::string(options.announcement)] {
      SendOptions later = options;
      later.announcement = announcement;
      SendCommandLine(link, buffer, lineLength, later);
    });
    return SendResult::Queued;
  }
  const Wire::Turn turn(link.wire);
  Platform& platform = *link.platform;
  // The announcement goes first, before the port is looked at; its trace
  // error is deliberately outside the protected region.
  if (!options.announcement.empty() && link.trace) link.trace(options.announcement);

  if (lineLength < 0 || lineLength > buffer.Size()) {
    platform.ShowMessage(LineTooLongMessage(buffer.Size()));
    return SendResult::Refused;
  }

  try {
    if (link.channel == nullptr || !link.channel->Connected()) {
      platform.ShowMessage(kMsgPortClosed);
      return SendResult::PortClosed;
    }
    // What waits unread now is lost to the parsers, but not to the trace.
    PurgeOnRecord(*link.channel, link.received, link.lines);
    // Paced one byte at a time: the modems' command parsers read their UART
    // byte by byte and lose characters when a line arrives in one burst.
    const char* bytes = buffer.Bytes().data();
    for (int i = 0; i < lineLength; ++i) {
      link.channel->WriteBytes(bytes + i, 1);
      platform.Pause(kBytePauseMs);
    }
    if (link.trace) {
      std::string text(kTraceSendPrefix);
      text.append(buffer.Bytes());
      trace::TraceSecret secret = options.secret;
      if (secret.length > 0) secret.begin += kTraceSendPrefix.size();
      link.trace(text, secret);
    }
    if (options.follow_up) options.follow_up();
    return SendResult::Sent;
  } catch (...) {
    bool gone = false;
    try {
      throw;
    } catch (const serial::EComPort& e) {
      gone = e.DeviceGone();
    } catch (...) {
    }
    if (options.failure == FailureVariant::LostConnection) {
      platform.ShowMessage(kMsgConnectionLost);
      if (link.restart) {
        link.restart();
      } else {
        platform.RestartApplication();
      }
    } else {
      platform.ShowMessage(kMsgPortError);
    }
    if (!gone) return SendResult::Failed;
    if (link.port_gone) link.port_gone();
    return SendResult::PortGone;
  }
}

SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer,
                           const SendOptions& options) {
  return SendCommandLine(link, buffer, buffer.LineLength(), options);
}

}  // namespace velimo::protocol
