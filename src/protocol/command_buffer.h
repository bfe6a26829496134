// The fixed-size buffer a command line is built in before it is written to
// the modem. Sizes are those the modem commands use (5, 20, 30 or 50 bytes);
// the buffer is zero-filled, and the whole buffer, zeros included, is what
// the trace records after the line has been sent.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velimo::protocol {

// The carriage return that ends every command line (no line feed is sent).
inline constexpr char kCommandTerminator = '\r';

class CommandBuffer {
 public:
  static constexpr int kMaxSize = 50;
  // True for the four sizes a command buffer can have: 5, 20, 30, 50.
  static constexpr bool ValidSize(int size) {
    return size == 5 || size == 20 || size == 30 || size == 50;
  }

  // A zero-filled buffer; a size other than the four raises
  // std::invalid_argument (a programming error, not an operator's).
  explicit CommandBuffer(int size);

  int Size() const { return size_; }
  // Bytes of the line put in so far (what SendCommandLine writes).
  int LineLength() const { return length_; }
  // The line: the first LineLength() bytes.
  std::string_view Line() const { return {bytes_.data(), static_cast<size_t>(length_)}; }
  // The whole buffer, Size() bytes, the zero filler included.
  std::string_view Bytes() const { return {bytes_.data(), static_cast<size_t>(size_)}; }

  // Appends text behind the line. When it would not fit, nothing is
  // appended and false comes back: a line never runs past its buffer.
  [[nodiscard]] bool Append(std::string_view text);

  // Zero-fills a buffer of the given size, then puts command text, value
  // text and (when terminate) the carriage return in, in that order. Empty
  // when the line would not fit its buffer.
  static std::optional<CommandBuffer> Make(int size, std::string_view command,
                                           std::string_view value, bool terminate = true);

 private:
  std::array<char, kMaxSize> bytes_{};
  int size_;
  int length_ = 0;
};

// The operator's message for a line that does not fit its buffer. Such a
// line is refused as a whole rather than cut short: a shortened setting
// (an identifier missing its last digits, say) would be accepted by the
// modem as a different value.
std::string LineTooLongMessage(int bufferSize);

}  // namespace velimo::protocol
