// The AES key and IV in what velimo-cli prints and writes. A report or a
// trace is handed on (to a customer, a support ticket), so the key and IV
// stand there as "*", one per character, unless --with-secrets asks for
// them in clear.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velimo::cli {

// "*" for each character of value.
std::string Masked(std::string_view value);

// Whether a profile key (AESKEY, AESIV) or a control (Edit_S_AESKey ...)
// holds a key or an IV, in letters of any case.
bool IsSecretKey(std::string_view key);
bool IsSecretControl(std::string_view name);

// A trace line with every key and IV value masked: those a keyword
// introduces, and each occurrence of the values in known (the key and IV
// the editors hold: the IV goes out as a line of its own, with no keyword).
std::string MaskedTraceLine(std::string line, const std::vector<std::string>& known);

// The command line as a report tells it, each value that is a key or an
// IV masked: "set Edit_S_AESKey=...", "--unit-value AESIV=...".
std::string CommandLineText(const std::vector<std::string>& args);

}  // namespace velimo::cli
