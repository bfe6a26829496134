// Profiles end to end: velimo-cli against the simulator, for every family.
// A profile is saved, edited by hand, compared and applied (one setting the
// modem acknowledges but keeps, and for the families with a serial port a
// new baud rate that the port must follow), then compared again at the new
// rate. Templates touch nothing else, and a refused file sends nothing.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "e2e_fixture.h"

namespace velimo::e2e {
namespace {

using ::testing::HasSubstr;

void Spit(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ProfileE2e : public E2eTest {
 protected:
  ProcessResult Cli(char model, std::vector<std::string> args, const std::string& baud = "9600") {
    std::vector<std::string> all = {"--port", "./ttyModem", "--model", std::string(1, model),
                                    "--baud", baud};
    all.insert(all.end(), args.begin(), args.end());
    ProcessResult r = RunProgram(VELIMO_CLI, all, dir_, 30000);
    EXPECT_FALSE(r.timed_out) << "velimo-cli did not end";
    return r;
  }
  // Replaces "KEY = old" by "KEY = new" in the file, as a person edits it.
  void Edit(std::string& text, const std::string& key, const std::string& value) {
    const std::string at = "\n" + key + " = ";
    const size_t from = text.find(at);
    ASSERT_NE(from, std::string::npos) << key << " not in\n" << text;
    const size_t end = text.find('\n', from + 1);
    text.replace(from + at.size(), end - from - at.size(), value);
  }
};

struct FamilyCase {
  char model;
  std::string ignored;                                     // kept by the modem
  std::vector<std::pair<std::string, std::string>> edits;  // the ignored one first
  std::string new_baud;                                    // empty: no link change
};

TEST_F(ProfileE2e, SaveEditCompareApplyAndVerifyForEveryFamily) {
  const FamilyCase cases[] = {
      {'s', "DTN", {{"DTN", "12"}, {"CH", "5"}, {"DMT", "250"}, {"BAU", "115200"}}, "115200"},
      {'u', "SFT", {{"SFT", "10"}, {"CH", "9"}, {"PAB", "Even"}, {"BAU", "19200"}}, "19200"},
      {'r', "RID2", {{"RID2", "5"}, {"CH", "3"}, {"MODE", "2. Relay"}, {"RID1", "77"}}, ""},
      {'i', "BND", {{"BND", "8"}, {"CH", "4"}, {"485+DID", "42"}, {"BAU", "57600"}}, "57600"},
  };
  for (const FamilyCase& c : cases) {
    SCOPED_TRACE(std::string(1, c.model));
    StopSim();
    std::remove(state_.c_str());  // each family starts from its factory state
    StartSim(c.model, {"--rate-watch", "--ignore", c.ignored});
    const std::string file = dir_ + "/unit.vprofile";
    ProcessResult saved = Cli(c.model, {"--with-identity", "save-profile", file});
    ASSERT_EQ(saved.status, 0) << saved.out << saved.err;
    std::string text = Slurp(file);
    EXPECT_THAT(text, HasSubstr("Model = " + std::string(c.model == 's'   ? "sTavi"
                                                         : c.model == 'u' ? "uTavi"
                                                         : c.model == 'r' ? "rTavi"
                                                                          : "ioTavi")));
    EXPECT_THAT(text, HasSubstr("; Channel\nCH = 1\n"));
    EXPECT_THAT(text, HasSubstr("\nMYID = "));
    EXPECT_EQ(text.find("AESKEY"), std::string::npos) << "no secrets without --with-secrets";

    for (const auto& [key, value] : c.edits) Edit(text, key, value);
    Spit(file, text);
    ProcessResult compared = Cli(c.model, {"compare-profile", file});
    EXPECT_EQ(compared.status, 3) << compared.out << compared.err;
    EXPECT_EQ(Lines(compared.out).size(), c.edits.size()) << compared.out;
    EXPECT_THAT(compared.out, HasSubstr("CH: modem=1 profile="));

    ProcessResult applied = Cli(c.model, {"apply-profile", file});
    EXPECT_EQ(applied.status, 3) << applied.out << applied.err;
    const auto& [ignoredKey, ignoredValue] = c.edits.front();
    EXPECT_THAT(applied.out, HasSubstr(ignoredKey + ": did-not-stick (modem="));
    for (size_t i = 1; i < c.edits.size(); ++i)
      EXPECT_THAT(applied.out, HasSubstr(c.edits[i].first + ": verified\n"));
    EXPECT_THAT(applied.out, HasSubstr("MYID: unchanged\n"));
    if (!c.new_baud.empty()) {
      EXPECT_THAT(applied.out, HasSubstr("link: The modem now talks at " + c.new_baud + " baud"));
    }

    // The modem now talks at its new rate; only the setting it kept differs.
    ProcessResult again =
        Cli(c.model, {"compare-profile", file}, c.new_baud.empty() ? "9600" : c.new_baud);
    EXPECT_EQ(again.status, 3) << again.out << again.err;
    EXPECT_EQ(Lines(again.out), (std::vector<std::string>{ignoredKey + ": modem=" +
                                                          (ignoredKey == "BND"    ? "7"
                                                           : ignoredKey == "SFT"  ? "7"
                                                           : ignoredKey == "RID2" ? "2"
                                                                                  : "0") +
                                                          " profile=" + ignoredValue}));
  }
  // What the last one's modem holds, as its state file says.
  const auto io = SimStateAs<sim::IoTaviConfig>();
  EXPECT_EQ(io.channel, 4);
  EXPECT_EQ(io.destination_id_485, 42u);
  EXPECT_EQ(io.rs232.baud_index, 9);
  EXPECT_EQ(io.band, 7);
}

TEST_F(ProfileE2e, TemplateChangesOnlyItsSettingsAndVerifiesThem) {
  StartSim('u');
  const auto before = SimStateAs<sim::STaviConfig>();
  const std::string file = dir_ + "/site.vprofile";
  Spit(file, "[Profile]\nModel = uTavi\n\n[Settings]\n; site plan\nCH = 12\nSFT = 11\nDID = 500\n");
  ProcessResult r = Cli('u', {"--json", "apply-profile", file});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_THAT(r.out, HasSubstr("\"lines_sent\": 3"));
  EXPECT_THAT(r.out, HasSubstr("{\"key\": \"CH\", \"caption\": \"Channel\", \"result\": "
                               "\"verified\", \"reason\": \"\", \"before\": \"1\", \"modem\": "
                               "\"12\", \"profile\": \"12\"}"));
  auto after = SimStateAs<sim::STaviConfig>();
  EXPECT_EQ(after.radio.channel, 12);
  EXPECT_EQ(after.radio.spreading_factor, 11);
  EXPECT_EQ(after.destination_id, 500u);
  after.radio.channel = before.radio.channel;
  after.radio.spreading_factor = before.radio.spreading_factor;
  after.destination_id = before.destination_id;
  EXPECT_EQ(after, before) << "nothing outside the template changed";
}

TEST_F(ProfileE2e, RefusedProfileSendsNothing) {
  StartSim('s', {"--verbose"});
  const struct {
    std::string body;
    std::string error;
  } cases[] = {
      {"[Profile]\nModel = sTavi\n[Settings]\nCH = 5\nCHANNEL = 5\n",
       "line 5: unknown setting CHANNEL"},
      {"[Profile]\nModel = sTavi\n[Settings]\nCH = 5\nRID1 = 4\n",
       "line 5: RID1 is a setting of rTavi, not of sTavi"},
      {"[Profile]\nModel = sTavi\n[Settings]\nDMS = 117\n",
       "line 4: DMS = 117: Message Size Range : 0~116"},
      {"[Profile]\nModel = ioTavi\n[Settings]\nCH = 5\n",
       "line 2: the profile is for ioTavi, --model is for sTavi (sTavi/uTavi)"},
  };
  for (const auto& c : cases) {
    const std::string file = dir_ + "/bad.vprofile";
    Spit(file, c.body);
    for (const char* command : {"compare-profile", "apply-profile"}) {
      ProcessResult r = Cli('s', {"--trace", command, file});
      EXPECT_EQ(r.status, 1) << r.out << r.err;
      EXPECT_THAT(r.err, HasSubstr(c.error));
      EXPECT_THAT(r.err, ::testing::Not(HasSubstr("Trying Connection"))) << "the port stays shut";
    }
  }
  StopSim();
  std::ifstream log(dir_ + "/sim.err");
  std::stringstream seen;
  seen << log.rdbuf();
  EXPECT_THAT(seen.str(), ::testing::Not(HasSubstr("received"))) << "the modem got nothing";
}

// save-profile replaces only a regular file: whatever else stands at the
// name (a FIFO nobody reads, a device node, a link into /proc, a stranger's
// link) is refused with the reason and is still there, unchanged, after.
TEST_F(ProfileE2e, SaveProfileReplacesOnlyARegularFile) {
  StartSim('s');
  struct Thing {
    const char* name;
    bool (*make)(const std::string& path);
    const char* why;
    mode_t kind;  // what lstat must still find there
  };
  const Thing things[] = {
      {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; },
       "not a regular file", S_IFIFO},
      {"device",
       [](const std::string& p) {
         return geteuid() == 0 && mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       },
       "not a regular file", S_IFCHR},
      {"stdout", [](const std::string& p) { return symlink("/proc/self/fd/1", p.c_str()) == 0; },
       "not a regular file", S_IFLNK},
      {"stranger",
       [](const std::string& p) {
         return geteuid() == 0 && symlink("elsewhere.vprofile", p.c_str()) == 0 &&
                lchown(p.c_str(), 65534, 65534) == 0;
       },
       "symbolic link owned by another user", S_IFLNK},
  };
  for (const Thing& t : things) {
    SCOPED_TRACE(t.name);
    const std::string path = dir_ + "/" + t.name + ".vprofile";
    if (!t.make(path)) continue;  // a device or another user's link needs root
    ProcessResult r = Cli('s', {"save-profile", path});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr("Unable to write to " + path + ": " + t.why));
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, t.kind);
    EXPECT_FALSE(std::ifstream(dir_ + "/elsewhere.vprofile").good());
  }
}

}  // namespace
}  // namespace velimo::e2e
