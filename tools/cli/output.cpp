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

namespace {

void Escape(std::string& out, unsigned code) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", code);
  out += text;
}

bool IsControl(unsigned code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// The length of the valid UTF-8 sequence at s[i], or 0 when there is none
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
size_t Utf8Length(std::string_view s, size_t i, unsigned& code) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned c = b(0);
  size_t n = 0;
  if (c < 0x80) {
    code = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b(k) & 0x3F);
  }
  if ((n == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (n == 4 && (code < 0x10000 || code > 0x10FFFF)))
    return 0;
  return n;
}

void AppendJsonCode(std::string& out, unsigned code) {
  switch (code) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (IsControl(code)) {
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04x", code);
    out += text;
  } else if (code < 0x80) {
    out += static_cast<char>(code);
  } else {
    const char byte = static_cast<char>(code);
    if (code < 0x100) out += Utf8FromLatin1(std::string_view(&byte, 1));
  }
}

}  // namespace

std::string PlainText(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (unsigned char c : latin1) {
    if (IsControl(c)) {
      Escape(out, c);
    } else {
      out += Utf8FromLatin1(std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
  }
  return out;
}

std::string PlainUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    unsigned code = 0;
    const size_t n = Utf8Length(utf8, i, code);
    if (n == 0) {
      Escape(out, static_cast<unsigned char>(utf8[i]));
      ++i;
      continue;
    }
    if (IsControl(code)) {
      Escape(out, code);
    } else {
      out.append(utf8.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string MessageText(std::string_view text) {
  if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return std::string(text);
}

std::string OneLine(std::string_view whole) {
  const std::string held = MessageText(whole);
  const std::string_view text = held;
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    out += PlainText(text.substr(from, i - from)) + "\\n";
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    from = i + 1;
  }
  return out + PlainText(text.substr(from));
}

std::string JsonString(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) AppendJsonCode(out, c);
  out += '"';
  return out;
}

std::string JsonStringUtf8(std::string_view utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    unsigned code = 0;
    const size_t n = Utf8Length(utf8, i, code);
    if (n == 0) {
      AppendJsonCode(out, static_cast<unsigned char>(utf8[i]));  // a stray byte: Latin-1
      ++i;
    } else if (code < 0x100) {
      AppendJsonCode(out, code);
      i += n;
    } else {
      out.append(utf8.substr(i, n));
      i += n;
    }
  }
  out += '"';
  return out;
}

namespace {

// "-5", "+3.25", "12": digits with at most one point, an optional sign.
bool IsPlainNumber(std::string_view s) {
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  if (s.empty()) return false;
  bool digit = false, point = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

}  // namespace

std::string CsvCell(std::string_view utf8) {
  std::string cell(utf8);
  if (!cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos &&
      !IsPlainNumber(cell))
    cell.insert(0, "'");
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string out = "\"";
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

size_t DisplayWidth(std::string_view utf8) {
  size_t width = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++width;
  return width;
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
