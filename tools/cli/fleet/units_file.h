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

#include <functional>
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
// quote). Blank lines are skipped; a column named twice, a row with
// another number of fields than the header, an empty key, or a key given
// twice is refused.
ParsedUnits ParseUnitsCsv(std::string_view text);
// Reads and parses the file at path. One that cannot be read, is no
// regular file, or is larger than 16 MiB is refused ("cannot read the
// units file PATH: reason") before anything of it is parsed.
ParsedUnits ReadUnitsFile(const std::string& path);

// Checks each row's values as a line of a profile file is checked, on top
// of the profile they go with (a key of its model, a value in range), and
// that no two rows give the same source ID (MYID): it is one unit's
// identity. unit_values makes a unit's profile from a row's values or says
// why it cannot. Returns "line N: reason", or "" when every row holds.
using UnitValues = std::vector<std::pair<std::string, std::string>>;
struct UnitProfile {
  std::string error;  // why the values are refused
  std::string myid;   // the source ID the unit would get, as written
};
std::string CheckUnitRows(const UnitsFile& units,
                          const std::function<UnitProfile(const UnitValues&)>& unit_values);

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

// What a port name stands for: the device it leads to (links and relative
// parts resolved), so "./m1", its absolute path and a serial/by-id link to
// it are one unit. A name that leads nowhere stands for itself.
std::string DeviceOf(const std::string& path);

// Whether two names of ports are one unit: the same device, or the same
// by-id name.
bool SameUnit(const PortName& a, const PortName& b);

// Pairs rows with ports by the file's key column. A Port key matches the
// port by the device it names (see DeviceOf); a by-id key matches the full
// path or its last part. Nothing is guessed: a row matches a port only by
// that key.
UnitMatch MatchUnits(const UnitsFile& units, const std::vector<PortName>& ports);

}  // namespace velimo::cli::fleet
