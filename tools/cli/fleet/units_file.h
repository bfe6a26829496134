// The units file of a bench run: a CSV file with a header, one row per
// unit. One column says which unit a row is for (by its port path, its
// /dev/serial/by-id name, or its USB serial number); every other column is
// a profile key whose value is applied on top of the profile for that unit
// alone, such as its own address:
//
//   Serial,MYID,DID
//   A50285BI,101,1
//   A50285BJ,102,1
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velimo::cli::fleet {

enum class UnitKey { kPort, kById, kSerial };

struct UnitRow {
  int line = 0;                                               // in the file, for messages
  std::string key;                                            // the value of the key column
  std::vector<std::pair<std::string, std::string>> settings;  // profile key, value
};

struct UnitsFile {
  UnitKey key = UnitKey::kPort;
  std::vector<UnitRow> rows;
};

struct ParsedUnits {
  std::optional<UnitsFile> units;
  std::string error;  // "line N: reason" when units is empty
};

// The key column is named "Port", "ById" or "Serial" (any case); it may
// stand anywhere in the header. Fields may be quoted ("a,b", "" for a
// quote). Blank lines are skipped; a row with another number of fields
// than the header, an empty key, or a key given twice is refused.
ParsedUnits ParseUnitsCsv(std::string_view text);
// Reads and parses the file at path. One that cannot be read, is no
// regular file, or is larger than 16 MiB is refused ("cannot read the
// units file PATH: reason") before anything of it is parsed.
ParsedUnits ReadUnitsFile(const std::string& path);

// What a found port is known by, for matching rows to ports.
struct PortName {
  std::string path;        // as the scan or the command line gave it
  std::string by_id;       // /dev/serial/by-id/... or empty
  std::string usb_serial;  // or empty
  // Options for this port's worker alone (the rate a scan found it at).
  std::vector<std::string> worker_args = {};
};

struct UnitMatch {
  std::vector<std::pair<size_t, size_t>> pairs;  // port index, row index
  std::vector<size_t> rows_not_found;            // rows no port matched
  std::vector<size_t> ports_not_listed;          // ports no row matched
};

// Pairs rows with ports by the file's key column. A by-id key matches the
// full path or its last part. Nothing is guessed: a row matches a port only
// by that key.
UnitMatch MatchUnits(const UnitsFile& units, const std::vector<PortName>& ports);

}  // namespace velimo::cli::fleet
