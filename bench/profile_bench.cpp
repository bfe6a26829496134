// Applying profiles against the simulated modem, through the form model
// with the real serial port and the headless platform on the real clock.
//
// Full: a profile that differs from the modem in every setting an sTavi
// profile can hold (identity, key and IV, and the three link settings with
// the port reopened after each); wall time of the apply, from the first
// read to the end of the read-back, as a ratio to the nominal sum of its
// pauses: 5 ms after every byte written (the lines and the queries) and the
// pauses between the lines.
//
// One difference: the same profile when the modem differs in one setting;
// wall time as a ratio to that one line's nominal time plus two reads of
// the modem, each timed on its own as a compare.
//
//   profile_bench [--table] [--runs N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "profile/operations.h"
#include "profile_commands.h"
#include "sim_rig.h"

namespace {

using velimo::bench::NowSeconds;
using velimo::bench::SimRig;
namespace profile = velimo::profile;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Two profiles that differ in every setting; the runs alternate between them.
const char* const kProfiles[2] = {
    "[Profile]\nModel = sTavi\n[Settings]\nMYID = 1001\nDID = 2001\nDTN = 1\nDENT = 1\n"
    "PID1 = 11\nPID2 = 12\nPID3 = 13\nCH = 2\nSFT = 8\nCTRY = USA\nAES = ON\n"
    "AESKEY = AAAAAAAAAAAAAAAA\nAESIV = BBBBBBBBBBBBBBBB\nPTYPE = Normal\nPTP = ON\n"
    "BAU = 19200\nPAB = Odd\nHF = RTS/CTS\nDMT = 200\nDMS = 50\nSTXL = 1\nETXL = 1\n"
    "STX = 02\nETX = 03\n",
    "[Profile]\nModel = sTavi\n[Settings]\nMYID = 1002\nDID = 2002\nDTN = 2\nDENT = 2\n"
    "PID1 = 21\nPID2 = 22\nPID3 = 23\nCH = 3\nSFT = 9\nCTRY = KOR\nAES = OFF\n"
    "AESKEY = CCCCCCCCCCCCCCCC\nAESIV = DDDDDDDDDDDDDDDD\nPTYPE = Kivet\nPTP = OFF\n"
    "BAU = 38400\nPAB = Even\nHF = OFF\nDMT = 300\nDMS = 60\nSTXL = 2\nETXL = 2\n"
    "STX = 04,05\nETX = 06,07\n",
};

profile::Profile Parse(const std::string& text) {
  profile::ProfileRead read = profile::ParseProfile(text);
  if (!read.profile) {
    std::fprintf(stderr, "profile_bench: %s\n", read.error.c_str());
    std::exit(1);
  }
  return *read.profile;
}

struct Run {
  double wall_ms = 0;
  double nominal_ms = 0;
  int lines = 0;
  bool verified = false;
};

Run Apply(SimRig& rig, const profile::Profile& p) {
  rig.Settle();
  rig.Platform().ResetCounts();
  Run r;
  const double t0 = NowSeconds();
  profile::ApplyResult applied;
  {
    profile::ProfileRunner runner(rig.S().Modem(), {});
    applied = runner.Apply(p);
  }
  r.wall_ms = (NowSeconds() - t0) * 1000.0;
  r.nominal_ms = static_cast<double>(rig.Platform().nominal_ms);
  r.lines = applied.lines_sent;
  r.verified = applied.AllVerified();
  if (!r.verified)
    std::fprintf(stderr, "profile_bench: an apply was not verified: %s\n", applied.error.c_str());
  return r;
}

double ReadMs(SimRig& rig, const profile::Profile& p) {
  rig.Settle();
  const double t0 = NowSeconds();
  profile::ProfileRunner runner(rig.S().Modem(), {});
  runner.Compare(p);
  return (NowSeconds() - t0) * 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  bool table = false;
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
  }
  const profile::Profile both[2] = {Parse(kProfiles[0]), Parse(kProfiles[1])};

  SimRig rig('s');
  // From the factory state some bytes already match; after this every run
  // differs in every setting from what the modem holds.
  Apply(rig, both[1]);
  std::vector<double> full_wall, full_nominal, full_ratio;
  int full_lines = 0;
  bool clean = true;
  for (int i = 0; i < runs; ++i) {
    const Run r = Apply(rig, both[i % 2]);
    full_wall.push_back(r.wall_ms);
    full_nominal.push_back(r.nominal_ms);
    full_ratio.push_back(r.wall_ms / r.nominal_ms);
    full_lines = r.lines;
    clean = clean && r.verified;
  }

  // One difference: the modem holds the last profile but for its channel.
  const profile::Profile& held = both[(runs - 1) % 2];
  std::vector<double> one_wall, one_nominal, one_ratio, reads;
  for (int i = 0; i < runs; ++i) {
    rig.Set("CB_S_Ch", i % 2 ? "7" : "8");
    rig.Click("Btn_S_Save_CH");
    const double read_ms = ReadMs(rig, held);
    const Run r = Apply(rig, held);
    clean = clean && r.verified && r.lines == 1;
    // The nominal time of the one line: its bytes and the pause after it,
    // counted apart from the two reads' query bytes.
    const double line_ms = 5.0 * static_cast<double>(std::string("AT+CH=2\r").size()) + 100.0;
    one_wall.push_back(r.wall_ms);
    one_nominal.push_back(line_ms + 2 * read_ms);
    one_ratio.push_back(r.wall_ms / (line_ms + 2 * read_ms));
    reads.push_back(read_ms);
  }

  std::printf("Profile apply against velimo-modem-sim (real port, real clock), %d runs each\n",
              runs);
  std::printf("%-34s %6s %12s %10s %8s %8s\n", "apply", "lines", "nominal ms", "wall ms", "ratio",
              "max");
  std::printf("%-34s %6d %12.1f %10.1f %8.4f %8.4f\n", "sTavi, every setting differs", full_lines,
              Median(full_nominal), Median(full_wall), Median(full_ratio),
              *std::max_element(full_ratio.begin(), full_ratio.end()));
  std::printf("%-34s %6d %12.1f %10.1f %8.4f %8.4f\n", "sTavi, one difference", 1,
              Median(one_nominal), Median(one_wall), Median(one_ratio),
              *std::max_element(one_ratio.begin(), one_ratio.end()));
  std::printf(
      "(every setting: nominal = 5 ms per byte written plus the pauses between lines; one "
      "difference: nominal = the line's bytes and pause plus two reads timed on their own, "
      "median read %.1f ms)\n",
      Median(reads));
  if (table) {
    std::printf("figure profile.full.ratio %.4f\n", Median(full_ratio));
    std::printf("figure profile.full.nominal_ms %.1f\n", Median(full_nominal));
    std::printf("figure profile.full.lines %d\n", full_lines);
    std::printf("figure profile.one.ratio %.4f\n", Median(one_ratio));
    std::printf("figure profile.one.wall_ms %.1f\n", Median(one_wall));
    std::printf("figure profile.one.read_ms %.1f\n", Median(reads));
    std::printf("figure profile.clean %d\n", clean ? 1 : 0);
  }
  return clean ? 0 : 1;
}
