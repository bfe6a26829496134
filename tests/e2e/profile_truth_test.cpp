// What velimo-cli reports is what the modem confirmed, tried as a
// technician would on odd units: a modem of another family than chosen, a
// firmware that leaves lines out of its report, a modem that keeps its
// rate when told another, one that goes away halfway, and one that does
// not answer at all.
#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ProfileTruthE2e : public E2eTest {
 protected:
  ProcessResult Cli(char model, std::vector<std::string> args) {
    std::vector<std::string> all = {"--port", link_, "--model", std::string(1, model)};
    all.insert(all.end(), args.begin(), args.end());
    ProcessResult r = RunProgram(VELIMO_CLI, all, dir_, 30000);
    EXPECT_FALSE(r.timed_out) << "velimo-cli did not end";
    return r;
  }
  std::string Profile(const std::string& name, const std::string& model,
                      const std::string& settings) {
    const std::string file = dir_ + "/" + name + ".vprofile";
    std::ofstream(file) << "[Profile]\nModel = " << model << "\n[Settings]\n" << settings;
    return file;
  }
};

TEST_F(ProfileTruthE2e, AModemOfAnotherFamilyIsWrittenNothing) {
  // Linked where the technician expects an sTavi, but it is an rTavi.
  StartSim('s', {"--foreign", "r"});
  const std::string file = Profile("site", "sTavi", "CH = 5\nDID = 7\nBAU = 115200\n");
  const ProcessResult applied = Cli('s', {"apply-profile", file});
  EXPECT_EQ(applied.status, 1) << applied.out << applied.err;
  EXPECT_THAT(applied.err, HasSubstr("the modem reports itself as an rTavi; --model and the "
                                     "profile are for sTavi"));
  EXPECT_EQ(applied.out, "") << "no outcome for a setting that was never sent";
  // The window's own Save, driven the same way, after the read that showed
  // the rTavi.
  const ProcessResult clicked = Cli('s', {"set", "CB_S_Ch=5", "click", "Btn_S_Save_CH"});
  EXPECT_EQ(clicked.status, 1) << clicked.out << clicked.err;
  EXPECT_THAT(clicked.out, HasSubstr("message: the modem reports itself as an rTavi; --model is "
                                     "for sTavi. Nothing was sent.\n"));
  const std::string state = Slurp(state_);
  EXPECT_THAT(state, HasSubstr("model=r\n"));
  EXPECT_THAT(state, HasSubstr("\nchannel=1\n")) << "the rTavi's channel untouched";

  const ProcessResult saved = Cli('s', {"save-profile", dir_ + "/unit.vprofile"});
  EXPECT_EQ(saved.status, 1);
  EXPECT_THAT(saved.err, HasSubstr("the modem reports itself as an rTavi; --model is for sTavi"));
  EXPECT_EQ(Slurp(dir_ + "/unit.vprofile"), "") << "no profile of the wrong family";
}

TEST_F(ProfileTruthE2e, SettingsTheReportLeftOutAreNeverTakenForTheModems) {
  StartSim('s', {"--omit", "Baudrate,Message Timeout"});
  const std::string saved = dir_ + "/unit.vprofile";
  const ProcessResult save = Cli('s', {"save-profile", saved});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_THAT(save.out, HasSubstr("left out BAU: not reported\nleft out PAB: not reported\n"
                                  "left out DMT: not reported\nleft out DMS: not reported\n"));
  const std::string text = Slurp(saved);
  EXPECT_THAT(text, HasSubstr("; Left out, as the modem did not report them when this was saved: "
                              "BAU, PAB, DMT, DMS\n"));
  EXPECT_THAT(text, Not(HasSubstr("BAU =")));
  EXPECT_THAT(text, Not(HasSubstr("DMT =")));
  EXPECT_THAT(text, HasSubstr("\nCH = 1\n"));

  const std::string site = Profile("site", "sTavi", "CH = 1\nBAU = 9600\nDMT = 100\n");
  const ProcessResult compared = Cli('s', {"compare-profile", site});
  EXPECT_EQ(compared.status, 3);
  EXPECT_EQ(compared.out, "BAU: not reported (profile=9600)\nDMT: not reported (profile=100)\n");

  const std::string change = Profile("change", "sTavi", "CH = 3\nDMT = 200\n");
  const ProcessResult applied = Cli('s', {"--json", "apply-profile", change});
  EXPECT_EQ(applied.status, 3);
  EXPECT_THAT(applied.out, HasSubstr("{\"key\": \"DMT\", \"caption\": \"Message Timeout\", "
                                     "\"result\": \"written, not verified\", \"reason\": \"not "
                                     "reported\", \"before\": null, \"modem\": null, \"profile\": "
                                     "\"200\"}"));
  EXPECT_THAT(applied.out, HasSubstr("\"key\": \"CH\", \"caption\": \"Channel\", \"result\": "
                                     "\"verified\", \"reason\": \"\", \"before\": \"1\", "
                                     "\"modem\": \"3\""));
  EXPECT_EQ(SimStateAs<sim::STaviConfig>().serial.timeout_tenths, 20) << "it was written";

  // The window's start values are not printed as the modem's.
  const ProcessResult shown = Cli('s', {"show", "CB_S_Ch", "Edit_S_Baudrate", "Edit_S_DMT"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(shown.out, "CB_S_Ch=3\nEdit_S_Baudrate (not read)\nEdit_S_DMT (not read)\n");

  // A modem that does not answer at all: no value at all, and a way on.
  StartSim('s', {"--silent"});
  const ProcessResult silent = Cli('s', {"--json", "--baud", "19200", "print"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_THAT(silent.out, Not(HasSubstr("CB_S_Ch")));
  EXPECT_THAT(silent.err, HasSubstr("no answer to the status query from sTavi on " + link_ +
                                    " at 19200 baud, parity None; nothing was read. Try "
                                    "--model auto, or 'velimo-cli scan'"));
}

TEST_F(ProfileTruthE2e, LinkSettingsGoOneAtATimeWhereTheModemIsFoundAndALostModemIsNotGuessed) {
  // A modem that acknowledges a new rate but keeps its own, and hears
  // only at that one.
  StartSim('s', {"--line-rate", "9600", "--ignore", "BAU"});
  const std::string file = Profile("link", "sTavi", "CH = 4\nBAU = 115200\nPAB = Even\n");
  const ProcessResult applied = Cli('s', {"apply-profile", file});
  EXPECT_EQ(applied.status, 3) << applied.err;
  EXPECT_EQ(applied.out,
            "CH: verified\n"
            "BAU: did-not-stick (modem=9600)\n"
            "PAB: verified\n"
            "link: The modem did not answer at 115200 baud, parity None, flow control OFF after "
            "BAU; it still answers at 9600 baud, parity None, flow control OFF. The modem now "
            "talks at 9600 baud, parity Even, flow control OFF, and the port runs there.\n");
  const auto s = SimStateAs<sim::STaviConfig>();
  EXPECT_EQ(s.serial.parity, 2) << "the parity went out where the modem was found";
  EXPECT_EQ(s.serial.baud_index, 6);
  EXPECT_EQ(s.radio.channel, 4);

  // A modem that goes away halfway: what was never sent says so.
  StartSim('s', {"--vanish-after", "2"});
  const std::string three = Profile("three", "sTavi", "DID = 5\nCH = 6\nSFT = 9\n");
  const ProcessResult lost = Cli('s', {"apply-profile", three});
  EXPECT_EQ(lost.status, 1);
  EXPECT_THAT(lost.out, HasSubstr("DID: written, not verified (the port failed before the "
                                  "read-back)\n"));
  EXPECT_THAT(lost.out, HasSubstr("SFT: not sent\n"));
  EXPECT_THAT(lost.out, Not(HasSubstr("did-not-stick")));
}

}  // namespace
}  // namespace velimo::e2e
