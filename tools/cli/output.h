// How velimo-cli writes what the window shows: the form model's texts are
// byte strings read as Latin-1 (as the desktop view reads them), written
// out as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velimo::cli {

// Latin-1 bytes as UTF-8.
std::string Utf8FromLatin1(std::string_view bytes);

// A message box's text on one line: cut at a NUL byte as the box shows it,
// the line's own end dropped, any other line break written as "\n".
std::string OneLine(std::string_view text);

// A JSON string literal (quotes included) of Latin-1 bytes.
std::string JsonString(std::string_view bytes);

// A control's name and what it shows; nothing for a value that was not
// read from the modem (a start value the window still shows).
using NamedValues = std::vector<std::pair<std::string, std::optional<std::string>>>;

// "NAME=VALUE" lines, or "NAME (not read)", each ending in a line feed.
std::string FormatLines(const NamedValues& values);
// One JSON object on one line, ending in a line feed; null for a value
// not read.
std::string FormatJson(const NamedValues& values);

// Whether a message box's text reports a failure. Only the confirmations
// of success and the plain notices are not failures: "Successfully
// changed.", "     Disconnected.     ", "Please set COM again and
// reconnect." and the ioTavi's "AT Mode" answer.
bool IsFailureMessage(std::string_view text);

}  // namespace velimo::cli
