// Whole save-alls against the simulated modem, through the form model with
// the real serial port and the headless platform on the real clock: the
// sTavi LoRa page's " Save" (destination, channel, spreading factor, then
// encryption on with key and IV) and the ioTavi RS-232 serial " Save"
// (timeout, size, both framing lengths and both framing byte sets). Wall
// time of the click, as a ratio to the nominal time of the sequence: 5 ms
// for every byte written plus the pauses between its commands, as the
// platform was asked for them. Medians of several runs.
//
//   saveall_bench [--table] [--runs N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim_rig.h"

namespace {

using velimo::bench::NowSeconds;
using velimo::bench::SimRig;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Result {
  double wall_ms = 0;     // median
  double nominal_ms = 0;  // median (the same every run)
  double ratio = 0;       // median of the per-run ratios
  double ratio_max = 0;
  int bytes = 0;
  int pauses = 0;
  int runs = 0;
  bool clean = true;  // every run ended with the expected messages only
};

// Runs the save-all `button` `runs` times; before each run prepare(i) sets
// the editors. `expected` are the message boxes a run should show.
Result Measure(SimRig& rig, const std::string& button, int runs,
               const std::function<void(int)>& prepare, const std::vector<std::string>& expected) {
  Result r;
  std::vector<double> wall, nominal, ratio;
  for (int i = 0; i < runs; ++i) {
    prepare(i);
    rig.Settle();
    rig.TakeMessages();
    rig.Platform().ResetCounts();
    const double t0 = NowSeconds();
    rig.Click(button);
    const double ms = (NowSeconds() - t0) * 1000.0;
    const auto nominal_ms = static_cast<double>(rig.Platform().nominal_ms);
    r.bytes = rig.Platform().byte_pauses;
    r.pauses = rig.Platform().other_pauses;
    // The modem's last answer comes after the click; it is read here.
    rig.Settle();
    const auto messages = rig.TakeMessages();
    if (messages != expected) {
      r.clean = false;
      std::fprintf(
          stderr, "%s run %d: %zu message(s)%s%s\n", button.c_str(), i, messages.size(),
          messages.empty() ? "" : ", first: ", messages.empty() ? "" : messages[0].c_str());
    }
    wall.push_back(ms);
    nominal.push_back(nominal_ms);
    ratio.push_back(ms / nominal_ms);
  }
  r.wall_ms = Median(wall);
  r.nominal_ms = Median(nominal);
  r.ratio = Median(ratio);
  r.ratio_max = *std::max_element(ratio.begin(), ratio.end());
  r.runs = runs;
  return r;
}

void Print(const char* name, const Result& r) {
  std::printf("%-30s %4d %6d %7d %10.1f %10.1f %8.4f %8.4f %s\n", name, r.runs, r.bytes, r.pauses,
              r.nominal_ms, r.wall_ms, r.ratio, r.ratio_max,
              r.clean ? "" : "(unexpected messages)");
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

  Result s;
  {
    SimRig rig('s');
    rig.Click("Btn_Left_LoRa");
    rig.Settle();
    // Encryption on, so the sequence runs to its end with key and IV; the
    // switch asks the modem for its key, which makes the editors usable.
    rig.Set("Edit_S_En", "ON");
    rig.Settle();
    rig.Set("Edit_S_AESKey", "ABCDEFGHIJKLMNOP");
    rig.Set("Edit_S_AESIV", "0123456789abcdef");
    s = Measure(rig, "Btn_S_SaveAll_LoRaPage", runs,
                [&](int i) {
                  // Values that change every run, so the modem really applies them.
                  rig.Set("Edit_S_Did", std::to_string(4242 + i));
                  rig.Set("CB_S_Ch", std::to_string(5 + i % 2));
                  rig.Set("CB_S_Sf", std::to_string(8 + i % 2));
                },
                {"Successfully changed."});
  }
  Result io;
  {
    SimRig rig('i');
    rig.Click("Btn_Left_Serial");
    rig.Settle();
    // Both framing lengths above 0, so all six steps run.
    rig.Set("Edit_I_STXLen", "3");
    rig.Set("Edit_I_STX1", "01");
    rig.Set("Edit_I_STX2", "02");
    rig.Set("Edit_I_STX3", "03");
    rig.Set("Edit_I_ETXLen", "2");
    rig.Set("Edit_I_ETX1", "04");
    rig.Set("Edit_I_ETX2", "05");
    // The ioTavi's acknowledgements show no message.
    io = Measure(rig, "Btn_I_Serial_SaveAll", runs,
                 [&](int i) {
                   rig.Set("Edit_I_DMT", std::to_string(1000 + 100 * (i % 2)));
                   rig.Set("Edit_I_DMS", std::to_string(100 + i % 2));
                 },
                 {});
  }

  std::printf("Whole save-alls against velimo-modem-sim (real port, real clock), %d runs each\n",
              runs);
  std::printf("%-30s %4s %6s %7s %10s %10s %8s %8s\n", "save-all", "runs", "bytes", "pauses",
              "nominal ms", "wall ms", "ratio", "max");
  Print("sTavi Btn_S_SaveAll_LoRaPage", s);
  Print("ioTavi Btn_I_Serial_SaveAll", io);
  std::printf(
      "(nominal: 5 ms per byte written plus the pauses between commands; ratio: wall / nominal, "
      "median of the runs)\n");
  if (table) {
    std::printf("figure saveall.s.ratio %.4f\n", s.ratio);
    std::printf("figure saveall.s.nominal_ms %.1f\n", s.nominal_ms);
    std::printf("figure saveall.s.clean %d\n", s.clean ? 1 : 0);
    std::printf("figure saveall.i.ratio %.4f\n", io.ratio);
    std::printf("figure saveall.i.nominal_ms %.1f\n", io.nominal_ms);
    std::printf("figure saveall.i.clean %d\n", io.clean ? 1 : 0);
  }
  return s.clean && io.clean ? 0 : 1;
}
