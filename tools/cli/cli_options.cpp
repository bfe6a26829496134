#include "cli_options.h"

#include <algorithm>
#include <charconv>

#include "exit_status.h"
#include "forms/pages/page_parts.h"

namespace velimo::cli {

namespace {

bool IsCommandWord(const std::string& word) {
  const auto& words = CommandWords();
  return std::find(words.begin(), words.end(), word) != words.end();
}

std::optional<int> Milliseconds(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 0) return std::nullopt;
  return value;
}

}  // namespace

const std::vector<std::string>& CommandWords() {
  static const std::vector<std::string> words = {
      "read",         "print",           "set",          "click", "wait", "show",
      "save-profile", "compare-profile", "apply-profile"};
  return words;
}

const std::vector<std::string>& BaudEntries() {
  // The connect dialog's list, as its page declaration holds it.
  static const std::vector<std::string> entries = forms::pages::BaudItems();
  return entries;
}

ParsedCli ParseCli(const std::vector<std::string>& args) {
  CliOptions options;
  auto fail = [](std::string error) { return ParsedCli{std::nullopt, std::move(error)}; };
  bool have_model = false;
  // Asking for help or the version is never a usage error, whatever
  // stands beside it.
  for (const std::string& word : args) {
    if (word == "--help" || word == "-h") {
      options.help = true;
      return {options, ""};
    }
    if (word == "--version") {
      options.version = true;
      return {options, ""};
    }
  }

  for (size_t i = 0; i < args.size(); ++i) {
    std::string word = args[i];
    if (word.starts_with("--")) {
      std::string name = word;
      std::optional<std::string> inline_value;
      if (auto eq = word.find('='); eq != std::string::npos) {
        name = word.substr(0, eq);
        inline_value = word.substr(eq + 1);
      }
      auto value = [&]() -> std::optional<std::string> {
        if (inline_value) return inline_value;
        if (i + 1 < args.size()) return args[++i];
        return std::nullopt;
      };
      auto flag = [&](bool& target) {
        if (inline_value) return false;
        target = true;
        return true;
      };
      if (name == "--fleet-worker") {
        if (!flag(options.fleet_worker)) return fail(name + " takes no value");
      } else if (name == "--unit-value") {
        auto v = value();
        const auto eq = v ? v->find('=') : std::string::npos;
        if (eq == std::string::npos || eq == 0) return fail("--unit-value needs KEY=VALUE");
        options.unit_values.emplace_back(v->substr(0, eq), v->substr(eq + 1));
      } else if (name == "--yes" || name == "--json" || name == "--trace" ||
                 name == "--with-identity" || name == "--with-secrets" || name == "--keep-going") {
        bool& target = name == "--yes"             ? options.yes
                       : name == "--json"          ? options.json
                       : name == "--trace"         ? options.trace
                       : name == "--with-identity" ? options.with_identity
                       : name == "--keep-going"    ? options.keep_going
                                                   : options.with_secrets;
        if (!flag(target)) return fail(name + " takes no value");
      } else if (name == "--port") {
        auto v = value();
        if (!v || v->empty()) return fail("--port needs a serial port");
        // Kept as typed: the serial port reads it by the same rule as the
        // connect dialog's port box.
        options.port = *v;
      } else if (name == "--model") {
        auto v = value();
        if (v == "auto") {
          options.model = 'a';
        } else if (!v || v->size() != 1 || std::string("suri").find((*v)[0]) == std::string::npos) {
          return fail("--model needs one of s, u, r, i, auto");
        } else {
          options.model = (*v)[0];
        }
        have_model = true;
      } else if (name == "--baud") {
        auto v = value();
        const auto& rates = BaudEntries();
        if (!v || std::find(rates.begin(), rates.end(), *v) == rates.end())
          return fail(
              "--baud needs one of 600, 1200, 2400, 3600, 4800, 7200, 9600, 19200, "
              "38400, 57600, 115200, 230400, 460800, 921600");
        options.baud = *v;
      } else if (name == "--parity") {
        auto v = value();
        if (v == "none") {
          options.parity = "None";
        } else if (v == "odd") {
          options.parity = "Odd";
        } else if (v == "even") {
          options.parity = "Even";
        } else {
          return fail("--parity needs one of none, odd, even");
        }
      } else if (name == "--list") {
        auto v = value();
        if (v == "commands") {
          options.list = CliOptions::List::Commands;
        } else if (v == "controls") {
          options.list = CliOptions::List::Controls;
        } else if (v == "editors") {
          options.list = CliOptions::List::Editors;
        } else if (v == "ports") {
          options.list = CliOptions::List::Ports;
        } else {
          return fail("--list needs one of commands, controls, editors, ports");
        }
      } else if (name == "--flow") {
        auto v = value();
        if (v == "off") {
          options.flow_index = 0;
        } else if (v == "rtscts") {
          options.flow_index = 1;
        } else {
          return fail("--flow needs one of off, rtscts");
        }
      } else {
        return fail("unknown option \"" + word + "\"");
      }
      continue;
    }

    Command command;
    if (word == "read") {
      command.kind = Command::Kind::Read;
    } else if (word == "print") {
      command.kind = Command::Kind::Print;
    } else if (word == "set") {
      if (i + 1 >= args.size()) return fail("set needs NAME=VALUE");
      const std::string& pair = args[++i];
      const auto eq = pair.find('=');
      if (eq == std::string::npos || eq == 0)
        return fail("set needs NAME=VALUE, not \"" + pair + "\"");
      command.kind = Command::Kind::Set;
      command.name = pair.substr(0, eq);
      command.value = pair.substr(eq + 1);
    } else if (word == "click") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return fail("click needs a control name");
      command.kind = Command::Kind::Click;
      command.name = args[++i];
    } else if (word == "wait") {
      auto ms = i + 1 < args.size() ? Milliseconds(args[i + 1]) : std::nullopt;
      if (!ms) return fail("wait needs a number of milliseconds");
      ++i;
      command.kind = Command::Kind::Wait;
      command.ms = *ms;
    } else if (word == "show") {
      command.kind = Command::Kind::Show;
      while (i + 1 < args.size() && !IsCommandWord(args[i + 1]) && !args[i + 1].starts_with("--"))
        command.names.push_back(args[++i]);
      if (command.names.empty()) return fail("show needs at least one control name");
    } else if (word == "save-profile" || word == "compare-profile" || word == "apply-profile") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return fail(word + " needs a profile file");
      command.kind = word == "save-profile"      ? Command::Kind::SaveProfile
                     : word == "compare-profile" ? Command::Kind::CompareProfile
                                                 : Command::Kind::ApplyProfile;
      command.value = args[++i];
    } else {
      return fail("unknown command \"" + word + "\"");
    }
    options.commands.push_back(std::move(command));
  }
  using List = CliOptions::List;
  if (options.list == List::Commands || options.list == List::Ports) return {options, ""};
  if (options.list != List::None) {
    if (!have_model)
      return fail("--list " + std::string(options.list == List::Controls ? "controls" : "editors") +
                  " needs --model");
    return {options, ""};
  }
  if (options.port.empty()) return fail("--port is required");
  if (!have_model) return fail("--model is required");
  return {options, ""};
}

std::string CliUsage() {
  return R"(Usage: velimo-cli --port PORT --model s|u|r|i|auto [OPTION...] [COMMAND...]
  or:  velimo-cli --port PORT --port PORT... [BENCH OPTION...] --model s|u|r|i
              [OPTION...] [COMMAND...]
  or:  velimo-cli ports [--json]
  or:  velimo-cli scan [--port PORT]... [--json]
  or:  velimo-cli --list commands|controls|editors|ports [--model s|u|r|i]

Drives Velimo's main window without a display: selects the model through its
menu, connects through the connect dialog (so "AT&V" goes out as in the
window), serves the port until the answer is read or the response watchdog
fires and the line has been quiet for 300 ms, then runs the commands in order.

Options:
  --port PORT     serial port: a path (/dev/ttyUSB0, or relative to the
                  working directory as ./ttyVelimo-s or ../ttyVelimo-s), a
                  name under /dev (ttyUSB0, serial/by-id/...), or COMn
                  (/dev/ttyS<n-1>); or a serial port behind the network:
                  rfc2217://HOST:PORT (line settings sent to the server) or
                  tcp://HOST:PORT (bytes only), HOST a name, an IPv4
                  address or an [IPv6] address; or auto, the one modem a
                  scan finds (several found are named and refused)
  --model M       s sTavi, u uTavi, r rTavi, i ioTavi, auto (from a scan)
  --baud N        one of the connect dialog's rates (600 ... 921600); 9600
  --parity P      none (default), odd or even
  --flow F        off (default) or rtscts
  --yes           answer Yes to confirmations (system and factory reset);
                  without it every confirmation is answered No
  --json          print the controls as one JSON object, on one line, per
                  print (message lines stay as they are)
  --trace         copy the trace pane to standard error
  --with-identity save-profile also writes the unit's own address (MYID)
  --with-secrets  save-profile also writes the AES key and IV; such a file
                  is readable by its owner only (0600). Without it the key
                  and IV are masked (one * per character) in what is
                  printed, in --json, in reports and in the --trace copy
  --keep-going    go on after a failed set or click (see below) instead of
                  ending the script there
  --list WHAT     print names, one a line, and end without touching a port
                  (for shell completion): commands, the command words;
                  controls, every control the commands reach for --model
                  (its page set, the window's own and the connect dialog's);
                  editors, those of them that set accepts; ports, the
                  serial ports the connect dialog offers
  --help          this text
  --version       the program's name and version

A bench of units: with --port given more than once, or as "--port all", or
with --units or --report (a bench of one unit is a bench too), the commands
run on every port at once, each in a worker process of its own (the
program itself), and a summary table of the units ends the run. A hung or
unplugged unit never holds up the others; every unit is a row of the report.
  --port all      every free port on which a scan finds a modem
  --jobs N        at most N units at once (default: all of them)
  --units FILE    a CSV file with a header, a row per unit: one column Port
                  (the device, by any of its names), ById (its
                  /dev/serial/by-id name) or Serial (its USB serial number)
                  says which unit; every other column is a profile key (MYID,
                  DID ...) whose value goes on top of the profile for that
                  unit. A row whose unit is not found, and a port that has no
                  row, are reported as failed; nothing is guessed. A row out
                  of range, a column named twice or two rows with one MYID
                  refuse the whole file ("line N: reason")
  --report FILE   write one row per unit to FILE.csv or FILE.json (may be
                  given twice; the same fields in both): what was run
                  (version, command line, profile and its SHA-256, host,
                  user, start and end), port, by-id name, USB serial, model,
                  firmware, source ID before and after, result (read,
                  matched, applied and verified, differs, did-not-stick,
                  failed, interrupted), the reason, each setting written
                  ("CH: 7 -> 12 verified"), the profiles saved, start and end
Before the first unit is touched, everything is checked: the report's
folder exists and is writable, the report is not the units file, a FIFO or
a device, every row of the units file holds, and a profile holding MYID goes
to several units only with a MYID for each from --units. One device named
several ways is one unit. save-profile FILE saves one file per unit, the
unit's USB serial (or its port's name) inserted before the extension, each
listed below the summary. Ctrl-C or SIGTERM: each worker finishes the line
in flight and sends nothing more; the report is written and the summary
printed (status 130). CSV cells that a spreadsheet would run as formulas
(beginning with =, +, -, @, tab or CR, and not a plain number) begin with '.
On a terminal a progress line per unit is redrawn as the workers go.

Commands:
  ports           (alone, as the first word) list the serial ports: path,
                  by-id name, vid:pid, serial, description and state (free,
                  in use by PID n (name), no permission); --json for an array
  scan            (alone, as the first word) find modems on the free ports,
                  or the --port ones: the dialog's rates, most common first,
                  and each parity, with the status query only; one line per
                  modem found (port, rate, parity, family, firmware, source
                  ID)
  read            send the status query again, wait as after connecting, print
  print           print without asking the modem
  set NAME=VALUE  type VALUE into the editor NAME (through its keyboard filter
                  and length limit, as the operator types), or pick the entry
                  VALUE of the list NAME, or tick the check box NAME (1 or 0);
                  its change handler runs. Hidden and disabled editors too
  click NAME      the click of a button, menu item, header panel or check box,
                  hidden and disabled ones too (the save-alls reach hidden
                  Save buttons the same way); the connect dialog's controls
                  (Btn_Connect, CB_ComPort ...) are reachable by name too;
                  a Save after a report of another family than --model
                  sends nothing (message, status 1)
  wait MS         serve port events and timers for MS milliseconds
  show NAME...    print the named controls only
  save-profile FILE
                  read the modem and write its configuration to FILE (a
                  .vprofile: one KEY = VALUE per setting, values as the
                  window shows them; MYID, AESKEY and AESIV only with the
                  options above); a setting the modem did not report is left
                  out, named in a comment and as "left out KEY: not reported"
  compare-profile FILE
                  read the modem and print one line per setting of FILE it
                  holds otherwise: KEY: modem=VALUE profile=VALUE, or did
                  not report: KEY: not reported (profile=VALUE)
  apply-profile FILE
                  write the settings of FILE the modem holds otherwise, one
                  line each as its Save button sends it, paced as the page's
                  save-all paces the same line (200 ms, 100 ms after some
                  sTavi and rTavi lines, 400 or 500 ms on the ioTavi); baud rate,
                  parity and flow control last and one at a time, the port
                  reopened and the modem read after each (back to the old
                  settings when it does not answer there), never through a
                  raw tcp:// port; then read the modem back and print per
                  setting KEY: OUTCOME, and "link:" where the modem talks:
                    unchanged                 held before, nothing sent
                    verified                  written, read back as wanted
                    did-not-stick (modem=X)   read back as X
                    written, not verified (no answer|not reported|...)
                    not sent                  the run ended before its line
                    skipped (REASON)          deliberately not sent
                  A profile file is read before the port is opened: a file
                  that is refused (unknown key, another model's key, a value
                  out of range, no Model) sends nothing. Before anything is
                  written, the family the modem's report shows must be the
                  one of --model and of the profile (sTavi and uTavi are one).
A failed step ends the script with status 1, and nothing after it is sent
(unless --keep-going): a set whose value the editor does not take whole (a
key its filter refuses, a value longer than it holds), a list entry that
does not exist (entries are matched without regard to case), a click whose
Save refuses the value, a message that tells of a failure.
After each set and click the answers are served until the line has been quiet
for 300 ms (and, when a status query went out, until it was answered or the
watchdog fired). With no command the configuration is printed after connecting.

Printing gives every information label and editor of the model's page set as
NAME=VALUE, one line each, named as in the window definitions (a list gives
the text of its selected entry); a control the modem's answer did not fill in
shows a start value that is not the modem's and is printed as
NAME (not read), null in --json. A status query without an answer prints
nothing and ends with status 1, naming the port, rate and parity tried; so
does a report of another family than --model's (sTavi and uTavi are one),
whose lines would fill the labels by the wrong rules. Each message box is printed when it is shown
as "message: <text>", each confirmation as "confirm: <text> -> Yes|No".
At the end the port is closed as destroying the window closes it. The settings
file ./Velimo.INI is read as the program reads it (its trace options apply)
and never written.

velimo-cli ports lists the serial ports, one line each, fields separated by
tabs ("-" where a field is unknown): the device path, its /dev/serial/by-id
name, the USB vendor:product ids, the USB serial number, a description, and
its state: free, in use by PID n (name), or no permission. With --json
the same as one array of objects. --root DIR reads /sys and /dev below DIR.

velimo-cli scan looks for modems on the named ports, or on every port of the
list: each port that is free is tried in parallel at the connect dialog's
rates, most common first (9600, 115200, 57600, 38400, 19200, then the rest),
and each parity, sending only the status query "AT&V" and listening briefly
for a line of a configuration report. It prints one line per modem found:
port, rate, parity, family, firmware and source ID, separated by tabs (--json:
one array). sTavi and uTavi send the same report and are shown as "sTavi or
uTavi". A port another process has open is not touched: it is named with
its holder on standard error. A probed port gets back the line settings it
had, also when Ctrl-C stops the scan (status 130). Names of one device
("COM1" and /dev/ttyS0) are probed once. rfc2217:// ports are tried at each
rate and parity through their server; tcp:// ports once, at the server's
fixed rate, telling only the family ("-" for rate and parity). When nothing is
found, each port tried is named with why. A port named with --port that is in use or
cannot be probed is a failure (1); nothing found is 3.

--port auto and --model auto in the other commands take the port, rate,
parity and model from a scan (of all ports, or of the named port) when it
finds exactly one modem; several are refused with their names (a failure:
name one with --port), none ends with status 3.

)" + ExitStatusTable() +
         R"(
Examples:
  $ velimo-cli --port ./ttyVelimo-s --model s
  $ velimo-cli --port /dev/ttyUSB0 --model s --baud 115200 --json print
  $ velimo-cli --port ./ttyVelimo-s --model s click Btn_Left_LoRa set CB_S_Ch=5
  $ velimo-cli --port ./ttyVelimo-s --model s click Btn_S_SaveAll_LoRaPage read
  $ velimo-cli --port ./ttyVelimo-r --model r show LB_R_FwVer LB_R_Mode
  $ velimo-cli --port ./ttyVelimo-s --model s --yes click Btn_FactoryReset
  $ velimo-cli --port ./ttyVelimo-i --model i --trace click Btn_I_ATModeOn wait 500
  $ velimo-cli --port /dev/ttyUSB0 --model s save-profile site.vprofile
  $ velimo-cli --port /dev/ttyUSB0 --model s --json apply-profile site.vprofile
  $ velimo-cli --port all --model s --units units.csv --report bench.csv apply-profile site.vprofile
)";
}

}  // namespace velimo::cli
