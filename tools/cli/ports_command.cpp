#include "ports_command.h"

#include <cstdio>

#include "output.h"
#include "serial/open_refusal.h"
#include "serial/port_identity.h"

namespace velimo::cli {

namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : text;
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
      out += "{\"path\":" + JsonString(p.path) + ",\"by_id\":" + JsonString(p.by_id) +
             ",\"vid\":" + JsonString(p.vid) + ",\"pid\":" + JsonString(p.pid) +
             ",\"serial\":" + JsonString(p.serial) +
             ",\"manufacturer\":" + JsonString(p.manufacturer) +
             ",\"product\":" + JsonString(p.product) + ",\"driver\":" + JsonString(p.driver) +
             ",\"description\":" + JsonString(p.Description()) + ",\"state\":" + JsonString(state) +
             "}";
    } else {
      out += p.path + "\t" + OrDash(p.by_id) + "\t" + OrDash(p.VidPid()) + "\t" + OrDash(p.serial) +
             "\t" + OrDash(p.Description()) + "\t" + state + "\n";
    }
    first = false;
  }
  if (json) out += "]\n";
  Write(out);
  return 0;
}

}  // namespace velimo::cli
