#include "fleet/json_value.h"

#include <charconv>
#include <cstdlib>

namespace velimo::cli::fleet {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  std::optional<JsonValue> Document() {
    auto value = Value(0);
    Blanks();
    if (!value || i_ != s_.size()) return std::nullopt;
    return value;
  }

 private:
  void Blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool Take(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  std::optional<JsonValue> Value(int depth) {
    if (depth > 32) return std::nullopt;
    Blanks();
    if (i_ >= s_.size()) return std::nullopt;
    const char c = s_[i_];
    if (c == '{') return ObjectValue(depth);
    if (c == '[') return ArrayValue(depth);
    if (c == '"') {
      auto text = StringValue();
      if (!text) return std::nullopt;
      return JsonValue{std::move(*text)};
    }
    if (Word("true")) return JsonValue{true};
    if (Word("false")) return JsonValue{false};
    if (Word("null")) return JsonValue{nullptr};
    return NumberValue();
  }

  std::optional<JsonValue> ObjectValue(int depth) {
    ++i_;
    JsonObject object;
    if (Take('}')) return JsonValue{std::move(object)};
    do {
      Blanks();
      auto key = StringValue();
      if (!key || !Take(':')) return std::nullopt;
      auto value = Value(depth + 1);
      if (!value) return std::nullopt;
      object.insert_or_assign(std::move(*key), std::move(*value));
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return JsonValue{std::move(object)};
  }

  std::optional<JsonValue> ArrayValue(int depth) {
    ++i_;
    JsonArray array;
    if (Take(']')) return JsonValue{std::move(array)};
    do {
      auto value = Value(depth + 1);
      if (!value) return std::nullopt;
      array.push_back(std::move(*value));
    } while (Take(','));
    if (!Take(']')) return std::nullopt;
    return JsonValue{std::move(array)};
  }

  std::optional<JsonValue> NumberValue() {
    const size_t start = i_;
    while (i_ < s_.size() &&
           std::string_view("+-0123456789.eE").find(s_[i_]) != std::string_view::npos)
      ++i_;
    if (i_ == start) return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(s_.data() + start, s_.data() + i_, d);
    if (ec != std::errc() || end != s_.data() + i_) return std::nullopt;
    return JsonValue{d};
  }

  static void Utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::optional<std::string> StringValue() {
    if (i_ >= s_.size() || s_[i_] != '"') return std::nullopt;
    ++i_;
    std::string out;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return std::nullopt;
      const char e = s_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          unsigned code = 0;
          if (i_ + 4 > s_.size()) return std::nullopt;
          const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, code, 16);
          if (ec != std::errc() || end != s_.data() + i_ + 4) return std::nullopt;
          i_ += 4;
          Utf8(out, code);  // surrogate pairs are not used by our writers
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

std::string JsonValue::Text(std::string_view key) const {
  const JsonObject* object = Object();
  if (!object) return {};
  auto it = object->find(key);
  if (it == object->end()) return {};
  const std::string* text = it->second.String();
  return text ? *text : std::string();
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  return Reader(text).Document();
}

}  // namespace velimo::cli::fleet
