// Command line of velimo-cli: the link and the model, then the commands to
// run in order once connected.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velimo::cli {

struct Command {
  enum class Kind {
    Read,
    Print,
    Set,
    Click,
    Wait,
    Show,
    SaveProfile,
    CompareProfile,
    ApplyProfile
  };
  Kind kind = Kind::Print;
  std::string name;                // Set, Click: the control
  std::string value;               // Set: the editor text or list entry; profiles: the file
  int ms = 0;                      // Wait
  std::vector<std::string> names;  // Show
};

struct CliOptions {
  std::string port;
  char model = 0;  // 's', 'u', 'r' or 'i'
  // The connect dialog's entries, spelled as its lists spell them.
  std::string baud = "9600";
  std::string parity = "None";
  int flow_index = 0;  // 0 "OFF", 1 "RTS/CTS"
  bool yes = false;
  bool json = false;
  bool trace = false;
  bool help = false;
  bool with_identity = false;  // save-profile: MYID too
  bool with_secrets = false;   // save-profile: AESKEY and AESIV too
  bool keep_going = false;     // go on after a failed set or click
  bool version = false;
  // A worker of a bench run: its last line is the unit's result as one
  // JSON object, and each unit value goes on top of the profiles it uses.
  bool fleet_worker = false;
  std::vector<std::pair<std::string, std::string>> unit_values;
  // --list: what to print for shell completion instead of connecting.
  enum class List { None, Commands, Controls, Editors, Ports };
  List list = List::None;
  std::vector<Command> commands;
};

struct ParsedCli {
  std::optional<CliOptions> options;  // empty on a usage error
  std::string error;
};

// Parses the arguments after the program name. "--name value" and
// "--name=value" are both accepted; options may stand among the commands.
ParsedCli ParseCli(const std::vector<std::string>& args);

// The command words, in the order of the help text.
const std::vector<std::string>& CommandWords();

// The rates the connect dialog offers, in its order.
const std::vector<std::string>& BaudEntries();

std::string CliUsage();

}  // namespace velimo::cli
