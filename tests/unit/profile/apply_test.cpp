// Saving, comparing and applying profiles in virtual time: the form model
// on the test platform, talking through a fake port to the simulated
// modem's own protocol core, which answers every line as the simulator
// does. A test asserts the exact lines, their pacing and the read-back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "modem.h"
#include "profile/dialog_model.h"
#include "profile/operations.h"
#include "profile/values.h"
#include "support/form_fixture.h"
#include "wire.h"

namespace velimo::profile {
namespace {

using forms::LineSettings;

// The fake port with the modem behind it. It hears a line only at the rate
// its own port runs at, as a real modem does.
class ModemChannel : public test::FakeChannel {
 public:
  ModemChannel(test::TestPlatform* clock, sim::Family family)
      : FakeChannel(clock), modem(family, sim::Firmware::k1_3) {}
  int WriteBytes(const void* data, int count) override {
    const int n = FakeChannel::WriteBytes(data, count);
    for (const std::string& line :
         splitter.Feed(std::string_view(static_cast<const char*>(data), static_cast<size_t>(n)))) {
      if (line.empty()) continue;
      lines.push_back(line);
      if (modem.LinkBaud() != 0 && modem.LinkBaud() != line_baud) continue;
      Queue(sim::WireText(modem.Handle(line).lines));
    }
    return n;
  }
  sim::Modem modem;
  sim::LineSplitter splitter;
  std::vector<std::string> lines;  // every command line the modem got
  int line_baud = 9600;
};

class ModemLine : public forms::LineSwitch {
 public:
  explicit ModemLine(ModemChannel& c) : channel_(c) {}
  LineSettings Current() const override { return current; }
  bool Reopen(const LineSettings& line) override {
    current = line;
    reopened.push_back(line);
    channel_.line_baud = line.baud;
    channel_.connected = true;
    return true;
  }
  void Close() override { channel_.connected = false; }
  LineSettings current;
  std::vector<LineSettings> reopened;

 private:
  ModemChannel& channel_;
};

class ApplyTest : public ::testing::Test {
 protected:
  // The window's model is `model`; the modem behind the port is of
  // `actual` (the same family unless given).
  void Start(char model, char actual = 0) {
    if (!actual) actual = model;
    const sim::Family family = actual == 'r'   ? sim::Family::kRTavi
                               : actual == 'i' ? sim::Family::kIoTavi
                                               : sim::Family::kSTavi;
    channel = std::make_unique<ModemChannel>(&f.platform, family);
    line = std::make_unique<ModemLine>(*channel);
    f.form->SetPort(channel.get());
    if (model == 'r') f.form->rTavi1Click();
    if (model == 'i') f.form->ioTavi1Click();
    if (model == 's') f.form->sTavi1Click();
    f.form->ApplyConnectedPresentation();
  }
  // The session over the form, its reads served in virtual time.
  forms::ModemSession& Modem() {
    if (!modem) {
      modem = std::make_unique<forms::ModemSession>(
          *f.form,
          [this](const std::function<bool()>& done, int limitMs) {
            const int64_t end = f.platform.NowMs() + limitMs;
            for (;;) {
              if (!channel->input.empty())
                f.form->ComPortEnvBoardRxChar(static_cast<int>(channel->input.size()));
              if (done()) return true;
              if (f.platform.NowMs() >= end) return false;
              f.platform.Advance(1);
            }
          },
          line.get());
    }
    return *modem;
  }
  Host MakeHost() {
    Host host;
    host.progress = [this](int done, int total, const SettingDef& def) {
      progress.push_back(std::to_string(done) + "/" + std::to_string(total) + " " +
                         std::string(def.key));
    };
    return host;
  }
  Profile Parse(const std::string& text) {
    ProfileRead read = ParseProfile(text);
    EXPECT_TRUE(read.profile) << read.error;
    return read.profile.value_or(Profile{});
  }
  // The lines sent after the first `from`, each with the virtual time of
  // its first byte.
  std::vector<std::pair<std::string, int64_t>> SentSince(size_t from) const {
    std::vector<std::pair<std::string, int64_t>> out;
    bool open = false;
    for (size_t i = from; i < channel->writes.size(); ++i) {
      const auto& w = channel->writes[i];
      if (!open) out.push_back({"", w.at_ms});
      out.back().first += w.bytes;
      open = w.bytes != "\r";
    }
    return out;
  }
  std::map<std::string, std::string> Outcomes(const ApplyResult& r) {
    std::map<std::string, std::string> out;
    for (const SettingResult& s : r.settings)
      out[std::string(s.def->key)] = s.Text() + (s.modem_read ? " " + s.modem : "");
    return out;
  }

  test::FormFixture f;
  std::unique_ptr<ModemChannel> channel;
  std::unique_ptr<ModemLine> line;
  std::unique_ptr<forms::ModemSession> modem;
  std::vector<std::string> progress;
};

TEST_F(ApplyTest, SavedProfileEditedByHandIsComparedAppliedWithPacedCatalogueLinesAndVerified) {
  Start('s');
  ProfileRunner runner(Modem(), MakeHost());
  CaptureResult saved = runner.Capture({true, true}, "/dev/ttyUSB0");
  ASSERT_TRUE(saved.profile) << saved.error;
  const std::string text = ProfileText(*saved.profile);
  EXPECT_NE(text.find("MYID = 100001\n"), std::string::npos) << text;
  EXPECT_NE(text.find("AESKEY = <qelvin_brastok>\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("STX ="), std::string::npos) << "unused framing bytes are left out";
  EXPECT_EQ(saved.profile->settings.size(), 22u) << text;

  // The technician's edits.
  std::string edited = text;
  auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = edited.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    edited.replace(at, from.size(), to);
  };
  replace("CH = 1\n", "CH = 5\n");
  replace("SFT = 7\n", "SFT = 9\n");
  replace("DMT = 100\n", "DMT = 250\n");
  replace("STXL = 0\n", "STXL = 2\n; framing\nSTX = 02,0a\n");
  const Profile wanted = Parse(edited);

  const CompareResult compared = runner.Compare(wanted);
  ASSERT_TRUE(compared.ok) << compared.error;
  std::vector<std::string> differences;
  for (const Difference& d : compared.differences)
    differences.push_back(std::string(d.def->key) + " " + d.modem + "->" + d.profile);
  EXPECT_EQ(differences, (std::vector<std::string>{"CH 1->5", "SFT 7->9", "DMT 100->250",
                                                   "STXL 0->2", "STX 02,00->02,0a"}));

  const size_t before = channel->writes.size();
  const ApplyResult applied = runner.Apply(wanted);
  ASSERT_TRUE(applied.ok) << applied.error;
  EXPECT_TRUE(applied.AllVerified());
  const auto sent = SentSince(before);
  std::vector<std::string> texts;
  for (const auto& s : sent) texts.push_back(s.first);
  // Read, the five lines (channel plan first, framing bytes after their
  // length), read again with the key query.
  EXPECT_EQ(texts,
            (std::vector<std::string>{"AT&V\r", "AT&E\r", "AT+CH=5\r", "AT+SFT=9\r", "AT+DMT=25\r",
                                      "AT+STXL=2\r", "AT+STX=02,0a\r", "AT&V\r", "AT&E\r"}));
  // 5 ms after every byte, then 100 ms after the channel (as its save-all
  // pauses) and 200 ms after every other line.
  const int pauses[] = {100, 200, 200, 200, 200};
  for (int i = 0; i < 5; ++i) {
    const auto& a = sent[static_cast<size_t>(2 + i)];
    const auto& b = sent[static_cast<size_t>(3 + i)];
    EXPECT_EQ(b.second - a.second, 5 * static_cast<int64_t>(a.first.size()) + pauses[i]) << a.first;
  }
  EXPECT_EQ(progress,
            (std::vector<std::string>{"1/5 CH", "2/5 SFT", "3/5 DMT", "4/5 STXL", "5/5 STX"}));
  const auto outcomes = Outcomes(applied);
  EXPECT_EQ(outcomes.at("CH"), "verified 5");
  EXPECT_EQ(outcomes.at("DMT"), "verified 250");
  EXPECT_EQ(outcomes.at("STX"), "verified 02,0A");
  EXPECT_EQ(outcomes.at("DID"), "unchanged 16777215");
  const auto& c = std::get<sim::STaviConfig>(channel->modem.config());
  EXPECT_EQ(c.radio.channel, 5);
  EXPECT_EQ(c.serial.stx, (sim::Framing{2, {0x02, 0x0a, 0x00}}));
  // The window shows what the modem now holds, and its watchdog is quiet.
  EXPECT_EQ(f.form->CB_S_Ch.Text(), "5");
  EXPECT_TRUE(f.platform.Messages().empty());
  EXPECT_EQ(f.form->ResponseFlag, 1);
}

TEST_F(ApplyTest, TemplateTouchesOnlyItsSettingsAndASettingThatDoesNotStickIsReported) {
  Start('r');
  channel->modem.SetIgnored({"AT+CH="});
  const Profile site =
      Parse("[Profile]\nModel = rTavi\n[Settings]\nCH = 7\nSFT = 10\nMODE = 2. Relay\n");
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  const ApplyResult applied = runner.Apply(site);
  ASSERT_TRUE(applied.ok) << applied.error;
  EXPECT_EQ(std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                                     channel->lines.end()),
            (std::vector<std::string>{"AT&V", "AT+MODE=2", "AT+CH=7", "AT+SFT=10", "AT&V"}));
  EXPECT_FALSE(applied.AllVerified());
  const auto outcomes = Outcomes(applied);
  EXPECT_EQ(outcomes.at("CH"), "did-not-stick (modem=1) 1");
  EXPECT_EQ(outcomes.at("SFT"), "verified 10");
  EXPECT_EQ(outcomes.at("MODE"), "verified 2. Relay");
  const auto& c = std::get<sim::RTaviConfig>(channel->modem.config());
  EXPECT_EQ(c.relay_id_1, 1u) << "settings outside the template untouched";
}

TEST_F(ApplyTest, LinkSettingsGoLastAndThePortFollowsThem) {
  Start('i');
  const Profile p =
      Parse("[Profile]\nModel = ioTavi\n[Settings]\nBAU = 115200\nPAB = Even\nDID = 42\n");
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  const ApplyResult applied = runner.Apply(p);
  ASSERT_TRUE(applied.ok) << applied.error;
  EXPECT_TRUE(applied.AllVerified());
  EXPECT_EQ(
      std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                               channel->lines.end()),
      (std::vector<std::string>{"AT&V", "AT+DID=42", "AT+BAU=10", "AT&V", "AT+PAB=E", "AT&V"}))
      << "each link setting is read back where the port then runs before the next goes out";
  ASSERT_EQ(line->reopened.size(), 2u);
  EXPECT_EQ(line->reopened[0], (LineSettings{115200, 0, false}));
  EXPECT_EQ(line->reopened[1], (LineSettings{115200, 2, false}));
  EXPECT_FALSE(applied.port_closed);
  EXPECT_EQ(applied.link_message,
            "The modem now talks at 115200 baud, parity Even, flow control OFF, and the port runs "
            "there.");
  EXPECT_TRUE(channel->connected);
}

TEST_F(ApplyTest, ARateTheModemDidNotTakeFallsBackToTheOldLineAndTheParityFollowsThere) {
  Start('s');
  channel->modem.SetIgnored({"AT+BAU="});
  const Profile p =
      Parse("[Profile]\nModel = sTavi\n[Settings]\nBAU = 57600\nPAB = Even\nCH = 3\n");
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  const ApplyResult applied = runner.Apply(p);
  EXPECT_TRUE(applied.ok) << applied.error;
  // The parity goes out only once the modem has been found again, at the
  // rate it still answers at.
  EXPECT_EQ(std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                                     channel->lines.end()),
            (std::vector<std::string>{"AT&V", "AT+CH=3", "AT+BAU=9", "AT&V", "AT&V", "AT+PAB=E",
                                      "AT&V"}));
  ASSERT_EQ(line->reopened.size(), 3u);
  EXPECT_EQ(line->reopened[0], (LineSettings{57600, 0, false}));
  EXPECT_EQ(line->reopened[1], (LineSettings{9600, 0, false})) << "back where it answered";
  EXPECT_EQ(line->reopened[2], (LineSettings{9600, 2, false}));
  EXPECT_FALSE(applied.port_closed);
  EXPECT_TRUE(channel->connected);
  EXPECT_EQ(
      applied.link_message,
      "The modem did not answer at 57600 baud, parity None, flow control OFF after BAU; it "
      "still answers at 9600 baud, parity None, flow control OFF. The modem now talks at 9600 "
      "baud, parity Even, flow control OFF, and the port runs there.");
  const auto outcomes = Outcomes(applied);
  EXPECT_EQ(outcomes.at("BAU"), "did-not-stick (modem=9600) 9600");
  EXPECT_EQ(outcomes.at("PAB"), "verified Even");
  EXPECT_EQ(outcomes.at("CH"), "verified 3");
  EXPECT_FALSE(applied.AllVerified());
}

TEST_F(ApplyTest, APortFailureStopsTheApplyWithoutAskingTheModemAgain) {
  Start('s');
  const Profile p = Parse("[Profile]\nModel = sTavi\n[Settings]\nCH = 5\nSFT = 9\nDID = 7\n");
  ProfileRunner runner(Modem(), MakeHost());
  // The read ("AT&V") and the destination's line go through; the channel's
  // line fails on its second byte.
  channel->make_error = [] { throw std::runtime_error("the adapter is gone"); };
  channel->fail_on_write = channel->write_calls + 5 + 9 + 2;
  channel->fail_forever = true;
  const ApplyResult applied = runner.Apply(p);
  EXPECT_FALSE(applied.ok);
  EXPECT_EQ(applied.error, "The line for CH could not be sent; the lines after it were not sent.");
  EXPECT_EQ(applied.lines_sent, 1);
  EXPECT_EQ(f.platform.Messages(), (std::vector<std::string>{"Serial Port ERROR!!"}));
  EXPECT_EQ(f.platform.restarts, 0) << "no status query on a failed port";
  EXPECT_EQ(Outcomes(applied).at("CH"), "not sent");
  EXPECT_EQ(Outcomes(applied).at("SFT"), "not sent");
  EXPECT_EQ(Outcomes(applied).at("DID"),
            "written, not verified (the port failed before the read-back)")
      << "written, but never read back";
}

TEST_F(ApplyTest, AnIoTaviApplyKeepsTheIoTaviPausesBetweenItsLines) {
  Start('i');
  const Profile p = Parse(
      "[Profile]\nModel = ioTavi\n[Settings]\nCH = 5\nSFT = 9\nPTYPE = Normal\nDID = 42\n"
      "DMT = 500\n485+DMS = 60\n");
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->writes.size();
  const ApplyResult applied = runner.Apply(p);
  ASSERT_TRUE(applied.ok) << applied.error;
  EXPECT_TRUE(applied.AllVerified());
  const auto sent = SentSince(before);
  std::vector<std::string> texts;
  for (const auto& s : sent) texts.push_back(s.first);
  EXPECT_EQ(texts, (std::vector<std::string>{"AT&V\r", "AT+485?\r", "AT+DID=42\r", "AT+CH=5\r",
                                             "AT+SFT=9\r", "AT+PTYPE=1\r", "AT+DMT=50\r",
                                             "AT+485+DMS=60\r", "AT&V\r", "AT+485?\r"}));
  // The gap from one line's first byte to the next: 5 ms a byte, then the
  // pause its ioTavi step keeps: 400 after the channel and the port type,
  // 500 where a step ends its sequence or pauses 500.
  const int pauses[] = {500, 400, 500, 400, 500, 500};
  for (int i = 0; i < 6; ++i) {
    const auto& a = sent[static_cast<size_t>(2 + i)];
    const auto& b = sent[static_cast<size_t>(3 + i)];
    EXPECT_EQ(b.second - a.second, 5 * static_cast<int64_t>(a.first.size()) + pauses[i]) << a.first;
  }
}

TEST_F(ApplyTest, AChannelIsCheckedAgainstThePlanOfTheCountryTheModemReports) {
  Start('s');
  std::get<sim::STaviConfig>(channel->modem.config()).radio.country = 2;  // JPN
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  const ApplyResult refused =
      runner.Apply(Parse("[Profile]\nModel = sTavi\n[Settings]\nDID = 7\nCH = 15\n"));
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error,
            "line 5: CH = 15: \"15\" is not one of 1, 2, 3, 4, 5, 6, 7, 8, 9 (the channel plan of "
            "JPN)");
  EXPECT_EQ(std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                                     channel->lines.end()),
            std::vector<std::string>{"AT&V"})
      << "nothing is written, not even the settings before it";
  const CompareResult compared =
      runner.Compare(Parse("[Profile]\nModel = sTavi\n[Settings]\nCH = 15\n"));
  EXPECT_EQ(compared.error, "line 4" + refused.error.substr(6));

  // A profile that sets the country itself brings its own plan.
  const ApplyResult moved =
      runner.Apply(Parse("[Profile]\nModel = sTavi\n[Settings]\nCTRY = KOR\nCH = 15\n"));
  ASSERT_TRUE(moved.ok) << moved.error;
  EXPECT_EQ(std::get<sim::STaviConfig>(channel->modem.config()).radio.channel, 15);
}

TEST_F(ApplyTest, FramingBytesThatAreNotAsManyAsTheModemsLengthAreNotSent) {
  Start('i');
  std::get<sim::IoTaviConfig>(channel->modem.config()).rs232.stx.length = 1;
  ProfileRunner runner(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  const ApplyResult applied =
      runner.Apply(Parse("[Profile]\nModel = ioTavi\n[Settings]\nSTX = 02,03\n"));
  EXPECT_FALSE(applied.ok);
  EXPECT_EQ(applied.error, "line 4: STX = 02,03: 2 bytes, but STXL = 1 in the modem");
  EXPECT_EQ(std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                                     channel->lines.end()),
            std::vector<std::string>{"AT&V"});
}

TEST_F(ApplyTest, TheDialogWritesNothingToAModemOfAnotherFamily) {
  Start('s', 'i');
  const std::string path = ::testing::TempDir() + "/velimo-family.vprofile";
  std::ofstream(path) << "[Profile]\nModel = uTavi\n[Settings]\nCH = 5\nDID = 9\n";
  ProfileDialogModel dialog(Modem(), MakeHost());
  const size_t before = channel->lines.size();
  dialog.Open(path);
  EXPECT_EQ(dialog.CurrentPhase(), ProfileDialogModel::Phase::Failed);
  EXPECT_EQ(dialog.Status(),
            "the modem reports itself as an ioTavi; the chosen model is for sTavi and the profile "
            "for uTavi\nNothing was sent.");
  EXPECT_FALSE(dialog.CanApply());
  EXPECT_EQ(std::vector<std::string>(channel->lines.begin() + static_cast<long>(before),
                                     channel->lines.end()),
            std::vector<std::string>{"AT&V"});
  std::remove(path.c_str());
}

}  // namespace
}  // namespace velimo::profile
