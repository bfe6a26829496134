// velimo-cli: Velimo's main window without a display, for scripts and
// tests. See CliUsage() for what it does.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_options.h"
#include "output.h"
#include "ports_command.h"
#include "scan_command.h"
#include "session.h"
#include "trace/trace_pane.h"
#include "ui/headless_platform.h"

namespace {

using velimo::cli::CliOptions;
using velimo::cli::Command;
using velimo::cli::NamedValues;
using velimo::cli::Session;

const char kProgram[] = "velimo-cli";

void Out(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Err(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void Complain(const std::string& text) {
  Err(std::string(kProgram) + ": " + text + "\n");
}

class Driver {
 public:
  explicit Driver(const CliOptions& options) : options_(options) {
    platform_.on_message = [this](std::string_view text) { Box(text); };
    platform_.on_error = [this](std::string_view text) {
      // The default error report is a box too; it always tells of a fault.
      Out("message: " + velimo::cli::OneLine(text) + "\n");
      failed_ = true;
    };
    platform_.on_confirm = [this](std::string_view text) {
      Out("confirm: " + velimo::cli::OneLine(text) + (options_.yes ? " -> Yes\n" : " -> No\n"));
      return options_.yes;
    };
    platform_.on_restart = [this] { failed_ = true; };
  }

  int Run() {
    Session session(platform_);
    if (options_.trace) CopyTrace(session);
    // Every name is checked before the modem is touched.
    for (const Command& c : options_.commands) {
      std::optional<std::string> error;
      if (c.kind == Command::Kind::Set) error = session.CheckSettable(c.name);
      if (c.kind == Command::Kind::Click) error = session.CheckClickable(c.name);
      if (c.kind == Command::Kind::Show) {
        for (const auto& name : c.names)
          if (!error && !session.Find(name)) error = "there is no control \"" + name + "\"";
      }
      if (error) {
        Complain(*error);
        return 2;
      }
    }

    session.SelectModel(options_.model);
    velimo::cli::LinkChoice link;
    link.port = options_.port;
    link.baud = options_.baud;
    link.parity = options_.parity;
    link.flow_index = options_.flow_index;
    if (!session.Connect(link)) {
      Complain("cannot open the serial port " + options_.port);
      return 2;
    }
    Settle(session);

    for (const Command& c : options_.commands) {
      if (platform_.RestartRequested()) break;
      RunCommand(session, c);
    }
    if (options_.commands.empty() && !platform_.RestartRequested())
      Print(session.PageSetControls());
    if (platform_.RestartRequested()) {
      Complain("the link was lost and the program would start anew here; the run ends");
    }
    return failed_ ? 1 : 0;
  }

 private:
  void Box(std::string_view text) {
    // A refused port's reasons stand below its message, one per line.
    if (const auto reasons = text.find("\n\n"); reasons != std::string_view::npos) {
      Out("message: " + velimo::cli::OneLine(text.substr(0, reasons)) + "\n");
      std::string_view rest = text.substr(reasons + 2);
      while (!rest.empty()) {
        const auto end = rest.find('\n');
        Out("  " + velimo::cli::Utf8FromLatin1(rest.substr(0, end)) + "\n");
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      }
      failed_ = true;
      return;
    }
    Out("message: " + velimo::cli::OneLine(text) + "\n");
    if (velimo::cli::IsFailureMessage(text)) failed_ = true;
  }

  void Settle(Session& session) {
    if (!session.Settle()) {
      Complain("the line did not fall quiet; going on");
      failed_ = true;
    }
  }

  void RunCommand(Session& session, const Command& c) {
    switch (c.kind) {
      case Command::Kind::Read:
        session.Run([&] { session.Main().Btn_S_CurrentStatus.Click(); });
        Settle(session);
        Print(session.PageSetControls());
        break;
      case Command::Kind::Print:
        Print(session.PageSetControls());
        break;
      case Command::Kind::Set:
        if (auto error = session.Set(c.name, c.value)) {
          Complain(*error);
          failed_ = true;
        }
        Settle(session);
        break;
      case Command::Kind::Click:
        if (auto error = session.Click(c.name)) {
          Complain(*error);
          failed_ = true;
        }
        Settle(session);
        break;
      case Command::Kind::Wait:
        platform_.RunFor(c.ms);
        break;
      case Command::Kind::Show: {
        std::vector<velimo::ui::Control*> controls;
        for (const auto& name : c.names) controls.push_back(session.Find(name));
        Print(controls);
        break;
      }
    }
  }

  void Print(const std::vector<velimo::ui::Control*>& controls) {
    NamedValues values;
    for (const velimo::ui::Control* c : controls)
      values.emplace_back(c->Name(), Session::ValueOf(*c));
    Out(options_.json ? velimo::cli::FormatJson(values) : velimo::cli::FormatLines(values));
  }

  // Each trace line goes to standard error as the pane shows it.
  void CopyTrace(Session& session) {
    velimo::trace::TracePane& pane = session.Main().Trace().Pane();
    auto flush = [&pane] {
      const velimo::trace::PaneChanges changes = pane.TakeChanges();
      const auto& lines = pane.Lines();
      for (size_t i = changes.first; i < changes.first + changes.count && i < lines.size(); ++i) {
        Err(velimo::cli::Utf8FromLatin1(velimo::trace::TracePane::DisplayText(lines[i])) + "\n");
      }
    };
    pane.SetObserver(flush);
    flush();  // the lines written while the windows were made
  }

  const CliOptions& options_;
  velimo::ui::HeadlessPlatform platform_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "ports")
    return velimo::cli::RunPortsCommand({args.begin() + 1, args.end()});
  if (!args.empty() && args[0] == "scan")
    return velimo::cli::RunScanCommand({args.begin() + 1, args.end()});
  const velimo::cli::ParsedCli parsed = velimo::cli::ParseCli(args);
  if (!parsed.options) {
    Complain(parsed.error);
    Err(std::string("Try '") + kProgram + " --help'.\n");
    return 2;
  }
  if (parsed.options->help) {
    Out(velimo::cli::CliUsage());
    return 0;
  }
  velimo::cli::CliOptions options = *parsed.options;
  if (const int status = velimo::cli::ResolveAuto(options); status >= 0) return status;
  Driver driver(options);
  return driver.Run();
}
