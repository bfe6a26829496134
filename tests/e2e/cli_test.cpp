// Runs of velimo-cli itself against the simulator: what it prints and the
// exit status it ends with.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "e2e_fixture.h"
#include "serial/com_port.h"

extern char** environ;

namespace velimo::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The NAME=VALUE lines of a print.
Expected Printed(const std::string& out) {
  Expected values;
  for (const std::string& line : Lines(out)) {
    if (line.starts_with("message: ") || line.starts_with("confirm: ")) continue;
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

class CliTest : public E2eTest {
 protected:
  ProcessResult Cli(std::vector<std::string> args, int limitMs = 20000) {
    ProcessResult r = RunProgram(VELIMO_CLI, args, dir_, limitMs);
    EXPECT_FALSE(r.timed_out) << "velimo-cli did not end";
    return r;
  }
  // The port as a user working in the folder types it.
  const std::string port_ = "./ttyModem";
};

TEST_F(CliTest, WithoutCommandsPrintsEveryControlOfThePageSetAfterConnecting) {
  StartSim('u');
  ProcessResult r = Cli({"--port", port_, "--model", "u"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(r.out, Not(HasSubstr("message: ")));
  // What the report wrote is printed with its value; the start values of
  // the controls it does not write are not the modem's, and say so.
  const Expected want = ExpectedS(SimStateAs<sim::STaviConfig>(), sim::Firmware::k1_3);
  for (const auto& [name, value] : Untouched('u'))
    EXPECT_THAT(r.out, HasSubstr("\n" + name + " (not read)\n"));
  Expected got = Printed(r.out);
  for (auto& [name, value] : got) {
    // The framing bytes are hexadecimal in whatever case the modem used.
    if (name.find("TX") != std::string::npos && value.size() == 2)
      for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(Lines(r.out).size(), want.size() + Untouched('u').size()) << "one line per control";
}

TEST_F(CliTest, SetClickAndReadChangeTheModemAndPrintJson) {
  StartSim('s');
  ProcessResult r = Cli({"--port", port_, "--model", "s", "--json", "click", "Btn_Left_LoRa", "set",
                         "CB_S_Ch=5", "click", "Btn_S_SaveAll_LoRaPage", "read"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0], "message: Successfully changed.");
  EXPECT_TRUE(lines[1].starts_with("{\"LB_S_FwVer\": \"1.3\", ")) << lines[1];
  EXPECT_THAT(lines[1], HasSubstr("\"CB_S_Ch\": \"5\""));
  EXPECT_THAT(lines[1], HasSubstr("\"LB_S_Ch\": \"5\""));
  EXPECT_EQ(SimStateAs<sim::STaviConfig>().radio.channel, 5);
}

TEST_F(CliTest, RefusedValueEndsWithStatusOne) {
  StartSim('s');
  // With --keep-going the show after the refused Save runs: the editor is
  // back at the modem's value.
  ProcessResult r = Cli({"--port", port_, "--model", "s", "--keep-going", "set", "Edit_S_Did=0",
                         "click", "Btn_S_Save_Did", "show", "Edit_S_Did", "LB_S_DID"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"message: Destination ID Range : 1~16777215",
                                                    "Edit_S_Did=16777215", "LB_S_DID=16777215"}));
}

TEST_F(CliTest, TypingGoesThroughTheKeyboardFilter) {
  StartSim('s');
  // The refused key is a failed step; --keep-going sends what was taken.
  ProcessResult r = Cli({"--port", port_, "--model", "s", "--keep-going", "set", "Edit_S_Did=4x2",
                         "click", "Btn_S_Save_Did", "show", "Edit_S_Did"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"message: You can type only numeric keys.",
                                                    "Edit_S_Did=42"}));
  EXPECT_EQ(SimStateAs<sim::STaviConfig>().destination_id, 42u);
}

// A modem of another family fills the chosen model's labels by the wrong
// rules ("n 1" as an sTavi's firmware from an ioTavi's report) or, where
// the two share their lines, with no word at all (an rTavi read as an
// sTavi): nothing of it is printed as read, and the status is 1.
TEST_F(CliTest, AModemOfAnotherFamilyIsPrintedNothing) {
  struct Case {
    char modem, chosen;
    const char* family;
    const char* message;  // the window's own, where it has one
  };
  for (const Case c : {Case{'i', 's', "ioTavi",
                            "message: Check your Device Choice.You chose [sTavi or uTavi]. Is it "
                            "correct?\n"},
                       Case{'r', 's', "rTavi", ""}, Case{'s', 'r', "sTavi or uTavi", ""}}) {
    SCOPED_TRACE(std::string(1, c.modem) + " read as " + c.chosen);
    StartSim(c.modem, {"--state", dir_ + "/" + c.modem + ".state"});
    const std::string set = c.chosen == 'r' ? "R" : "S";
    for (const std::vector<std::string>& commands :
         {std::vector<std::string>{}, {"show", "LB_" + set + "_SID"}, {"read"}}) {
      std::vector<std::string> args = {"--port", port_, "--model", std::string(1, c.chosen)};
      args.insert(args.end(), commands.begin(), commands.end());
      ProcessResult r = Cli(args);
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_EQ(r.out, std::string(c.message) + (commands == std::vector<std::string>{"read"}
                                                     ? std::string(c.message)
                                                     : std::string()));
      EXPECT_THAT(r.err, HasSubstr(std::string("the modem reports itself as an ") + c.family +
                                   "; --model is for "));
    }
  }
}

TEST_F(CliTest, ConfirmationsAnsweredYesOnlyWithYes) {
  StartSim('r');
  ProcessResult no = Cli({"--port", port_, "--model", "r", "click", "Btn_FactoryReset"});
  EXPECT_EQ(no.status, 0) << no.out << no.err;
  EXPECT_EQ(Lines(no.out), std::vector<std::string>{"confirm: Continue factory reset? -> No"});

  ProcessResult yes = Cli({"--port", port_, "--model", "r", "--yes", "click", "Btn_FactoryReset"});
  EXPECT_EQ(yes.status, 0) << yes.out << yes.err;
  EXPECT_EQ(Lines(yes.out), (std::vector<std::string>{"confirm: Continue factory reset? -> Yes",
                                                      "message:      Disconnected.     "}));
}

TEST_F(CliTest, TraceGoesToStandardError) {
  StartSim('i');
  ProcessResult r = Cli({"--port", port_, "--model", "i", "--trace", "show", "LB_I_SID"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(Lines(r.out), std::vector<std::string>{"LB_I_SID=400001"});
  EXPECT_THAT(r.err, HasSubstr("]  Start Velimo...\n"));
  EXPECT_THAT(r.err, HasSubstr("]  Send AT Command : AT&V\n"));
  EXPECT_THAT(r.err, HasSubstr("\nSource ID  = 400001\n"));
}

TEST_F(CliTest, UsageErrorsEndWithStatusTwoBeforeTheModemIsAsked) {
  StartSim('s');
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{}, "--port is required"},
      {{"--port", port_}, "--model is required"},
      {{"--port", port_, "--model", "x"}, "--model needs one of s, u, r, i"},
      {{"--port", port_, "--model", "s", "--baud", "9601"}, "--baud needs one of"},
      {{"--port", port_, "--model", "s", "--parity", "mark"}, "--parity needs one of"},
      {{"--port", port_, "--model", "s", "wait"}, "wait needs a number of milliseconds"},
      {{"--port", port_, "--model", "s", "set", "Edit_S_Did"}, "set needs NAME=VALUE"},
      {{"--port", port_, "--model", "s", "frobnicate"}, "unknown command"},
      {{"--port", port_, "--model", "s", "click", "Btn_Nothing"}, "no control \"Btn_Nothing\""},
      {{"--port", port_, "--model", "s", "set", "LB_S_SID=1"}, "is not an editor"},
  };
  for (const Case& c : cases) {
    ProcessResult r = Cli(c.args);
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_THAT(r.err, HasSubstr(c.says));
  }
  // The name check comes before the modem is asked anything.
  EXPECT_EQ(SimStateAs<sim::STaviConfig>(), std::get<sim::STaviConfig>(sim::FactoryDefaults(
                                                sim::Family::kSTavi, sim::Firmware::k1_3)));
}

// "Save Log File" switched on in the settings while the log cannot be
// written: the run says so once, first, does its work all the same (the
// port was never the trouble), ends with the status of a failure (a file
// failed), and does not hang on a FIFO.
TEST_F(CliTest, UnwritableLogIsToldOnceFirstAndTheWorkIsDone) {
  namespace fs = std::filesystem;
  StartSim('s');
  std::ofstream(dir_ + "/Velimo.INI") << "[MACHINE]\nSaveLogTrace=1\n";
  const std::string log = dir_ + "/Log";
  const auto dayFile = [&](int days) {
    const time_t t = time(nullptr) + days * 86400;
    tm local{};
    localtime_r(&t, &local);
    char name[32];
    strftime(name, sizeof name, "/Velimo_%Y%m%d.log", &local);
    return log + name;
  };
  struct Case {
    const char* name;
    std::function<void()> make;
    const char* says;
  };
  const Case cases[] = {
      {"a file named Log", [&] { std::ofstream(log) << "in the way\n"; }, "(Not a directory)"},
      {"a dangling link named Log", [&] { fs::create_symlink("gone", log); },
       "(No such file or directory)"},
      {"a FIFO as the day's file",
       [&] {
         fs::create_directory(log);
         for (int days : {0, 1}) mkfifo(dayFile(days).c_str(), 0600);
       },
       "(not a regular file)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(log);
    c.make();
    ProcessResult r = Cli({"--port", port_, "--model", "s", "show", "LB_S_SID"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"message: The trace log cannot be written " +
                                                          std::string(c.says) + ": ./Log" +
                                                          dayFile(0).substr(log.size()),
                                                      "LB_S_SID=100001"}));
    EXPECT_THAT(r.err, Not(HasSubstr("cannot open the serial port")));
  }
  fs::remove_all(log);
}

TEST_F(CliTest, RefusedNetworkPortPrintsTheReasonAfterTheMessage) {
  ProcessResult r = Cli({"--port", "tcp://[::1]:notaport", "--model", "s"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                              "message: ERROR! Please check your serial port status.",
                              "reason: \"tcp://[::1]:notaport\" has no port number from 1 to "
                              "65535: write tcp://HOST:PORT, with an IPv6 address in brackets."}));
  EXPECT_THAT(r.err, HasSubstr("cannot open the serial port tcp://[::1]:notaport"));
}

TEST_F(CliTest, HelpDocumentsTheCommandsWithExamples) {
  ProcessResult r = Cli({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* part :
       {"Usage: velimo-cli --port PORT --model s|u|r|i", "set NAME=VALUE", "click NAME", "wait MS",
        "show NAME...", "Exit status (every command", "Examples:"})
    EXPECT_THAT(r.out, HasSubstr(part));
}

// One table of exit statuses for every command: 0 done as wanted, 3 done
// but short of it (differs, nothing found), 1 a failure, 2 wrong options
// only, 130 interrupted. Each row is a run a technician makes.
TEST_F(CliTest, EveryCommandEndsWithTheStatusOfTheOneTable) {
  StartSim('s');
  SimGroup quiet({"--model", "s", "--link", dir_ + "/quiet", "--silent"}, 1);
  SimGroup held({"--model", "s", "--link", dir_ + "/held"}, 1);
  ASSERT_EQ(held.Links().size(), 1u);
  serial::TComPort holder;  // another program holds this line
  holder.SetPort(dir_ + "/held");
  holder.OpenPort();
  std::filesystem::create_directories(dir_ + "/empty/sys/class/tty");
  std::ofstream(dir_ + "/other.vprofile") << "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 7\n";
  std::ofstream(dir_ + "/same.vprofile") << "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 1\n";
  const std::string s = port_;
  const struct {
    int status;
    std::vector<std::string> args;
    int sigterm_after_ms = 0;
  } cases[] = {
      {0, {"--port", s, "--model", "s", "show", "LB_S_SID"}},
      {0, {"--port", s, "--model", "s", "compare-profile", "same.vprofile"}},
      {0, {"scan", "--port", s}},
      {0, {"--port", s, "--model", "s", "--report", "one.json", "show", "LB_S_SID"}},
      {3, {"--port", s, "--model", "s", "compare-profile", "other.vprofile"}},
      {3,
       {"--port", s, "--model", "s", "--report", "one.csv", "compare-profile", "other.vprofile"}},
      {3, {"scan", "--port", "./quiet"}},
      {3, {"--port", "./quiet", "--model", "auto"}},
      {3, {"ports", "--root", dir_ + "/empty"}},
      {1, {"--port", "./no-such-port", "--model", "s"}},
      {1, {"--port", "./no-such-port", "--model", "s", "--report", "gone.csv", "read"}},
      {1, {"--port", "./held", "--model", "s"}},
      {1, {"--port", "./held", "--model", "s", "--report", "held.csv", "read"}},
      {1, {"scan", "--port", "./held"}},
      {1, {"--port", "./held", "--model", "auto"}},
      {1, {"--port", s, "--model", "s", "set", "Edit_S_Did=0", "click", "Btn_S_Save_Did"}},
      {1, {"--port", s, "--model", "s", "apply-profile", "missing.vprofile"}},
      {2, {"--port", s, "--model", "x"}},
      {2, {"--port", s}},
      {2, {"scan", "--bogus"}},
      {2, {"ports", "--bogus"}},
      {2, {"--port", s, "--port", "./quiet", "--jobs", "0"}},
      {2, {"--port", s, "--model", "s", "--report", "r.txt"}},
      {130, {"--port", s, "--model", "s", "wait", "20000"}, 1500},
      {130, {"--port", s, "--port", "./quiet", "--model", "s", "wait", "20000"}, 2500},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    if (c.sigterm_after_ms == 0) {
      const ProcessResult r = Cli(c.args, 60000);
      EXPECT_EQ(r.status, c.status) << r.out << r.err;
      continue;
    }
    // SIGTERM to velimo-cli alone, as a service manager stops it.
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), VELIMO_CLI);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addchdir_np(&files, dir_.c_str());
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, VELIMO_CLI, &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    usleep(static_cast<useconds_t>(c.sigterm_after_ms) * 1000);
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << status;
  }
  // The held unit's reason in its report: the message and the refusal's
  // reasons below it, on lines of their own (a real line break in a
  // quoted cell, not the text "\n").
  std::ifstream heldCsv(dir_ + "/held.csv", std::ios::binary);
  const std::string heldReport(std::istreambuf_iterator<char>(heldCsv), {});
  EXPECT_THAT(heldReport, HasSubstr(",failed,\"ERROR! Please check your serial port status.\n"))
      << heldReport;
  // --help prints the table.
  const ProcessResult help = Cli({"--help"});
  EXPECT_THAT(help.out, HasSubstr("Exit status (every command, a bench run too):\n  0    done"));
  for (const char* row :
       {"\n  3    done, but", "\n  1    a failure", "\n  2    usage", "\n  130  interrupted"})
    EXPECT_THAT(help.out, HasSubstr(row));
}

}  // namespace
}  // namespace velimo::e2e
