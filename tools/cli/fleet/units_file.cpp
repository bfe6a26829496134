#include "fleet/units_file.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "fleet/utf8_path.h"
#include "util/bounded_file.h"

namespace velimo::cli::fleet {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return std::string(s);
}

// One record's fields; false on an unclosed quote.
bool SplitRecord(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false, was_quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && Trim(field).empty()) {
      quoted = was_quoted = true;
      field.clear();
    } else if (c == ',') {
      fields.push_back(was_quoted ? field : Trim(field));
      field.clear();
      was_quoted = false;
    } else {
      field += c;
    }
  }
  if (quoted) return false;
  fields.push_back(was_quoted ? field : Trim(field));
  return true;
}

}  // namespace

ParsedUnits ParseUnitsCsv(std::string_view text) {
  ParsedUnits result;
  auto fail = [&](int line, const std::string& why) {
    result.error = "line " + std::to_string(line) + ": " + why;
    return result;
  };
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // spreadsheet exports

  UnitsFile units;
  std::vector<std::string> header, fields;
  std::optional<size_t> key_column;
  std::set<std::string> keys;
  int line_no = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (Trim(line).empty()) continue;
    if (!SplitRecord(line, fields)) return fail(line_no, "a quoted field is not closed");
    if (header.empty()) {
      header = fields;
      for (size_t i = 0; i < header.size(); ++i) {
        const std::string name = Lower(header[i]);
        for (size_t j = 0; j < i; ++j)
          if (Lower(header[j]) == name && !name.empty())
            return fail(line_no, "the column " + header[i] + " is named twice");
        const bool is_key = name == "port" || name == "byid" || name == "serial";
        if (!is_key) {
          if (header[i].empty()) return fail(line_no, "a column has no name");
          continue;
        }
        if (key_column) return fail(line_no, "more than one key column (Port, ById, Serial)");
        key_column = i;
        units.key = name == "port"   ? UnitKey::kPort
                    : name == "byid" ? UnitKey::kById
                                     : UnitKey::kSerial;
      }
      if (!key_column) return fail(line_no, "no key column: name one Port, ById or Serial");
      continue;
    }
    if (fields.size() != header.size())
      return fail(line_no, std::to_string(fields.size()) + " fields where the header has " +
                               std::to_string(header.size()));
    UnitRow row;
    row.line = line_no;
    row.key = fields[*key_column];
    if (row.key.empty()) return fail(line_no, "the unit's " + header[*key_column] + " is empty");
    if (!keys.insert(row.key).second) return fail(line_no, "unit " + row.key + " is listed twice");
    for (size_t i = 0; i < fields.size(); ++i)
      if (i != *key_column && !fields[i].empty()) row.settings.emplace_back(header[i], fields[i]);
    units.rows.push_back(std::move(row));
  }
  if (header.empty()) return fail(line_no, "the file has no header");
  result.units = std::move(units);
  return result;
}

std::string CheckUnitRows(const UnitsFile& units,
                          const std::function<UnitProfile(const UnitValues&)>& unit_values) {
  std::map<std::string, int> myid_line, device_line;
  for (const UnitRow& row : units.rows) {
    if (units.key == UnitKey::kPort) {
      const auto [it, fresh] = device_line.emplace(DeviceOf(row.key), row.line);
      if (!fresh)
        return "line " + std::to_string(row.line) + ": " + row.key + " is the port of line " +
               std::to_string(it->second) + " by another name";
    }
    const UnitProfile unit = unit_values(row.settings);
    if (!unit.error.empty()) return "line " + std::to_string(row.line) + ": " + unit.error;
    if (unit.myid.empty()) continue;
    const auto [it, fresh] = myid_line.emplace(unit.myid, row.line);
    if (!fresh)
      return "line " + std::to_string(row.line) + ": MYID " + unit.myid +
             " is already the source ID of line " + std::to_string(it->second) +
             "; each unit needs its own";
  }
  return "";
}

std::string DeviceOf(const std::string& path) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(PathOf(path), error);
  // A file still to be made: what its folder resolves to, and its name.
  if (error)
    resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(PathOf(path)), error);
  return error ? path : TextOf(resolved);
}

bool SameUnit(const PortName& a, const PortName& b) {
  if (!a.by_id.empty() && a.by_id == b.by_id) return true;
  return DeviceOf(a.path) == DeviceOf(b.path);
}

ParsedUnits ReadUnitsFile(const std::string& path) {
  // Thousands of rows fit in a few hundred kilobytes; a FIFO, a device or
  // an endless file in its place would hang the bench before its start.
  const BoundedRead file = ReadBoundedFile(path, kUnitsFileLimit);
  if (!file.ok) {
    ParsedUnits refused;
    refused.error = "cannot read the units file " + path + ": " + file.reason;
    return refused;
  }
  ParsedUnits parsed = ParseUnitsCsv(file.text);
  if (!parsed.units) parsed.error = path + ": " + parsed.error;
  return parsed;
}

UnitMatch MatchUnits(const UnitsFile& units, const std::vector<PortName>& ports) {
  auto matches = [&](const UnitRow& row, const PortName& port) {
    switch (units.key) {
      case UnitKey::kPort:
        return row.key == port.path || DeviceOf(row.key) == DeviceOf(port.path) ||
               (!port.by_id.empty() && DeviceOf(row.key) == DeviceOf(port.by_id));
      case UnitKey::kById: {
        if (port.by_id.empty()) return false;
        const size_t slash = port.by_id.rfind('/');
        return row.key == port.by_id ||
               (slash != std::string::npos && row.key == port.by_id.substr(slash + 1));
      }
      case UnitKey::kSerial:
        return !port.usb_serial.empty() && row.key == port.usb_serial;
    }
    return false;
  };
  UnitMatch match;
  std::vector<bool> row_used(units.rows.size(), false);
  for (size_t p = 0; p < ports.size(); ++p) {
    bool found = false;
    for (size_t r = 0; r < units.rows.size() && !found; ++r) {
      if (row_used[r] || !matches(units.rows[r], ports[p])) continue;
      row_used[r] = found = true;
      match.pairs.emplace_back(p, r);
    }
    if (!found) match.ports_not_listed.push_back(p);
  }
  for (size_t r = 0; r < units.rows.size(); ++r)
    if (!row_used[r]) match.rows_not_found.push_back(r);
  return match;
}

}  // namespace velimo::cli::fleet
