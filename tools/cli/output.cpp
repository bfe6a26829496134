#include "output.h"

#include <cstdio>

namespace velimo::cli {

std::string Utf8FromLatin1(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string OneLine(std::string_view text) {
  if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return Utf8FromLatin1(out);
}

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", c);
          out += code;
        } else {
          out += Utf8FromLatin1(std::string_view(reinterpret_cast<const char*>(&c), 1));
        }
    }
  }
  out += '"';
  return out;
}

std::string FormatLines(const NamedValues& values) {
  std::string out;
  for (const auto& [name, value] : values)
    out += value ? name + "=" + OneLine(*value) + "\n" : name + " (not read)\n";
  return out;
}

std::string FormatJson(const NamedValues& values) {
  std::string out = "{";
  bool first = true;
  for (const auto& [name, value] : values) {
    if (!first) out += ", ";
    first = false;
    out += JsonString(name) + ": " + (value ? JsonString(*value) : std::string("null"));
  }
  out += "}\n";
  return out;
}

bool IsFailureMessage(std::string_view text) {
  return !(text == "Successfully changed." || text == "     Disconnected.     " ||
           text == "Please set COM again and reconnect." || text.starts_with("AT Mode"));
}

}  // namespace velimo::cli
