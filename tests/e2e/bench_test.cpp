// A bench of four simulated units run by one velimo-cli command: a site
// profile with each unit's own address from a units file, one unit pulled
// out halfway through its apply. The other three finish and verify, the
// pulled one is a row of the report with its reason, and a second run on
// the applied units writes nothing and finds every one matching.
#include <gmock/gmock.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "e2e_fixture.h"
#include "fleet/json_value.h"

extern char** environ;

namespace velimo::e2e {
namespace {

using cli::fleet::JsonValue;
using cli::fleet::ParseJson;

class BenchE2e : public E2eTest {};

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

}  // namespace
}  // namespace velimo::e2e
