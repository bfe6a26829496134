#include "ports_command.h"

#include <cstdio>

#include "exit_status.h"
#include "output.h"
#include "serial/open_refusal.h"
#include "serial/port_identity.h"

namespace velimo::cli {

namespace {

// A field of a plain line: sysfs strings are UTF-8, and a control
// character in one (a tab in a product name) is escaped so the columns hold.
std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : PlainUtf8(text);
}

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int RunPortsCommand(const std::vector<std::string>& args) {
  bool json = false;
  std::string root;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--root" && i + 1 < args.size()) {
      root = args[++i];
    } else if (args[i].rfind("--root=", 0) == 0) {
      root = args[i].substr(7);
    } else {
      std::fprintf(stderr, "velimo-cli: ports takes only --json and --root DIR, not \"%s\"\n",
                   args[i].c_str());
      return 2;
    }
  }
  const serial::SystemRoots roots = serial::SystemRoots::Under(root);
  const auto ports = serial::IdentifyPorts(roots);
  if (!ports) {
    std::fprintf(stderr, "velimo-cli: cannot read %s\n", roots.sys_class_tty.c_str());
    return 1;
  }
  std::string out = json ? "[" : "";
  bool first = true;
  for (const serial::PortIdentity& p : *ports) {
    const std::string state = serial::PortState(p.path, roots);
    if (json) {
      out += first ? "" : ",";
      out += "{\"path\":" + JsonStringUtf8(p.path) + ",\"by_id\":" + JsonStringUtf8(p.by_id) +
             ",\"vid\":" + JsonStringUtf8(p.vid) + ",\"pid\":" + JsonStringUtf8(p.pid) +
             ",\"serial\":" + JsonStringUtf8(p.serial) +
             ",\"manufacturer\":" + JsonStringUtf8(p.manufacturer) +
             ",\"product\":" + JsonStringUtf8(p.product) +
             ",\"driver\":" + JsonStringUtf8(p.driver) +
             ",\"description\":" + JsonStringUtf8(p.Description()) +
             ",\"state\":" + JsonStringUtf8(state) + "}";
    } else {
      out += PlainUtf8(p.path) + "\t" + OrDash(p.by_id) + "\t" + OrDash(p.VidPid()) + "\t" +
             OrDash(p.serial) + "\t" + OrDash(p.Description()) + "\t" + PlainUtf8(state) + "\n";
    }
    first = false;
  }
  if (json) out += "]\n";
  Write(out);
  return ports->empty() ? kExitShortOf : kExitDone;  // no port is nothing found
}

}  // namespace velimo::cli
