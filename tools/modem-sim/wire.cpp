#include "wire.h"

namespace velimo::sim {

std::string WireText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> LineSplitter::Feed(std::string_view bytes) {
  std::vector<std::string> lines;
  for (char byte : bytes) {
    if (byte == '\0' || byte == '\n') continue;
    if (byte == '\r') {
      lines.push_back(std::move(pending_));
      pending_.clear();
      continue;
    }
    if (pending_.size() < kMaxLine) pending_ += byte;
    if (pending_ == "+++") {
      lines.push_back(std::move(pending_));
      pending_.clear();
    }
  }
  return lines;
}

}  // namespace velimo::sim
