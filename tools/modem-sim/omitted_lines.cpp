#include "omitted_lines.h"

#include <algorithm>

namespace velimo::sim {

std::vector<std::string> WithoutOmitted(std::vector<std::string> lines,
                                        const std::set<std::string>& omitted) {
  if (omitted.empty()) return lines;
  std::erase_if(lines, [&](const std::string& line) {
    const std::string_view text =
        std::string_view(line).substr(std::min(line.find_first_not_of(' '), line.size()));
    return std::any_of(omitted.begin(), omitted.end(),
                       [&](const std::string& start) { return text.starts_with(start); });
  });
  return lines;
}

std::set<std::string> OmittedTexts(std::string_view list) {
  std::set<std::string> texts;
  for (size_t start = 0;;) {
    const size_t comma = list.find(',', start);
    const std::string_view text = list.substr(start, comma - start);
    if (text.empty()) return {};
    texts.insert(std::string(text));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return texts;
}

}  // namespace velimo::sim
