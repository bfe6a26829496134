// Encryption keys and IVs in trace lines. The pane is the operator's own
// screen and shows them as they are; the log file outlives the session and
// is read by others (service staff, a support ticket), so it gets their
// values masked: each character replaced by "*", the length kept.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace velimo::trace {

// The part of a trace message that is a secret value, where no keyword in
// the text says so (the IV line is the IV alone). Empty: none.
struct TraceSecret {
  size_t begin = 0;
  size_t length = 0;
};

// Masks in line the span secret, counted from offset (where the message
// starts, after the stamp), and every value that a key or IV keyword
// introduces: the command "AT+AESKEY=..." and the modems' reports
// "AES KEY : ...", "AES IV : ...", "AESKEY:...", "AESIV:..." (also when a
// logged rejection repeats them). Such a value runs to the next CR, LF or
// NUL or to the end of the line; what follows it is kept.
void MaskSecrets(std::string& line, size_t offset, TraceSecret secret);

// The key and IV values last sent to the modem. A line that repeats one
// without a keyword (a modem's rejection echoing the IV it refused) is
// masked by its value: every run of characters equal to one of them,
// wherever it stands. Values shorter than kMinLength are not kept, since
// masking every copy of a short text would blot out unrelated words and
// numbers.
class SentSecrets {
 public:
  static constexpr size_t kMinLength = 8;

  // Keeps value as the latest secret sent; the last two distinct ones are
  // known (a key and an IV).
  void Remember(std::string_view value);
  // Masks in text, from offset on, every run equal to a value kept.
  void Mask(std::string& text, size_t offset = 0) const;
  bool Empty() const { return values_[0].empty() && values_[1].empty(); }

 private:
  std::array<std::string, 2> values_;  // [0] the latest
};

}  // namespace velimo::trace
