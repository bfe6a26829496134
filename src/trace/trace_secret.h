// Encryption keys and IVs in trace lines. The pane is the operator's own
// screen and shows them as they are; the log file outlives the session and
// is read by others (service staff, a support ticket), so it gets their
// values masked: each character replaced by "*", the length kept.
#pragma once

#include <cstddef>
#include <string>

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

}  // namespace velimo::trace
