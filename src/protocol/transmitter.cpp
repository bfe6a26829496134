#include "protocol/transmitter.h"

#include <string>

namespace velimo::protocol {

SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer, int lineLength,
                           const SendOptions& options) {
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
    link.channel->PurgeQueues(true, true);
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
    return SendResult::Failed;
  }
}

SendResult SendCommandLine(const Link& link, const CommandBuffer& buffer,
                           const SendOptions& options) {
  return SendCommandLine(link, buffer, buffer.LineLength(), options);
}

}  // namespace velimo::protocol
