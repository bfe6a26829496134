// Names of files are UTF-8 text throughout velimo-cli. A std::filesystem
// path made from a narrow string reads it in the ANSI code page on
// Windows, so a report or profile in a folder named beyond ASCII would be
// looked for elsewhere: paths are made from and turned back into UTF-8
// explicitly (the same bytes on Linux).
#pragma once

#include <filesystem>
#include <string>

namespace velimo::cli::fleet {

inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string TextOf(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace velimo::cli::fleet
