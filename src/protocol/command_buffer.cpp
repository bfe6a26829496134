#include "protocol/command_buffer.h"

#include <cstring>
#include <stdexcept>

namespace velimo::protocol {

CommandBuffer::CommandBuffer(int size) : size_(size) {
  if (!ValidSize(size)) {
    throw std::invalid_argument("command buffer size must be 5, 20, 30 or 50, not " +
                                std::to_string(size));
  }
}

bool CommandBuffer::Append(std::string_view text) {
  if (text.size() > static_cast<size_t>(size_ - length_)) return false;
  if (!text.empty()) std::memcpy(bytes_.data() + length_, text.data(), text.size());
  length_ += static_cast<int>(text.size());
  return true;
}

std::optional<CommandBuffer> CommandBuffer::Make(int size, std::string_view command,
                                                 std::string_view value, bool terminate) {
  CommandBuffer buffer(size);
  const std::string_view terminator = terminate ? std::string_view("\r", 1) : std::string_view();
  if (!buffer.Append(command) || !buffer.Append(value) || !buffer.Append(terminator)) {
    return std::nullopt;
  }
  return buffer;
}

std::string LineTooLongMessage(int bufferSize) {
  return "Command line too long (more than " + std::to_string(bufferSize) +
         " bytes). Nothing was sent.";
}

}  // namespace velimo::protocol
