// Benches of simulated units run by velimo-cli as a technician runs them:
// a site profile with each unit's own address from a units file, one unit
// pulled out halfway; files and options refused before any unit is
// touched; one device by three names; a profile saved from each unit; and
// a run interrupted with Ctrl-C.
#include <errno.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e_fixture.h"
#include "fleet/json_value.h"
#include "support/wait_for.h"
#include "util/sha256.h"

extern char** environ;

namespace velimo::e2e {
namespace {

using cli::fleet::JsonValue;
using cli::fleet::ParseJson;

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class BenchE2e : public E2eTest {
 protected:
  ProcessResult Cli(const std::vector<std::string>& args, int limitMs = 60000) {
    ProcessResult r = RunProgram(VELIMO_CLI, args, dir_, limitMs);
    EXPECT_FALSE(r.timed_out) << "velimo-cli did not end";
    return r;
  }
  std::string Text(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  // What bench modem n holds now (its state file).
  sim::STaviConfig Unit(int n) {
    sim::Modem modem(sim::Family::kSTavi, sim::Firmware::k1_3);
    const auto error = modem.LoadState(Text("modem-" + std::to_string(n) + ".state"));
    EXPECT_FALSE(error.has_value()) << *error;
    return std::get<sim::STaviConfig>(modem.config());
  }
};

// The report's rows by port.
std::map<std::string, JsonValue> Rows(const std::string& file) {
  std::ifstream in(file);
  const auto report = ParseJson(std::string(std::istreambuf_iterator<char>(in), {}));
  std::map<std::string, JsonValue> rows;
  if (!report || !report->Array()) return rows;
  for (const JsonValue& row : *report->Array()) rows[row.Text("port")] = row;
  return rows;
}

TEST_F(BenchE2e, FourUnitsOnePulledMidApplyThenARerunFindsEveryAppliedOneMatching) {
  SimGroup bench({"--bench", "3s", "--dir", dir_}, 3);
  ASSERT_EQ(bench.Links().size(), 3u);
  // Pulled after the status query and two of its lines.
  const std::string pulled = dir_ + "/ttyPulled";
  SimGroup lone({"--model", "s", "--link", pulled, "--vanish-after", "3"}, 1);
  ASSERT_EQ(lone.Links(), std::vector<std::string>{pulled});

  std::ofstream(dir_ + "/site.vprofile") << "[Profile]\nModel = sTavi\n\n[Settings]\n"
                                            "CH = 5\nSFT = 9\nDID = 7\n";
  std::vector<std::string> ports = {dir_ + "/ttyVelimo-1", dir_ + "/ttyVelimo-2",
                                    dir_ + "/ttyVelimo-3", pulled};
  std::ofstream units(dir_ + "/units.csv");
  units << "Port,MYID\n";
  for (size_t i = 0; i < ports.size(); ++i) units << ports[i] << "," << 201 + i << "\n";
  units.close();

  std::vector<std::string> args = {"--model",  "s",          "--units",  "units.csv",
                                   "--report", "first.json", "--report", "first.csv"};
  for (const std::string& p : ports) args.insert(args.end(), {"--port", p});
  args.insert(args.end(), {"apply-profile", "site.vprofile"});
  ProcessResult first = RunProgram(VELIMO_CLI, args, dir_, 60000);
  EXPECT_EQ(first.status, 1) << first.out << first.err;  // one unit failed

  auto rows = Rows(dir_ + "/first.json");
  ASSERT_EQ(rows.size(), 4u) << first.out;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(ports[i]);
    const JsonValue& row = rows[ports[i]];
    EXPECT_EQ(row.Text("result"), "applied and verified");
    EXPECT_EQ(row.Text("model"), "sTavi");
    EXPECT_EQ(row.Text("source_id_after"), std::to_string(201 + i));
    const auto* diffs = row.Object()->at("differences").Array();
    ASSERT_TRUE(diffs);
    EXPECT_EQ(diffs->size(), 4u);  // CH, SFT, DID and the unit's own MYID
  }
  EXPECT_EQ(rows[pulled].Text("result"), "failed");
  EXPECT_FALSE(rows[pulled].Text("reason").empty());
  EXPECT_FALSE(rows[pulled].Text("start").empty());
  std::ifstream csv(dir_ + "/first.csv");
  int lines = 0;
  for (std::string line; std::getline(csv, line);) ++lines;
  EXPECT_EQ(lines, 5);  // the header and every unit

  args.erase(args.end() - 4, args.end() - 2);  // the pulled port goes
  args[5] = "second.json";
  // Its units-file row is now a unit not found: kept out of this run.
  std::ofstream three(dir_ + "/units.csv");
  three << "Port,MYID\n";
  for (size_t i = 0; i < 3; ++i) three << ports[i] << "," << 201 + i << "\n";
  three.close();
  ProcessResult second = RunProgram(VELIMO_CLI, args, dir_, 60000);
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  rows = Rows(dir_ + "/second.json");
  ASSERT_EQ(rows.size(), 3u) << second.out;
  for (const auto& [port, row] : rows) {
    EXPECT_EQ(row.Text("result"), "matched") << port;
    EXPECT_TRUE(row.Object()->at("differences").Array()->empty()) << port;
  }
}

// Each mistake a technician can make in the files and options of a bench
// run is refused, with its line where it has one, before any unit is
// touched: nothing is sent, no report is written, the summary never shows.
TEST_F(BenchE2e, MistakesInFilesAndOptionsAreRefusedBeforeAnyUnitIsTouched) {
  SimGroup bench({"--bench", "2s", "--dir", dir_, "--verbose"}, 2);
  ASSERT_EQ(bench.Links().size(), 2u);
  Write("site.vprofile", "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 5\n");
  Write("myid.vprofile", "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 5\nMYID = 300\n");
  Write("good.csv", "Port,MYID\n./ttyVelimo-1,201\n./ttyVelimo-2,202\n");
  Write("twice.csv", "Port,MYID\n./ttyVelimo-1,201\n\n./ttyVelimo-2,201\n");
  Write("column.csv", "Port,MYID,myid\n./ttyVelimo-1,201,202\n");
  Write("range.csv", "Port,CH\n./ttyVelimo-1,5\n./ttyVelimo-2,99\n");
  Write("key.csv", "Port,NOPE\n./ttyVelimo-1,5\n");
  Write("samedevice.csv", "Port,MYID\n./ttyVelimo-1,201\n" + dir_ + "/ttyVelimo-1,202\n");
  Write("nomyid.csv", "Port,MYID\n./ttyVelimo-1,201\n./ttyVelimo-2,\n");
  ASSERT_EQ(mkfifo((dir_ + "/fifo.csv").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/null", dir_ + "/device.csv");
  const std::vector<std::string> two = {"--model",       "s",      "--port",
                                        "./ttyVelimo-1", "--port", "./ttyVelimo-2"};
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--units", "twice.csv", "apply-profile", "site.vprofile"},
       "twice.csv: line 4: MYID 201 is already the source ID of line 2; each unit needs its own"},
      {{"--units", "column.csv", "apply-profile", "site.vprofile"},
       "column.csv: line 1: the column myid is named twice"},
      {{"--units", "range.csv", "apply-profile", "site.vprofile"},
       "range.csv: line 3: unit value CH = 99"},
      {{"--units", "key.csv", "read"}, "key.csv: line 2: unit value NOPE: not a setting of sTavi"},
      {{"--units", "samedevice.csv", "read"}, "samedevice.csv: line 3: " /* the absolute path */},
      {{"apply-profile", "myid.vprofile"},
       "the profile holds MYID, a unit's own source ID: applied to 2 units"},
      {{"--units", "nomyid.csv", "apply-profile", "myid.vprofile"},
       "the profile holds MYID, a unit's own source ID: applied to 2 units it would give "
       "./ttyVelimo-2"},
      {{"--report", "no-such-folder/bench.csv", "read"},
       "the report's folder no-such-folder cannot be used: No such file or directory"},
      {{"--report", "fifo.csv", "read"}, "the report fifo.csv is a FIFO, not a file"},
      {{"--report", "device.csv", "read"}, "the report device.csv is a device, not a file"},
      {{"--units", "good.csv", "--report", "good.csv", "read"},
       "the report good.csv is the units file; it would be overwritten"},
      {{"--units", "good.csv", "--report", "./good.csv", "read"},
       "the report ./good.csv is the units file"},
      {{"--report", "a.json", "--report", "./a.json", "read"}, "--report ./a.json is given twice"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = two;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = Cli(args);
    SCOPED_TRACE(c.says);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr(std::string("velimo-cli: ") + c.says));
    EXPECT_EQ(r.out, "") << "no unit ran";
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/no-such-folder"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/a.json"));
  EXPECT_EQ(Text("good.csv"), "Port,MYID\n./ttyVelimo-1,201\n./ttyVelimo-2,202\n");
  // Nothing reached either modem: not even the status query.
  for (int n : {1, 2}) EXPECT_EQ(Unit(n).radio.channel, 1) << n;
}

// One unit named three ways (relative, absolute, and through a link) is
// one unit, and the units file's absolute Port finds it. A bench of one
// unit writes its report; the report says what was run and, for each
// setting written, its value before and after; the key stays masked, and
// the file is 0644, until --with-secrets asks for it in clear (0600).
TEST_F(BenchE2e, OneUnitByThreeNamesIsOneUnitAndItsReportSaysWhatWasRun) {
  SimGroup bench({"--bench", "1s", "--dir", dir_}, 1);
  ASSERT_EQ(bench.Links().size(), 1u);
  std::filesystem::create_symlink(dir_ + "/ttyVelimo-1", dir_ + "/by-id-link");
  const std::string profile =
      "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 12\nAESKEY = 0123456789abcdef\n";
  Write("site.vprofile", profile);
  Write("units.csv", "Port,DID\n" + dir_ + "/ttyVelimo-1,77\n");
  ProcessResult r = Cli({"--model", "s", "--port", "./ttyVelimo-1", "--port", dir_ + "/ttyVelimo-1",
                         "--port", "by-id-link", "--units", "units.csv", "--report", "r.json",
                         "--report", "r.csv", "apply-profile", "site.vprofile"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  auto rows = Rows(dir_ + "/r.json");
  ASSERT_EQ(rows.size(), 1u) << Text("r.json");
  const JsonValue& row = rows["./ttyVelimo-1"];
  EXPECT_EQ(row.Text("result"), "applied and verified");
  EXPECT_EQ(row.Text("program").rfind("velimo-cli ", 0), 0u);
  EXPECT_THAT(row.Text("command_line"), HasSubstr("--port by-id-link --units units.csv"));
  EXPECT_EQ(row.Text("profile"), "site.vprofile");
  EXPECT_EQ(row.Text("profile_sha256"), Sha256Hex(profile));
  EXPECT_FALSE(row.Text("host").empty());
  EXPECT_FALSE(row.Text("user").empty());
  EXPECT_FALSE(row.Text("run_start").empty());
  EXPECT_FALSE(row.Text("run_end").empty());
  std::vector<std::string> changes;
  for (const JsonValue& d : *row.Object()->at("differences").Array())
    changes.push_back(*d.String());
  // The modem reports its factory key as a placeholder: masked as well.
  EXPECT_THAT(changes, ::testing::UnorderedElementsAre(
                           "CH: 1 -> 12 verified", "DID: 16777215 -> 77 verified",
                           ::testing::MatchesRegex("AESKEY: \\*+ -> \\*{16} verified")));
  EXPECT_EQ(Unit(1).radio.channel, 12);
  const std::string csv = Text("r.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\r')),
            "program,command_line,profile,profile_sha256,host,user,run_start,run_end,port,by_id,"
            "usb_serial,model,firmware,source_id_before,source_id_after,result,reason,"
            "differences,files,start,end");
  EXPECT_THAT(csv, HasSubstr(",CH: 1 -> 12 verified; AESKEY: "));
  EXPECT_THAT(csv, HasSubstr("; DID: 16777215 -> 77 verified,"));
  // A cell that begins with "-" is no formula in a spreadsheet.
  EXPECT_THAT(csv, HasSubstr(",'--model s --port ./ttyVelimo-1 "));
  EXPECT_THAT(csv + Text("r.json"), ::testing::Not(HasSubstr("0123456789abcdef")));
  struct stat st {};
  ASSERT_EQ(stat((dir_ + "/r.csv").c_str(), &st), 0);
  EXPECT_EQ(
      st.st_mode & 0777, 0644u & ~[] {
        mode_t m = umask(0);
        umask(m);
        return m;
      }());

  Write("site.vprofile", "[Profile]\nModel = sTavi\n\n[Settings]\nAESKEY = fedcba9876543210\n");
  r = Cli({"--model", "s", "--port", "./ttyVelimo-1", "--report", "r.csv", "--with-secrets",
           "--trace", "apply-profile", "site.vprofile"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(Text("r.csv"), HasSubstr("AESKEY: 0123456789abcdef -> fedcba9876543210 verified"));
  ASSERT_EQ(stat((dir_ + "/r.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Without --with-secrets the trace on standard error holds neither key.
  r = Cli(
      {"--model", "s", "--port", "./ttyVelimo-1", "--trace", "compare-profile", "site.vprofile"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(r.err, HasSubstr("AES KEY"));
  EXPECT_THAT(r.err, ::testing::Not(HasSubstr("fedcba9876543210")));
}

// save-profile on several units saves one file per unit, named after it,
// each listed under the summary; none is lost to the next.
TEST_F(BenchE2e, SaveProfileOnSeveralUnitsSavesAFileForEach) {
  SimGroup bench({"--bench", "2s", "--dir", dir_}, 2);
  ASSERT_EQ(bench.Links().size(), 2u);
  const ProcessResult r = Cli({"--model", "s", "--with-identity", "--port", "./ttyVelimo-1",
                               "--port", "./ttyVelimo-2", "save-profile", "site.vprofile"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/site.vprofile"));
  for (int n : {1, 2}) {
    const std::string file = "site-ttyVelimo-" + std::to_string(n) + ".vprofile";
    EXPECT_THAT(r.out, HasSubstr("./ttyVelimo-" + std::to_string(n) + ": saved " + file));
    // Each file holds its own unit's address.
    EXPECT_THAT(Text(file), HasSubstr("MYID = " + std::to_string(Unit(n).source_id)));
  }
}

// Ctrl-C in the middle of a bench: each worker ends in order, the one not
// yet started is never started, nothing more is sent, the report still
// holds every unit, the summary is printed, and the status is 130. The run
// writes to a terminal, so its progress lines show when both workers have
// connected; the wait they are in then is longer than the test waits for
// anything, so only the interrupt can end the run early.
TEST_F(BenchE2e, CtrlCEndsEveryWorkerInOrderAndTheReportStillHoldsEveryUnit) {
  SimGroup bench({"--bench", "3s", "--dir", dir_}, 3);
  ASSERT_EQ(bench.Links().size(), 3u);
  Write("site.vprofile", "[Profile]\nModel = sTavi\n\n[Settings]\nCH = 9\n");
  std::vector<std::string> args = {VELIMO_CLI, "--model", "s", "--jobs", "2", "--report", "r.json"};
  for (int n : {1, 2, 3}) args.insert(args.end(), {"--port", "./ttyVelimo-" + std::to_string(n)});
  // The apply waits behind a pause, as a technician's checks might.
  args.insert(args.end(), {"wait", "600000", "apply-profile", "site.vprofile"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addchdir_np(&files, dir_.c_str());
  int terminal = -1, slave = -1;
  ASSERT_EQ(openpty(&terminal, &slave, nullptr, nullptr, nullptr), 0);
  fcntl(terminal, F_SETFL, fcntl(terminal, F_GETFL) | O_NONBLOCK);
  posix_spawn_file_actions_adddup2(&files, slave, 1);
  posix_spawn_file_actions_addopen(&files, 2, (dir_ + "/err").c_str(), O_WRONLY | O_CREAT, 0644);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // a terminal's job
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, VELIMO_CLI, &files, &attr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  close(slave);
  std::string out;  // what the run wrote to its terminal
  const auto readTerminal = [&] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(terminal, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(n));
    return n == 0 || (n < 0 && errno == EIO);  // the run has closed it
  };
  // Both workers are connected (the progress line each draws once its
  // unit's report was read) and go on to their wait.
  EXPECT_TRUE(test::WaitFor(
      [&] {
        return out.find("./ttyVelimo-1: connected: firmware 1.3") != std::string::npos &&
               out.find("./ttyVelimo-2: connected: firmware 1.3") != std::string::npos;
      },
      3 * test::kGenerousMs, [&] { readTerminal(); }))
      << out;
  kill(-pid, SIGINT);  // Ctrl-C reaches the whole job
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  readTerminal();
  close(terminal);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << out << Text("err");
  auto rows = Rows(dir_ + "/r.json");
  ASSERT_EQ(rows.size(), 3u) << Text("r.json");
  for (int n : {1, 2}) {
    const JsonValue& row = rows["./ttyVelimo-" + std::to_string(n)];
    EXPECT_EQ(row.Text("result"), "interrupted");
    // Interrupted in its wait, or the moment before it began: either way
    // after its report was read and before the apply.
    EXPECT_THAT(row.Text("reason"),
                MatchesRegex("interrupted after [01] of 2 commands; the line in flight was "
                             "finished, nothing more was sent"));
    EXPECT_EQ(row.Text("firmware"), "1.3");
  }
  EXPECT_EQ(rows["./ttyVelimo-3"].Text("result"), "interrupted");
  EXPECT_EQ(rows["./ttyVelimo-3"].Text("reason"),
            "interrupted before this unit was started; nothing was sent");
  EXPECT_THAT(out, HasSubstr("interrupted before this unit was started"));
  for (int n : {1, 2, 3}) EXPECT_EQ(Unit(n).radio.channel, 1) << "nothing was applied";
}

}  // namespace
}  // namespace velimo::e2e
