#include "options.h"

#include <algorithm>
#include <climits>

#include "omitted_lines.h"

namespace velimo::sim {

namespace {

std::optional<int> Count(const std::string& text, int low) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low) return std::nullopt;
  return value;
}

}  // namespace

std::string IgnoredCommand(std::string_view key) {
  std::string upper;
  for (char c : key) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper.empty() ||
      upper.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+") != std::string::npos)
    return {};
  if (upper == "AESIV") return "IV";
  // The three port identifiers share one command.
  if (upper == "PID1" || upper == "PID2" || upper == "PID3") return "AT+PID=";
  return "AT+" + upper + "=";
}

std::string UsageText() {
  return R"(Usage: velimo-modem-sim --model s|u|r|i [options]
  or:  velimo-modem-sim --bench LIST [--dir DIR] [options for every modem]

Simulates an sTavi (s), uTavi (u), rTavi (r) or ioTavi (i) LoRa modem on a
pseudo-terminal. The slave side is linked to PATH, which is printed on one
line of standard output; the modem then answers the program's command lines
until it gets SIGINT or SIGTERM, and removes the link on exit.

Options:
  --model s|u|r|i      the modem family (required)
  --link PATH          where to link the pseudo-terminal (./ttyVelimo-<model>)
  --state FILE         load the configuration from FILE if it exists, and
                       write it there after every change
  --firmware VERSION   1.0, 1.1, 1.3 (default), usa or japan
  --silent             receive but never answer
  --delay MS           wait MS milliseconds before each answer
  --chunk N            send each answer in pieces of N bytes ...
  --chunk-pause MS     ... with MS milliseconds between them (default 10)
  --vanish-after N     after answering N commands, close the pseudo-terminal
                       as an unplugged adapter would, remove the link and exit
  --foreign MODEL      answer as family MODEL instead (a wrongly chosen model)
  --ignore KEY[,KEY]   acknowledge these settings but keep their old values
                       (a setting that does not stick); keys as a profile
                       names them: CH, DID, BAU, 485+BAU, AESKEY, AESIV ...
  --omit TEXT[,TEXT]   leave out the answer lines that begin with these texts
                       (leading blanks aside), as a firmware that omits a
                       report line: --omit "Baudrate,Message Timeout"
  --rate-watch         after acknowledging a new baud rate, answer only while
                       the line is set to that rate (the rate the program set
                       on the pseudo-terminal; parity does not show there)
  --line-rate N        the modem's port is set to N baud: it reports that rate
                       and answers only while the line runs at it (the rate
                       the program set on the pseudo-terminal)
  --verbose            log every command received to standard error
  --help               this text
  --version            the program's name and version

A bench starts several modems at once, one process each: LIST names them in
order, as model letters each with an optional count (4s,2u,r,i: four sTavi,
two uTavi, an rTavi and an ioTavi). Modem n (from 1) is linked as
DIR/ttyVelimo-<n> (DIR defaults to .) and keeps its configuration in
DIR/modem-<n>.state; each prints its link when ready. SIGINT or SIGTERM ends
them all.

Examples:
  $ velimo-modem-sim --model s
  $ velimo-modem-sim --model i --link /tmp/ttyIo --state /tmp/io.state
  $ velimo-modem-sim --model s --firmware 1.0 --chunk 3 --chunk-pause 20
  $ velimo-modem-sim --model r --vanish-after 4
  $ velimo-modem-sim --model i --ignore CH,485+BAU --rate-watch
  $ velimo-modem-sim --bench 8s,4r,4i --dir /tmp/bench
)";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool have_model = false;
  std::optional<Family> foreign;
  auto fail = [](std::string error) { return ParsedOptions{std::nullopt, std::move(error)}; };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inline_value;
    if (auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      inline_value = name.substr(equals + 1);
      name = name.substr(0, equals);
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

    if (name == "--help" || name == "-h") {
      options.help = true;
      return {options, ""};
    }
    if (name == "--version") {
      options.version = true;
      return {options, ""};
    }
    if (name == "--silent") {
      if (!flag(options.silent)) return fail("--silent takes no value");
    } else if (name == "--verbose") {
      if (!flag(options.verbose)) return fail("--verbose takes no value");
    } else if (name == "--model" || name == "--foreign") {
      auto v = value();
      auto family = v ? FamilyFromCode(*v) : std::nullopt;
      if (!family) return fail(name + " needs one of s, u, r, i");
      if (name == "--model") {
        options.model = *family;
        have_model = true;
      } else {
        foreign = family;
      }
    } else if (name == "--rate-watch") {
      if (!flag(options.rate_watch)) return fail("--rate-watch takes no value");
    } else if (name == "--ignore") {
      auto v = value();
      if (!v || v->empty()) return fail("--ignore needs setting keys, such as CH,DID");
      const std::string_view list = *v;
      for (size_t start = 0;;) {
        const size_t comma = list.find(',', start);
        const std::string_view key = list.substr(start, comma - start);
        const std::string command = IgnoredCommand(key);
        if (command.empty())
          return fail("--ignore: \"" + std::string(key) + "\" is not a setting key");
        options.ignored.insert(command);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
    } else if (name == "--omit") {
      auto v = value();
      options.omitted = v ? OmittedTexts(*v) : std::set<std::string>{};
      if (options.omitted.empty())
        return fail("--omit needs the starts of report lines, such as Baudrate,Message Timeout");
    } else if (name == "--link" || name == "--state") {
      auto v = value();
      if (!v || v->empty()) return fail(name + " needs a path");
      (name == "--link" ? options.link : options.state_file) = *v;
    } else if (name == "--firmware") {
      auto v = value();
      auto firmware = v ? FirmwareFromName(*v) : std::nullopt;
      if (!firmware) return fail("--firmware needs one of 1.0, 1.1, 1.3, usa, japan");
      options.firmware = *firmware;
    } else if (name == "--delay" || name == "--chunk" || name == "--chunk-pause" ||
               name == "--vanish-after") {
      auto v = value();
      bool positive = name == "--chunk" || name == "--vanish-after";
      auto n = v ? Count(*v, positive ? 1 : 0) : std::nullopt;
      if (!n) return fail(name + (positive ? " needs a number above 0" : " needs a number"));
      if (name == "--delay") options.delay_ms = *n;
      if (name == "--chunk") options.chunk = *n;
      if (name == "--chunk-pause") options.chunk_pause_ms = *n;
      if (name == "--vanish-after") options.vanish_after = *n;
    } else if (name == "--line-rate") {
      // A modem set to one rate: at any other the line is noise to it.
      auto v = value();
      auto n = v ? Count(*v, 1) : std::nullopt;
      if (!n || std::find(kBaudRates.begin(), kBaudRates.end(), *v) == kBaudRates.end())
        return fail("--line-rate needs one of the modem's rates (600 ... 921600)");
      options.line_rate = *n;
    } else {
      return fail("unknown argument \"" + args[i] + "\"");
    }
  }
  if (!have_model) return fail("--model is required");
  options.behaves_as = foreign.value_or(options.model);
  if (options.link.empty()) options.link = "./ttyVelimo-" + std::string(FamilyCode(options.model));
  return {options, ""};
}

}  // namespace velimo::sim
