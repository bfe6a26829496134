// The small part of JSON the fleet supervisor reads back: each worker's
// result object. Workers are this program, but a worker that crashed or was
// killed may leave half a line, so anything malformed is refused as a whole
// rather than half read.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velimo::cli::fleet {

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue, std::less<>>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> v;

  const std::string* String() const { return std::get_if<std::string>(&v); }
  const JsonObject* Object() const { return std::get_if<JsonObject>(&v); }
  const JsonArray* Array() const { return std::get_if<JsonArray>(&v); }
  // A member's text, or "" when absent or not a string.
  std::string Text(std::string_view key) const;
};

// The whole text as one JSON value; nothing but blanks may follow it.
// Nesting deeper than 32 levels is refused.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace velimo::cli::fleet
