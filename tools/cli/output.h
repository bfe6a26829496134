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

// Plain text for a terminal or a text file, from the modem's Latin-1
// bytes: written as UTF-8, with every control character (C0, DEL, and C1,
// 0x80 to 0x9F) as "\xNN", so nothing a modem or a file sends can move the
// cursor, clear a screen or shift a column.
std::string PlainText(std::string_view latin1);
// The same for text that is UTF-8 already (sysfs strings, a report's
// fields): C0, DEL and C1 code points as "\xNN", and each byte that is not
// part of valid UTF-8 as "\xNN" too.
std::string PlainUtf8(std::string_view utf8);

// A message box's text on one line: cut at a NUL byte as the box shows it,
// the line's own end dropped, any other line break written as "\n", every
// other control character as PlainText writes it.
std::string OneLine(std::string_view text);
// The same text as one string, for a report: cut at a NUL byte, its own
// line end dropped, its inner line breaks kept (a report's writer escapes
// them by its own rules), still the modem's Latin-1.
std::string MessageText(std::string_view text);

// A JSON string literal (quotes included) of Latin-1 bytes.
std::string JsonString(std::string_view bytes);
// A JSON string literal of UTF-8 text; a byte that is not valid UTF-8 is
// read as Latin-1, so the literal is valid whatever came in.
std::string JsonStringUtf8(std::string_view utf8);

// A CSV cell (RFC 4180 quoting) of UTF-8 text. A cell a spreadsheet would
// run as a formula (beginning with =, +, -, @, tab or carriage return) is
// prefixed with ', unless it is a plain number (-5, +3.25).
std::string CsvCell(std::string_view utf8);

// How many characters UTF-8 text shows as (its code points), for columns.
size_t DisplayWidth(std::string_view utf8);

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
