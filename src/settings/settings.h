// The tool's few choices kept between runs in ./Velimo.INI: the model, the
// three trace options and the serial line settings. All values are texts,
// as in the file; turning them into a model, a baud rate or a parity is the
// business of the window and the port that use them.
#pragma once

#include <string>

namespace velimo::settings {

// The settings file, relative to the working directory.
inline constexpr const char* kSettingsFileName = "./Velimo.INI";

struct Settings {
  // [MACHINE]
  std::string Device = "s";         // model code "s", "u", "r" or "i"
  std::string SaveLogTrace = "0";   // "1": trace lines also go to the log file
  std::string ViewTraceMenu = "0";  // "1": the Trace menu is shown
  std::string ViewLogTrace = "0";   // "1": the trace pane is shown
  // "1": the log file gets encryption keys and IVs in clear. Read only: a
  // service setting made by hand, never written by the tool (its line stays
  // as it is).
  std::string LogSecrets = "0";
  // The main window's size in pixels as it was last closed; empty until
  // the operator has resized it. Written only when set.
  std::string WindowWidth;
  std::string WindowHeight;
  // [EnvBoard]
  std::string ComPort = "COM1";
  std::string BaudRate = "9600";
  // The rate itself when BaudRate is "Custom" (a rate of the connect
  // dialog's list that the port holds as a free number: 3600, 57600 ...).
  // Written only then, and read only then, so a file of an older version
  // (no key) still opens at the default rate.
  std::string CustomBaudRate;
  // "0": an adapter pulled out is not connected again when it comes
  // back. Read only, as LogSecrets.
  std::string Reconnect = "1";
  std::string DataBits = "8";
  std::string StopBits = "1";
  std::string Parity = "None";

  bool operator==(const Settings&) const = default;
};

// Reads every key; a missing file, section or key gives the default above.
// Nothing is reported and nothing is created. The temporaries that killed
// saves left beside the file are removed.
// A file that is refused (another user's, or larger than any settings file)
// is read as missing; ignored, when given, then tells why in words.
Settings LoadSettings(const std::string& path = kSettingsFileName, std::string* ignored = nullptr);

// Writes all nine keys, in this order: Device, SaveLogTrace, ViewTraceMenu,
// ViewLogTrace in [MACHINE], then ComPort, BaudRate, DataBits, StopBits,
// Parity in [EnvBoard], and CustomBaudRate beside them when it is set. An existing file keeps its
// own order and every other line; the file is replaced atomically. Raises velimo::Exception "Unable
// to write to <path>".
void SaveSettings(const Settings& settings, const std::string& path = kSettingsFileName);

}  // namespace velimo::settings
