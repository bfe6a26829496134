// velimo-cli: Velimo's main window without a display, for scripts and
// tests. See CliUsage() for what it does.
#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <shellapi.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli_options.h"
#include "exit_status.h"
#include "fleet/fleet_command.h"
#include "forms/headless_platform.h"
#include "interrupt.h"
#include "output.h"
#include "ports_command.h"
#include "profile/profile_file.h"
#include "profile_commands.h"
#include "protocol/models.h"
#include "scan_command.h"
#include "secrets.h"
#include "serial/port_identity.h"
#include "serial/port_list.h"
#include "session.h"
#include "trace/trace_pane.h"
#include "trace/trace_secret.h"
#include "util/restart.h"
#include "util/version.h"
#ifdef _WIN32
#include "util/wide_text_win.h"
#endif

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

// The last problem told, for a bench worker's result: UTF-8, its line
// breaks kept (the report escapes them by its own rules).
std::string last_problem;

// text is ours, with names and lines quoted from the command line and
// files (UTF-8); whatever control characters those hold are escaped.
void Complain(const std::string& text) {
  last_problem = text;
  Err(std::string(kProgram) + ": " + velimo::cli::PlainUtf8(text) + "\n");
}

// A message box's text as a report holds it.
std::string Problem(std::string_view text) {
  return velimo::cli::Utf8FromLatin1(velimo::cli::MessageText(text));
}

class Driver {
 public:
  explicit Driver(const CliOptions& options) : options_(options) {
    platform_.on_message = [this](std::string_view text) { Box(text); };
    platform_.on_error = [this](std::string_view text) {
      // The default error report is a box too; it always tells of a fault.
      last_problem = Problem(text);
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
    int status = RunCommands();
    // What was done before the interrupt has been told; the run ends as
    // interrupted, whatever that part came to.
    if (velimo::cli::Interrupted() && status != velimo::cli::kExitUsage) {
      status = velimo::cli::kExitInterrupted;
      if (!options_.fleet_worker) Err(std::string(kProgram) + ": " + InterruptedWhere() + "\n");
    }
    if (options_.fleet_worker) Out(WorkerResult(status));
    return status;
  }

 private:
  int RunCommands() {
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
        const std::string mismatch =
            velimo::profile::ModelMismatch(*read.profile, options_.model, "--model");
        if (!mismatch.empty()) error = c.value + ": " + mismatch;
      }
      if (error.empty() && !options_.unit_values.empty()) {
        read = velimo::profile::WithUnitValues(*read.profile, options_.unit_values);
        error = read.error;
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
    if (options_.fleet_worker) Out("connecting\n");  // a bench's progress line
    read_mark_ = velimo::forms::Control::SerialNow();
    if (!session.Connect(link)) {
      // The connect handler stopped at an error of its own (the log could
      // not be written before the port was tried): that error has been
      // reported, and the port was never the trouble.
      if (errors_reported_ != errorsBefore) return 1;
      const std::string why = last_problem;  // the refusal and its reasons
      Complain("cannot open the serial port " + options_.port);
      if (!why.empty()) last_problem = why;
      return velimo::cli::kExitFailure;
    }
    Settle(session);
    if (!Answered(session)) return 1;
    connected_ = true;
    if (velimo::cli::Interrupted()) return velimo::cli::kExitInterrupted;
    firmware_ = ShownValue(session, "FwVer");
    source_before_ = ShownValue(session, "SID");
    if (options_.fleet_worker)
      Out("connected: firmware " + velimo::cli::PlainText(firmware_) + ", source ID " +
          velimo::cli::PlainText(source_before_) + "\n");

    for (size_t i = 0; i < options_.commands.size(); ++i) {
      if (platform_.RestartRequested() || velimo::cli::Interrupted()) break;
      step_failed_ = false;
      RunCommand(session, options_.commands[i], i);
      if (!stopped_apply_.empty()) break;
      ++commands_run_;
      if (step_failed_ && !options_.keep_going && i + 1 < options_.commands.size()) {
        // What follows a failed step was meant to rest on it: nothing more
        // goes out.
        Complain("command " + std::to_string(i + 1) + " of " +
                 std::to_string(options_.commands.size()) +
                 " failed; the commands after it were not run (--keep-going runs them)");
        break;
      }
    }
    if (options_.commands.empty() && !platform_.RestartRequested() && !velimo::cli::Interrupted())
      Print(session, session.PageSetControls());
    if (platform_.RestartRequested()) {
      Complain("the link was lost and the program would start anew here; the run ends");
    }
    source_after_ = ShownValue(session, "SID");
    sent_secrets_ = session.Main().Trace().Sent();
    return failed_ ? 1 : differs_ ? 3 : 0;
  }

  // Whether the status query just sent was answered; when not, says where
  // it was tried and what to try next, and nothing read is printed.
  bool Answered(Session& session) {
    if (platform_.RestartRequested()) return true;  // told where the run ends
    if (session.Main().ResponseFlag != 0) return true;
    const std::string_view model = velimo::protocol::ModelName(options_.model);
    Complain("no answer to the status query from " +
             std::string(model.empty() ? "a modem" : model) + " on " + options_.port + " at " +
             options_.baud + " baud, parity " + options_.parity +
             "; nothing was read. Try --model auto, or 'velimo-cli scan' to find the rate, "
             "parity and model it answers at");
    failed_ = true;
    return false;
  }

  // The value the page set's information label shows (LB_S_FwVer ...);
  // empty when the modem's report did not fill it, or was another
  // family's and filled it by the wrong rules.
  std::string ShownValue(Session& session, const char* what) {
    const char set = options_.model == 'r' ? 'R' : options_.model == 'i' ? 'I' : 'S';
    const velimo::forms::Control* c = session.Find(std::string("LB_") + set + "_" + what);
    if (!c || c->ValueSerial() <= read_mark_ || !session.Main().FamilyMismatch().empty())
      return std::string();
    return Session::ValueOf(*c);
  }

  // Where an interrupt ended the run, in words.
  std::string InterruptedWhere() const {
    if (!stopped_apply_.empty()) return stopped_apply_;
    return "interrupted after " + std::to_string(commands_run_) + " of " +
           std::to_string(options_.commands.size()) +
           " commands; the line in flight was finished, nothing more was sent";
  }

  // A bench worker's last line: what became of its unit.
  std::string WorkerResult(int status) const {
    using velimo::cli::JsonString;
    std::string result;
    if (status == velimo::cli::kExitInterrupted) {
      result = "interrupted";
    } else if (status == 1 || status == 2) {
      result = "failed";
    } else if (applied_) {
      result = status == 3          ? "did-not-stick"
               : lines_written_ > 0 ? "applied and verified"
                                    : "matched";
    } else if (compared_) {
      result = status == 3 ? "differs" : "matched";
    } else {
      result = "read";
    }
    std::string reason;
    if (result == "interrupted") {
      reason = !connected_ ? "interrupted before the unit was read; nothing was sent"
               : !stopped_apply_.empty() || commands_run_ < options_.commands.size()
                   ? InterruptedWhere()
                   : "interrupted once every command had run";
    } else if (result == "failed") {
      reason = last_problem.empty() ? "ended with status " + std::to_string(status) : last_problem;
    } else if (result == "did-not-stick") {
      // Each setting short of the profile, with its own outcome: a kept
      // value, a setting not reported, one skipped or never sent.
      for (const std::string& d : differences_) {
        if (d.ends_with(" verified")) continue;
        reason += (reason.empty() ? "" : "; ") + d;
      }
    }
    // A modem's line quoted in the reason may repeat the key or IV sent,
    // with no keyword to find it by: masked by value, as in the log.
    if (!options_.with_secrets) sent_secrets_.Mask(reason);
    std::string diffs;
    for (std::string d : differences_) {
      if (!options_.with_secrets) sent_secrets_.Mask(d);
      diffs += (diffs.empty() ? "" : ", ") + JsonString(d);
    }
    std::string files;
    for (const std::string& f : files_)
      files += (files.empty() ? "" : ", ") + velimo::cli::JsonStringUtf8(f);
    return std::string("{\"fleet_result\": 1, \"model\": ") +
           JsonString(connected_ ? velimo::protocol::ModelName(options_.model) : "") +
           ", \"firmware\": " + JsonString(firmware_) +
           ", \"source_id_before\": " + JsonString(source_before_) +
           ", \"source_id_after\": " + JsonString(source_after_) +
           ", \"result\": " + JsonString(result) +
           ", \"reason\": " + velimo::cli::JsonStringUtf8(reason) + ", \"differences\": [" + diffs +
           "], \"files\": [" + files + "]}\n";
  }

  void Box(std::string_view text) {
    // A refused port's reasons stand below its message, one per line.
    constexpr std::string_view kRefused = "ERROR! Please check your serial port status.\n";
    if (text.starts_with(kRefused)) {
      Out("message: " + velimo::cli::OneLine(kRefused) + "\n");
      last_problem = Problem(text);
      std::string_view rest = text.substr(kRefused.size());
      while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        if (end > 0) Out("reason: " + velimo::cli::OneLine(rest.substr(0, end)) + "\n");
        rest.remove_prefix(std::min(end + 1, rest.size()));
      }
      failed_ = true;
      return;
    }
    Out("message: " + velimo::cli::OneLine(text) + "\n");
    if (velimo::cli::IsFailureMessage(text)) {
      failed_ = true;
      last_problem = Problem(text);
    }
  }

  void Settle(Session& session) {
    if (!session.Settle()) {
      Complain("the line did not fall quiet; going on");
      failed_ = true;
    }
  }

  void Report(const velimo::cli::ProfileCommandResult& r) {
    differences_.insert(differences_.end(), r.differences.begin(), r.differences.end());
    lines_written_ += r.lines_sent;
    Out(r.out);
    if (!r.error.empty()) Complain(r.error);
    if (r.status == 1) failed_ = true;
    if (r.status == 3) differs_ = true;
  }

  void RunCommand(Session& session, const Command& c, size_t index) {
    switch (c.kind) {
      case Command::Kind::SaveProfile: {
        const velimo::cli::ProfileCommandResult r = velimo::cli::SaveProfileCommand(
            session, c.value, {options_.with_identity, options_.with_secrets},
            session.Main().ComPortEnvBoard.Port(), options_.json);
        if (r.status == 0) files_.push_back(c.value);
        Report(r);
        break;
      }
      case Command::Kind::CompareProfile:
        compared_ = true;
        Report(velimo::cli::CompareProfileCommand(session, profiles_.at(index), c.value,
                                                  options_.json, options_.with_secrets));
        break;
      case Command::Kind::ApplyProfile: {
        applied_ = true;
        const velimo::profile::Profile& profile = profiles_.at(index);
        // A bench report tells each written setting's value before and
        // after: the values before are read here, as the apply reads them.
        std::map<std::string, std::string> before;
        if (options_.fleet_worker) {
          velimo::profile::ProfileRunner runner(session.Modem(), velimo::cli::SessionHost(session));
          for (const auto& d : runner.Compare(profile).differences)
            before[std::string(d.def->key)] = d.modem;
        }
        velimo::cli::ProfileCommandResult r = velimo::cli::ApplyProfileCommand(
            session, profile, c.value, options_.json, options_.with_secrets);
        if (options_.fleet_worker) r.differences = Changes(r.settings, before);
        if (r.stopped) {
          int notSent = 0;
          for (const auto& s : r.settings)
            notSent += s.outcome == velimo::profile::Outcome::NotSent;
          stopped_apply_ = "interrupted in command " + std::to_string(index + 1) + " of " +
                           std::to_string(options_.commands.size()) + " (apply-profile) after " +
                           std::to_string(r.lines_sent) + " of its lines; " +
                           std::to_string(notSent) + " not sent, nothing more was sent";
        }
        Report(r);
        break;
      }
      case Command::Kind::Read:
        read_mark_ = velimo::forms::Control::SerialNow();
        session.Run([&] { session.Main().Btn_S_CurrentStatus.Click(); });
        Settle(session);
        if (Answered(session)) Print(session, session.PageSetControls());
        break;
      case Command::Kind::Print:
        Print(session, session.PageSetControls());
        break;
      case Command::Kind::Set: {
        const bool failedBefore = failed_;
        failed_ = false;
        if (auto error = session.Set(c.name, c.value)) {
          Complain(*error);
          failed_ = true;
        }
        Settle(session);
        step_failed_ = failed_;
        failed_ = failed_ || failedBefore;
        break;
      }
      case Command::Kind::Click: {
        const bool failedBefore = failed_;
        failed_ = false;
        const int refusedBefore = session.Main().ValuesRefused();
        if (auto error = session.Click(c.name)) {
          Complain(*error);
          failed_ = true;
        }
        Settle(session);
        if (session.Main().ValuesRefused() != refusedBefore) failed_ = true;
        step_failed_ = failed_;
        failed_ = failed_ || failedBefore;
        break;
      }
      case Command::Kind::Wait:
        // Nothing is sent while waiting, so an interrupt ends the wait.
        platform_.RunUntil([] { return velimo::cli::Interrupted(); }, c.ms);
        break;
      case Command::Kind::Show: {
        std::vector<velimo::forms::Control*> controls;
        for (const auto& name : c.names) controls.push_back(session.Find(name));
        Print(session, controls);
        break;
      }
    }
  }

  // "CH: 7 -> 12 verified" for each setting the apply wrote (or meant
  // to): the value read before, the value read back, and the outcome.
  std::vector<std::string> Changes(const std::vector<velimo::profile::SettingResult>& settings,
                                   const std::map<std::string, std::string>& before) const {
    std::vector<std::string> lines;
    for (const velimo::profile::SettingResult& s : settings) {
      if (s.outcome == velimo::profile::Outcome::Unchanged) continue;
      const std::string key(s.def->key);
      const auto b = before.find(key);
      auto shown = [&](const std::string& v) {
        return s.def->secret && !options_.with_secrets && v != "?" ? velimo::cli::Masked(v) : v;
      };
      std::string line = key + ": " + shown(b == before.end() ? "?" : b->second) + " -> " +
                         shown(s.modem) + " " +
                         std::string(velimo::profile::OutcomeName(s.outcome));
      if (s.outcome == velimo::profile::Outcome::DidNotStick)
        line += " (profile=" + shown(s.profile) + ")";
      lines.push_back(std::move(line));
    }
    return lines;
  }

  void Print(Session& session, const std::vector<velimo::forms::Control*>& controls) {
    // Another family's report fills this model's labels by the wrong rules
    // ("n 1" for a firmware, a source ID cut short): nothing of it is
    // printed as if read.
    const std::string mismatch = session.Main().FamilyMismatch();
    if (!mismatch.empty()) {
      Complain(mismatch + "; nothing read is printed");
      failed_ = true;
      return;
    }
    NamedValues values;
    // A control that got no value since the modem was last asked still
    // shows its start value: that is not the modem's, and is not printed.
    for (const velimo::forms::Control* c : controls) {
      if (c->ValueSerial() <= read_mark_) {
        values.emplace_back(c->Name(), std::nullopt);
        continue;
      }
      std::string value = Session::ValueOf(*c);
      // The editors' text before the modem was asked is no secret.
      if (!options_.with_secrets && velimo::cli::IsSecretControl(c->Name()) &&
          value != "No Information")
        value = velimo::cli::Masked(value);
      values.emplace_back(c->Name(), std::move(value));
    }
    Out(options_.json ? velimo::cli::FormatJson(values) : velimo::cli::FormatLines(values));
  }

  // Each trace line goes to standard error as the pane shows it, the key
  // and IV masked unless --with-secrets: those a keyword introduces, and
  // the values the key and IV editors hold or held (the IV goes out as a
  // line of its own).
  void CopyTrace(Session& session) {
    velimo::trace::TracePane& pane = session.Main().Trace().Pane();
    auto flush = [this, &pane, &session] {
      if (!options_.with_secrets) {
        for (const char* name : {"Edit_S_AESKey", "Edit_S_AESIV", "Edit_I_AESKey", "Edit_I_AESIV"})
          if (const velimo::forms::Control* c = session.Find(name)) {
            const std::string value = Session::ValueOf(*c);
            if (std::find(secrets_seen_.begin(), secrets_seen_.end(), value) == secrets_seen_.end())
              secrets_seen_.push_back(value);
          }
      }
      const velimo::trace::PaneChanges changes = pane.TakeChanges();
      const auto& lines = pane.Lines();
      for (size_t i = changes.first; i < changes.first + changes.count && i < lines.size(); ++i) {
        std::string line = velimo::trace::TracePane::DisplayText(lines[i]);
        if (!options_.with_secrets) line = velimo::cli::MaskedTraceLine(line, secrets_seen_);
        // The pane breaks a line where it holds a line break: so does this.
        std::string text;
        for (size_t from = 0;;) {
          const size_t nl = line.find('\n', from);
          text += velimo::cli::PlainText(line.substr(from, nl - from)) + "\n";
          if (nl == std::string::npos) break;
          from = nl + 1;
        }
        Err(text);
      }
    };
    pane.SetObserver(flush);
    flush();  // the lines written while the windows were made
  }

  const CliOptions& options_;
  velimo::forms::HeadlessPlatform platform_;
  bool failed_ = false;
  int errors_reported_ = 0;  // default error reports so far
  uint64_t read_mark_ = 0;   // the value count when the modem was last asked
  bool differs_ = false;
  std::map<size_t, velimo::profile::Profile> profiles_;
  // What a bench worker reports of its unit.
  bool connected_ = false, compared_ = false, applied_ = false;
  int lines_written_ = 0;
  std::string firmware_, source_before_, source_after_;
  std::vector<std::string> differences_;
  std::vector<std::string> files_;  // profiles saved
  size_t commands_run_ = 0;
  // The set or click just run failed (see --keep-going).
  bool step_failed_ = false;
  // Where an interrupt stopped an apply, in words; empty when none did.
  std::string stopped_apply_;
  std::vector<std::string> secrets_seen_;    // key and IV values, for the trace
  velimo::trace::SentSecrets sent_secrets_;  // the key and IV the run sent
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
    velimo::forms::HeadlessPlatform platform;
    velimo::forms::ApplicationOptions quiet;
    quiet.settings_path = "/dev/null";
    Session session(platform, quiet);
    session.SelectModel(options.model);
    names = session.ReachableNames(options.list == List::Editors);
  }
  for (const std::string& name : names) Out(name + "\n");
  return 0;
}

// A bench run: the worker's own command line is checked once here, with
// the first port, so a mistake is told once and not by every worker.
int RunBench(velimo::cli::fleet::FleetOptions options, const std::vector<std::string>& args) {
  std::vector<std::string> probe = options.worker_args;
  probe.insert(probe.end(), {"--port", "x"});
  const velimo::cli::ParsedCli parsed = velimo::cli::ParseCli(probe);
  if (!parsed.options) {
    Complain(parsed.error);
    return 2;
  }
  // What the workers will do, for the checks before the first unit.
  options.model = parsed.options->model == 'a' ? 0 : parsed.options->model;
  options.with_secrets = parsed.options->with_secrets;
  options.command_line = args;
  for (const Command& c : parsed.options->commands) {
    if (c.kind == Command::Kind::CompareProfile || c.kind == Command::Kind::ApplyProfile)
      options.profiles.push_back(c.value);
    if (c.kind == Command::Kind::ApplyProfile) options.applied.push_back(c.value);
  }
  velimo::cli::fleet::FleetIo io;
  io.out = Out;
  io.err = Err;
  io.live = isatty(STDOUT_FILENO) == 1;
  io.scan_all = [] {
    std::vector<velimo::cli::fleet::PortName> ports;
    for (auto& f : velimo::cli::ScanForBench())
      ports.push_back({f.path, f.by_id, f.usb_serial, f.link_args});
    return ports;
  };
  io.identify = [](const std::string& path) {
    velimo::cli::fleet::PortName name{path, "", ""};
    if (const auto id = velimo::serial::FindPort(path)) {
      name.by_id = id->by_id;
      name.usb_serial = id->serial;
    }
    return name;
  };
  return velimo::cli::fleet::RunFleet(options, velimo::OwnExecutable(), io);
}

}  // namespace

namespace {

// The words after the program's name, as UTF-8. On Windows argv is in the
// console's code page, which cannot hold every file name: the words are
// taken from the wide command line instead.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(velimo::Narrow(wide[i]));
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  velimo::cli::CatchInterrupts();
  if (!args.empty() && args[0] == "ports")
    return velimo::cli::RunPortsCommand({args.begin() + 1, args.end()});
  if (!args.empty() && args[0] == "scan")
    return velimo::cli::RunScanCommand({args.begin() + 1, args.end()});
  // Several ports, or all of them: one worker per port and a report.
  const velimo::cli::fleet::ParsedFleet fleet = velimo::cli::fleet::ParseFleet(args);
  if (!fleet.error.empty()) {
    Complain(fleet.error);
    Err(std::string("Try '") + kProgram + " --help'.\n");
    return 2;
  }
  if (fleet.options) return RunBench(*fleet.options, args);
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
  velimo::cli::CliOptions options = *parsed.options;
  if (const int status = velimo::cli::ResolveAuto(options); status >= 0) return status;
  Driver driver(options);
  return driver.Run();
}
