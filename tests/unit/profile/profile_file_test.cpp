// The profile file: what a save writes reads back the same, and every kind
// of mistake a person can make while editing it is refused with its line.
#include "profile/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "profile/values.h"

namespace velimo::profile {
namespace {

TEST(ProfileFile, WrittenTextReadsBackWithCommentsAndCanonicalValues) {
  Profile p;
  p.model = 'i';
  p.set = PageSet::I;
  p.firmware = "1.3";
  p.saved = "2026-12-07T14:55:00";
  p.port = "/dev/ttyUSB0";
  p.program = "Velimo 1.0.1";
  for (auto [key, value] : {std::pair{"CH", "5"},
                            {"BAU", "115200"},
                            {"PAB", "Even"},
                            {"DMT", "250"},
                            {"STX", "02,0a"},
                            {"485+DID", "7"}}) {
    p.settings.push_back({FindSetting(PageSet::I, key), value, 0});
  }
  const std::string text = ProfileText(p);
  EXPECT_NE(text.find("[Profile]\nModel = ioTavi\nFirmware = 1.3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("; Channel\nCH = 5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("; [RS485] Destination ID\n485+DID = 7\n"), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos);

  const ProfileRead read = ParseProfile(text);
  ASSERT_TRUE(read.profile) << read.error;
  EXPECT_EQ(read.profile->model, 'i');
  EXPECT_EQ(read.profile->port, "/dev/ttyUSB0");
  ASSERT_EQ(read.profile->settings.size(), p.settings.size());
  for (size_t i = 0; i < p.settings.size(); ++i) {
    EXPECT_EQ(read.profile->settings[i].def, p.settings[i].def);
    EXPECT_EQ(read.profile->settings[i].value, p.settings[i].value);
  }
  // Hand-edited spellings are taken as the window spells them.
  const ProfileRead edited =
      ParseProfile("[profile]\nmodel=sTavi\n[settings]\npab = even\nDID=007\nhf=rts/cts\n");
  ASSERT_TRUE(edited.profile) << edited.error;
  EXPECT_EQ(edited.profile->Find("PAB")->value, "Even");
  EXPECT_EQ(edited.profile->Find("DID")->value, "7");
  EXPECT_EQ(edited.profile->Find("HF")->value, "RTS/CTS");
}

TEST(ProfileFile, RefusesWithTheLineAndTheReason) {
  const std::string head = "[Profile]\nModel = sTavi\n[Settings]\n";
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {head + "CH = 5\nFOO = 1\n", "line 5: unknown setting FOO"},
      {head + "MODE = 2. Relay\n", "line 4: MODE is a setting of rTavi, not of sTavi"},
      {head + "485+BAU = 9600\n", "line 4: 485+BAU is a setting of ioTavi, not of sTavi"},
      {head + "DID = 0\n", "line 4: DID = 0: Destination ID Range : 1~16777215"},
      {head + "DMT = 2551\n", "line 4: DMT = 2551: Message Timeout Range : 10~2550ms"},
      // The modem keeps tenths: 2549 would go out as 254 and read back as
      // 2540.
      {head + "DMT = 2549\n",
       "line 4: DMT = 2549: the modem keeps the Message Timeout in steps of 10 ms; 2549 cannot "
       "be held (2540 or 2550)"},
      {"[Profile]\nModel = ioTavi\n[Settings]\n485+DMT = 15\n",
       "line 4: 485+DMT = 15: the modem keeps the Message Timeout in steps of 10 ms; 15 cannot be "
       "held (10 or 20)"},
      // Framing bytes go with their length, wherever it stands.
      {head + "STXL = 1\nSTX = 02,03\n", "line 5: STX = 02,03: 2 bytes, but STXL = 1 (line 4)"},
      {head + "ETX = 03\nDMS = 5\nETXL = 0\n", "line 4: ETX = 03: 1 byte, but ETXL = 0 (line 6)"},
      {head + "DTN = x1\n", "line 4: DTN = x1: 'x1' is not a valid integer value"},
      {head + "PAB = Evn\n", "line 4: PAB = Evn: \"Evn\" is not one of None, Odd, Even"},
      {head + "STX = 02,0\n", "line 4: STX = 02,0: Check your STX2 input"},
      {head + "ETX = 01,02,03,04\n", "line 4: ETX = 01,02,03,04: Check your ETX Length"},
      {head + "AESKEY = short\n",
       "line 4: AESKEY = short: You must type [16 Bytes] AES KEY. Please Try Again."},
      {head + "CTRY = JPN\nCH = 12\n",
       "line 5: CH = 12: \"12\" is not one of 1, 2, 3, 4, 5, 6, 7, 8, 9 (the channel plan of "
       "JPN)"},
      {head + "CH = 5\nch = 6\n", "line 5: CH is given twice (first on line 4)"},
      {head + "CH 5\n", "line 4: \"CH 5\" is not a KEY = VALUE line"},
      {"[Profile]\nFirmware = 1.3\n[Settings]\nCH = 5\n",
       "line 1: the profile names no Model (sTavi, uTavi, rTavi or ioTavi) in [Profile]"},
      {"[Profile]\nModel = xTavi\n",
       "line 2: Model = xTavi is not one of sTavi, uTavi, rTavi, ioTavi"},
      {"[Profile]\nModel = rTavi\n[Extra]\nA = 1\n",
       "line 3: unknown section [Extra]; a profile has [Profile] and [Settings]"},
      {"[Profile]\nModel = ioTavi\nOwner = me\n",
       "line 3: unknown key Owner in [Profile] (Model, Firmware, Saved, Port, Program)"},
      {"[Profile]\nModel = ioTavi\n[Settings]\nAESIV = 0123456789abcde\n",
       "line 4: AESIV = 0123456789abcde: You must also type IV(Initialization Vector) [16 Bytes]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ProfileRead read = ParseProfile(c.text);
    EXPECT_FALSE(read.profile);
    EXPECT_EQ(read.error, c.error);
  }
}

TEST(ProfileFile, SecretsAreWrittenForTheOwnerOnlyAndReplaceAtomically) {
  const auto dir = std::filesystem::temp_directory_path() / "velimo-profile-file-test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "unit.vprofile").string();
  Profile p;
  p.model = 's';
  p.settings.push_back({FindSetting(PageSet::S, "CH"), "5", 0});
  WriteProfileFile(path, p);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0044, 0u) << "a plain profile is not secret";
  p.settings.push_back({FindSetting(PageSet::S, "AESKEY"), "0123456789abcdef", 0});
  WriteProfileFile(path, p);
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const ProfileRead read = ReadProfileFile(path);
  ASSERT_TRUE(read.profile) << read.error;
  EXPECT_EQ(read.profile->Find("AESKEY")->value, "0123456789abcdef");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary left";
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velimo::profile
