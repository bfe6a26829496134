// The simulated modem's protocol knowledge, free of any I/O: the
// configuration of each family, the report lines it sends, and the answer to
// every command line it can be sent. The pseudo-terminal loop (main.cpp) only
// moves bytes between the wire and this core.
//
// The wording of every report line is chosen so that the program reads each
// value where it looks for it: a keyword at the start of the line (for the
// ioTavi RS-485 lines one character further right) and the value at a fixed
// character position or at a fixed index of the answer tokens (the line with
// a blank put before every comma, split at runs of blanks and at "=").
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velimo::sim {

enum class Family { kSTavi, kUTavi, kRTavi, kIoTavi };
enum class Firmware { k1_0, k1_1, k1_3, kUsa, kJapan };

// "s", "u", "r", "i" and back; "1.0", "1.1", "1.3", "usa", "japan" and back.
std::optional<Family> FamilyFromCode(std::string_view code);
std::string_view FamilyCode(Family family);
std::string_view FamilyName(Family family);
std::optional<Firmware> FirmwareFromName(std::string_view name);
std::string_view FirmwareName(Firmware firmware);

// The baud rates a modem's serial port offers, in the order of their
// command positions 0 to 13.
inline constexpr std::array<std::string_view, 14> kBaudRates = {
    "600",   "1200",  "2400",  "3600",   "4800",   "7200",   "9600",
    "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
inline constexpr std::array<std::string_view, 3> kParities = {"None", "Odd", "Even"};
inline constexpr std::array<std::string_view, 3> kCountries = {"KOR", "USA", "JPN"};

// The key and IV a modem leaves the factory with; it never reports them in
// clear but as kDefaultKeyReport.
inline constexpr std::string_view kDefaultKey = "<qelvin_brastok>";
inline constexpr std::string_view kDefaultKeyReport = "****************(Default)";
inline constexpr std::uint32_t kBroadcastId = 16777215;

// Start or end framing bytes: how many are used (0 to 3) and their values.
struct Framing {
  int length = 0;
  std::array<int, 3> bytes{};
  bool operator==(const Framing&) const = default;
};

// One serial port of a modem (the sTavi/uTavi port, or either side of the
// ioTavi). Data and stop bits are fixed by the hardware.
struct SerialSide {
  int port_type = 0;   // 0 Kivet, 1 Normal
  int baud_index = 6;  // into kBaudRates; 6 is 9600
  int parity = 0;      // into kParities
  int data_bits = 8;
  int stop_bits = 1;
  bool flow_control = false;  // RTS/CTS
  int timeout_tenths = 10;    // message timeout in units of 10 ms, 1 to 255
  int message_size = 116;     // 0 to 116 bytes
  Framing stx{0, {0x02, 0x00, 0x00}};
  Framing etx{0, {0x03, 0x00, 0x00}};
  bool operator==(const SerialSide&) const = default;
};

struct Radio {
  int country = 0;           // into kCountries
  int channel = 1;           // 1 to 20, 1 to 9 in Japan
  int spreading_factor = 7;  // 7 to 12, 7 to 11 in Japan
  int frequency_offset = 0;  // calibration, -40000 to 40000
  bool operator==(const Radio&) const = default;
};

struct Encryption {
  bool on = false;
  std::string key{kDefaultKey};
  std::string iv{kDefaultKey};
  bool operator==(const Encryption&) const = default;
};

struct STaviConfig {
  std::uint32_t source_id = 100001;
  std::uint32_t destination_id = kBroadcastId;
  int destination_table = 0;
  int destination_entry = 0;
  std::array<std::uint32_t, 3> pid = {1, 2, 3};  // main, LoRa, serial port
  Radio radio;
  Encryption aes;
  bool peer_to_peer = false;
  SerialSide serial;
  bool operator==(const STaviConfig&) const = default;
};

struct RTaviConfig {
  std::uint32_t source_id = 300001;
  Radio radio;
  int mode = 1;  // 1 Repeat, 2 Relay
  std::uint32_t relay_id_1 = 1;
  std::uint32_t relay_id_2 = 2;
  bool operator==(const RTaviConfig&) const = default;
};

struct IoTaviConfig {
  std::uint32_t source_id = 400001;
  std::uint32_t destination_id = kBroadcastId;
  int channel = 1;  // 1 to 20
  int band = 7;     // 6 to 8
  int spreading_factor = 7;
  Encryption aes;
  SerialSide rs232;
  SerialSide rs485;
  std::uint32_t destination_id_485 = kBroadcastId;
  bool operator==(const IoTaviConfig&) const = default;
};

using Config = std::variant<STaviConfig, RTaviConfig, IoTaviConfig>;

// Factory defaults of a family on a firmware (the export firmwares leave
// the factory set to their country).
Config FactoryDefaults(Family family, Firmware firmware);

// Report lines, without line ends.
std::vector<std::string> StatusReport(const STaviConfig& config, Firmware firmware);
std::vector<std::string> StatusReport(const RTaviConfig& config, Firmware firmware);
std::vector<std::string> StatusReport(const IoTaviConfig& config, Firmware firmware);
std::vector<std::string> KeyReport(const STaviConfig& config);
std::vector<std::string> KeyReport(const IoTaviConfig& config);
std::vector<std::string> Rs485Report(const IoTaviConfig& config);

// What one command line brings back.
struct Answer {
  std::vector<std::string> lines;  // without line ends
  bool changed = false;            // the configuration was changed
};

// A modem of one family: its configuration and its answers.
class Modem {
 public:
  Modem(Family family, Firmware firmware);

  Family family() const { return family_; }
  Firmware firmware() const { return firmware_; }
  const Config& config() const { return config_; }
  Config& config() { return config_; }
  bool at_mode() const { return at_mode_; }

  // The answer to one command line as received, without its carriage
  // return ("+++" as it arrived).
  Answer Handle(std::string_view line);

  // Settings the modem acknowledges as usual but keeps as they were (a
  // setting that does not stick): command texts such as "AT+CH=", or "IV"
  // for the IV line.
  void SetIgnored(std::set<std::string> commandTexts) { ignored_ = std::move(commandTexts); }
  // With the watch on, once the modem has acknowledged a new rate for the
  // port it talks through, it hears (and answers) only a line set to that
  // rate.
  void SetRateWatch(bool on) { rate_watch_ = on; }
  bool Hears(int lineBaud) const;
  // The rate of the port the modem talks through (0 for the rTavi, whose
  // port has no settings).
  int LinkBaud() const;

  // The configuration as text ("name=value" lines) and back. LoadState
  // leaves the configuration unchanged and returns an error text when the
  // text is not a valid state of this family.
  std::string SaveState() const;
  std::optional<std::string> LoadState(std::string_view text);

 private:
  Family family_;
  Firmware firmware_;
  Config config_;
  bool at_mode_ = false;
  std::set<std::string> ignored_;
  bool rate_watch_ = false;
  bool rate_changed_ = false;
};

}  // namespace velimo::sim
