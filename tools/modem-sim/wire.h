// The modem's side of the wire: answer lines out, command lines in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::sim {

// Joins answer lines for the wire: each line followed by CR LF.
std::string WireText(const std::vector<std::string>& lines);

// Cuts the byte stream from the program into command lines: a carriage
// return ends a line; "+++" at the start of a line is a line of its own as
// soon as its third byte arrives; line feeds and NUL bytes are dropped; an
// over-long line is cut at kMaxLine bytes (the rest up to its end is lost).
class LineSplitter {
 public:
  static constexpr std::size_t kMaxLine = 256;
  std::vector<std::string> Feed(std::string_view bytes);
  const std::string& pending() const { return pending_; }

 private:
  std::string pending_;
};

}  // namespace velimo::sim
