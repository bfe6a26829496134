// velimo-cli: Velimo's main window without a display, for scripts and
// tests. See CliUsage() for what it does.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli_options.h"
#include "output.h"
#include "profile/profile_file.h"
#include "profile_commands.h"
#include "serial/port_list.h"
#include "session.h"
#include "trace/trace_pane.h"
#include "ui/headless_platform.h"
#include "util/version.h"

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
      ++errors_reported_;
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
    // Profiles are read, and refused, before the port is opened: a refused
    // file sends nothing at all.
    for (size_t i = 0; i < options_.commands.size(); ++i) {
      const Command& c = options_.commands[i];
      if (c.kind != Command::Kind::CompareProfile && c.kind != Command::Kind::ApplyProfile)
        continue;
      velimo::profile::ProfileRead read = velimo::profile::ReadProfileFile(c.value);
      std::string error = read.error;
      if (read.profile) {
        const std::string mismatch = velimo::profile::ModelMismatch(*read.profile, options_.model);
        if (!mismatch.empty()) error = c.value + ": " + mismatch;
      }
      if (!error.empty()) {
        Complain(error);
        return 1;
      }
      profiles_[i] = std::move(*read.profile);
    }

    session.SelectModel(options_.model);
    velimo::cli::LinkChoice link;
    link.port = options_.port;
    link.baud = options_.baud;
    link.parity = options_.parity;
    link.flow_index = options_.flow_index;
    const int errorsBefore = errors_reported_;
    if (!session.Connect(link)) {
      // The connect handler stopped at an error of its own (the log could
      // not be written before the port was tried): that error has been
      // reported, and the port was never the trouble.
      if (errors_reported_ != errorsBefore) return 1;
      Complain("cannot open the serial port " + options_.port);
      return 2;
    }
    Settle(session);

    for (size_t i = 0; i < options_.commands.size(); ++i) {
      if (platform_.RestartRequested()) break;
      RunCommand(session, options_.commands[i], i);
    }
    if (options_.commands.empty() && !platform_.RestartRequested())
      Print(session.PageSetControls());
    if (platform_.RestartRequested()) {
      Complain("the link was lost and the program would start anew here; the run ends");
    }
    return failed_ ? 1 : differs_ ? 3 : 0;
  }

 private:
  void Box(std::string_view text) {
    // Why a port was refused follows the message on lines of its own.
    constexpr std::string_view kRefused = "ERROR! Please check your serial port status.\n";
    if (text.starts_with(kRefused)) {
      Out("message: " + velimo::cli::OneLine(kRefused) + "\n");
      std::string_view rest = text.substr(kRefused.size());
      while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        Out("reason: " + velimo::cli::OneLine(rest.substr(0, end)) + "\n");
        rest.remove_prefix(std::min(end + 1, rest.size()));
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

  void Report(const velimo::cli::ProfileCommandResult& r) {
    Out(r.out);
    if (!r.error.empty()) Complain(r.error);
    if (r.status == 1) failed_ = true;
    if (r.status == 3) differs_ = true;
  }

  void RunCommand(Session& session, const Command& c, size_t index) {
    switch (c.kind) {
      case Command::Kind::SaveProfile:
        Report(velimo::cli::SaveProfileCommand(
            session, c.value, {options_.with_identity, options_.with_secrets},
            session.Main().ComPortEnvBoard.Port(), options_.json));
        break;
      case Command::Kind::CompareProfile:
        Report(velimo::cli::CompareProfileCommand(session, profiles_.at(index), c.value,
                                                  options_.json));
        break;
      case Command::Kind::ApplyProfile:
        Report(
            velimo::cli::ApplyProfileCommand(session, profiles_.at(index), c.value, options_.json));
        break;
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
  int errors_reported_ = 0;  // default error reports so far
  bool differs_ = false;
  std::map<size_t, velimo::profile::Profile> profiles_;
};

// --list: names for shell completion, one a line. The windows are made
// with an empty settings file, so no settings and no log are touched.
int List(const CliOptions& options) {
  using List = CliOptions::List;
  std::vector<std::string> names;
  if (options.list == List::Commands) {
    names = velimo::cli::CommandWords();
  } else if (options.list == List::Ports) {
    names = velimo::serial::EnumerateSerialPorts().value_or(std::vector<std::string>{});
  } else {
    velimo::ui::HeadlessPlatform platform;
    velimo::ui::ApplicationOptions quiet;
    quiet.settings_path = "/dev/null";
    Session session(platform, quiet);
    session.SelectModel(options.model);
    names = session.ReachableNames(options.list == List::Editors);
  }
  for (const std::string& name : names) Out(name + "\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
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
  if (parsed.options->version) {
    Out(std::string(kProgram) + " (" + velimo::kProgramName + ") " + velimo::kVersion + "\n");
    return 0;
  }
  if (parsed.options->list != CliOptions::List::None) return List(*parsed.options);
  Driver driver(*parsed.options);
  return driver.Run();
}
