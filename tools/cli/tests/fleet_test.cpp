// The bench run's parts that stand without a modem: the units file and its
// matching, the worker pool with real processes, and reading back a
// worker's JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "fleet/fleet_report.h"
#include "fleet/json_value.h"
#include "fleet/units_file.h"
#include "fleet/worker_pool.h"

namespace velimo::cli::fleet {
namespace {

TEST(UnitsFileTest, RowsMatchPortsByTheirKeyAndNothingIsGuessed) {
  const ParsedUnits parsed = ParseUnitsCsv(
      "\xEF\xBB\xBF"
      "MYID, Serial ,DID\r\n"
      "101,A50285BI,1\r\n"
      "\n"
      "\"1,02\",A50285BJ,\r\n"
      "103,GONE0001,1\n");
  ASSERT_TRUE(parsed.units) << parsed.error;
  const UnitsFile& units = *parsed.units;
  EXPECT_EQ(units.key, UnitKey::kSerial);
  ASSERT_EQ(units.rows.size(), 3u);
  EXPECT_EQ(units.rows[1].line, 4);
  // Quoted commas survive; an empty cell leaves that setting to the profile.
  EXPECT_EQ(units.rows[1].settings,
            (std::vector<std::pair<std::string, std::string>>{{"MYID", "1,02"}}));

  const std::vector<PortName> ports = {
      {"/dev/ttyUSB1", "/dev/serial/by-id/usb-FTDI_A50285BJ-if00-port0", "A50285BJ"},
      {"/dev/ttyUSB0", "", "A50285BI"},
      {"/dev/ttyACM0", "", ""},  // no serial number: cannot be matched
  };
  const UnitMatch m = MatchUnits(units, ports);
  EXPECT_EQ(m.pairs, (std::vector<std::pair<size_t, size_t>>{{0, 1}, {1, 0}}));
  EXPECT_EQ(m.rows_not_found, std::vector<size_t>{2});
  EXPECT_EQ(m.ports_not_listed, std::vector<size_t>{2});

  UnitsFile by_id;
  by_id.key = UnitKey::kById;
  by_id.rows = {UnitRow{2, "usb-FTDI_A50285BJ-if00-port0", {}}};
  EXPECT_EQ(MatchUnits(by_id, ports).pairs, (std::vector<std::pair<size_t, size_t>>{{0, 0}}));
}

TEST(UnitsFileTest, MalformedFilesAreRefusedWithTheirLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "line 0: the file has no header"},
      {"MYID,DID\n1,2\n", "line 1: no key column: name one Port, ById or Serial"},
      {"Port,Serial\n", "line 1: more than one key column (Port, ById, Serial)"},
      {"Port,MYID\n/dev/ttyUSB0,1,2\n", "line 2: 3 fields where the header has 2"},
      {"Port,MYID\n,1\n", "line 2: the unit's Port is empty"},
      {"Port,MYID\nx,1\nx,2\n", "line 3: unit x is listed twice"},
      {"Port,MYID\n\"x,1\n", "line 2: a quoted field is not closed"},
      {"Port,MYID,DID,myid\nx,1,2,3\n", "line 1: the column myid is named twice"},
      {"Port,Port\nx,y\n", "line 1: the column Port is named twice"},
  };
  for (const auto& c : cases) {
    const ParsedUnits p = ParseUnitsCsv(c.text);
    EXPECT_FALSE(p.units) << c.text;
    EXPECT_EQ(p.error, c.error) << c.text;
  }
}

TEST(JsonValueTest, ReadsWorkerObjectsAndRefusesHalfLines) {
  auto v = ParseJson(R"({"port": "/dev/ttyUSB0", "n": -1.5e2, "ok": true,
                         "diffs": ["CH: modem=5 profile=7", "\u00e9\"\\"], "x": null})");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Text("port"), "/dev/ttyUSB0");
  EXPECT_EQ(std::get<double>(v->Object()->at("n").v), -150);
  const JsonArray* diffs = v->Object()->at("diffs").Array();
  ASSERT_TRUE(diffs);
  EXPECT_EQ(*(*diffs)[1].String(), "\xC3\xA9\"\\");
  EXPECT_EQ(v->Text("missing"), "");
  for (const char* bad :
       {"", "{", R"({"a": "b)", R"({"a" 1})", "[1,]", "{} {}", "01x", R"("\u12")", "\"a\nb\""})
    EXPECT_FALSE(ParseJson(bad)) << bad;
  EXPECT_FALSE(ParseJson(std::string(40, '[') + std::string(40, ']')));
}

TEST(WorkerPoolTest, WorkersRunSideBySideAndAHungOneIsKilledAlone) {
  std::vector<WorkerJob> jobs = {
      {{"/bin/sh", "-c", "echo one; sleep 0.3; echo two; echo oops >&2; exit 3"}},
      {{"/bin/sh", "-c", "sleep 0.3; printf last-without-newline"}},
      {{"/bin/sh", "-c", "echo hung; sleep 30; echo never"}},
      {{"/nonexistent/velimo-cli"}},
      {{"/bin/sh", "-c", "kill -SEGV $$"}},
  };
  std::vector<std::vector<std::string>> lines(jobs.size());
  const auto outcomes =
      RunWorkers(jobs, PoolOptions{0, 1500},
                 [&](size_t job, std::string_view line) { lines[job].emplace_back(line); });
  ASSERT_EQ(outcomes.size(), jobs.size());
  EXPECT_EQ(outcomes[0].exit_status, 3);
  EXPECT_EQ(outcomes[0].err, "oops\n");
  EXPECT_EQ(lines[0], (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(lines[1], std::vector<std::string>{"last-without-newline"});
  EXPECT_TRUE(outcomes[2].timed_out);
  EXPECT_EQ(outcomes[2].signal, SIGKILL);
  EXPECT_EQ(lines[2], std::vector<std::string>{"hung"});
  EXPECT_FALSE(outcomes[3].started);
  EXPECT_EQ(outcomes[4].signal, SIGSEGV);
  EXPECT_GT(outcomes[0].max_rss_kb, 0);
  // All at once: each started before the first had ended (it sleeps),
  // and the hung one was ended by its limit, not waited for.
  for (size_t job : {1u, 2u, 4u}) EXPECT_LT(outcomes[job].start_ms, outcomes[0].end_ms) << job;

  // One at a time: the second starts only after the first has ended.
  const auto serial = RunWorkers({jobs[0], jobs[1]}, PoolOptions{1, 0}, {});
  EXPECT_GE(serial[1].start_ms, serial[0].end_ms);
}

// A worker that floods both streams (a port that floods its trace): the
// coordinator keeps a tail of each and the line being received, cut at its
// bound, and the result line after the flood still arrives whole.
TEST(WorkerPoolTest, AFloodingWorkerIsKeptToABoundedTail) {
  const std::vector<WorkerJob> jobs = {{{"/bin/sh", "-c",
                                         "head -c 8000000 /dev/zero | tr '\\0' x; echo; "
                                         "head -c 8000000 /dev/zero | tr '\\0' y >&2; "
                                         "yes progress | head -n 200000; echo result; "
                                         "echo 'last words' >&2"}}};
  std::vector<std::string> lines;
  size_t longest = 0;
  const auto outcomes = RunWorkers(jobs, PoolOptions{0, 20000}, [&](size_t, std::string_view line) {
    longest = std::max(longest, line.size());
    if (line != "progress") lines.emplace_back(line);
  });
  ASSERT_EQ(outcomes[0].exit_status, 0);
  EXPECT_EQ(longest, kWorkerLineBytes);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(kWorkerLineBytes, 'x'));
  EXPECT_EQ(lines[1], "result");
  EXPECT_LE(outcomes[0].out.size(), kWorkerTailBytes);
  EXPECT_TRUE(outcomes[0].out.ends_with("progress\nresult\n"));
  EXPECT_LE(outcomes[0].err.size(), kWorkerTailBytes);
  EXPECT_TRUE(outcomes[0].err.ends_with("yyylast words\n"));
}

TEST(FleetReportTest, ExitStatusAndFilesKeepEveryUnit) {
  UnitReport ok;
  ok.port = "/dev/ttyUSB0";
  ok.model = "sTavi";
  ok.result = UnitResult::kApplied;
  ok.differences = {"CH: modem=5 profile=7", "DID: modem=1 profile=2"};
  UnitReport stuck = ok;
  stuck.result = UnitResult::kDidNotStick;
  UnitReport failed;
  failed.port = "/dev/ttyUSB2";
  failed.reason = "no answer, \"x\"";
  EXPECT_EQ(FleetExitStatus({ok}), 0);
  EXPECT_EQ(FleetExitStatus({ok, stuck}), 3);
  EXPECT_EQ(FleetExitStatus({ok, stuck, failed}), 1);
  EXPECT_EQ(FleetExitStatus({}), 1);

  const std::string csv = ReportCsv({ok, failed});
  EXPECT_NE(csv.find(",applied and verified,,CH: modem=5 profile=7; DID: modem=1 profile=2,"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find(",failed,\"no answer, \"\"x\"\"\","), std::string::npos) << csv;
  auto json = ParseJson(ReportJson({ok, failed}));
  ASSERT_TRUE(json && json->Array());
  ASSERT_EQ(json->Array()->size(), 2u);
  EXPECT_EQ((*json->Array())[1].Text("reason"), "no answer, \"x\"");
  EXPECT_EQ((*json->Array())[0].Text("result"), "applied and verified");
}

}  // namespace
}  // namespace velimo::cli::fleet
