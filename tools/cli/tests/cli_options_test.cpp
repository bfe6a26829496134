// The command line of velimo-cli and the way it writes what it prints.
#include "cli_options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "output.h"

namespace velimo::cli {
namespace {

std::vector<std::string> Base(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--port", "/dev/ttyUSB0", "--model", "s"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(CliOptionsTest, LinkSettingsSpelledAsTheConnectDialogSpellsThem) {
  ParsedCli p = ParseCli({"--port=/dev/ttyS1", "--model", "i", "--baud", "921600", "--parity=even",
                          "--flow", "rtscts", "--yes", "--json", "--trace"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->port, "/dev/ttyS1");
  EXPECT_EQ(p.options->model, 'i');
  EXPECT_EQ(p.options->baud, "921600");
  EXPECT_EQ(p.options->parity, "Even");
  EXPECT_EQ(p.options->flow_index, 1);
  EXPECT_TRUE(p.options->yes && p.options->json && p.options->trace);
  EXPECT_TRUE(p.options->commands.empty());

  ParsedCli d = ParseCli(Base());
  ASSERT_TRUE(d.options);
  EXPECT_EQ(d.options->baud, "9600");
  EXPECT_EQ(d.options->parity, "None");
  EXPECT_EQ(d.options->flow_index, 0);
  EXPECT_FALSE(d.options->yes || d.options->json || d.options->trace);
}

TEST(CliOptionsTest, CommandsInOrder) {
  ParsedCli p = ParseCli(
      Base({"read", "set", "Edit_S_Did=42", "click", "Btn_S_Save_Did", "wait", "250", "show",
            "LB_S_DID", "Edit_S_Did", "print", "set", "Edit_S_AESKey=a=b", "set", "Edit_S_Did="}));
  ASSERT_TRUE(p.options) << p.error;
  const auto& c = p.options->commands;
  ASSERT_EQ(c.size(), 8u);
  EXPECT_EQ(c[0].kind, Command::Kind::Read);
  EXPECT_EQ(c[1].kind, Command::Kind::Set);
  EXPECT_EQ(c[1].name, "Edit_S_Did");
  EXPECT_EQ(c[1].value, "42");
  EXPECT_EQ(c[2].kind, Command::Kind::Click);
  EXPECT_EQ(c[2].name, "Btn_S_Save_Did");
  EXPECT_EQ(c[3].kind, Command::Kind::Wait);
  EXPECT_EQ(c[3].ms, 250);
  // show takes names up to the next command word.
  EXPECT_EQ(c[4].kind, Command::Kind::Show);
  EXPECT_EQ(c[4].names, (std::vector<std::string>{"LB_S_DID", "Edit_S_Did"}));
  EXPECT_EQ(c[5].kind, Command::Kind::Print);
  // The value is everything after the first "=", and may be empty.
  EXPECT_EQ(c[6].value, "a=b");
  EXPECT_EQ(c[7].value, "");
}

TEST(CliOptionsTest, PortNameIsKeptAsTypedForThePortsOwnRule) {
  for (const char* given : {"./ttyVelimo-s", "../run/ttyVelimo-r", "ttyUSB0", "COM3"}) {
    ParsedCli p = ParseCli({"--port", given, "--model", "r"});
    ASSERT_TRUE(p.options) << given;
    EXPECT_EQ(p.options->port, given);
  }
}

TEST(CliOptionsTest, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{}, "--port is required"},
      {{"--model", "s"}, "--port is required"},
      {{"--port", "/dev/x"}, "--model is required"},
      {{"--port", "/dev/x", "--model", "S"}, "--model needs one of s, u, r, i"},
      {{"--port", "/dev/x", "--model", "su"}, "--model needs one of s, u, r, i"},
      {{"--port", "/dev/x", "--model"}, "--model needs one of s, u, r, i"},
      {{"--port"}, "--port needs a serial port"},
      {Base({"--baud", "9601"}), "--baud needs one of"},
      {Base({"--parity", "None"}), "--parity needs one of none, odd, even"},
      {Base({"--flow", "xon"}), "--flow needs one of off, rtscts"},
      {Base({"--yes=1"}), "--yes takes no value"},
      {Base({"--verbose"}), "unknown option \"--verbose\""},
      {Base({"frob"}), "unknown command \"frob\""},
      {Base({"set"}), "set needs NAME=VALUE"},
      {Base({"set", "Edit_S_Did"}), "set needs NAME=VALUE, not \"Edit_S_Did\""},
      {Base({"set", "=5"}), "set needs NAME=VALUE, not \"=5\""},
      {Base({"click"}), "click needs a control name"},
      {Base({"wait", "-5"}), "wait needs a number of milliseconds"},
      {Base({"wait", "5s"}), "wait needs a number of milliseconds"},
      {Base({"show"}), "show needs at least one control name"},
      {Base({"show", "print"}), "show needs at least one control name"},
      {Base({"show", "apply-profile"}), "show needs at least one control name"},
      {Base({"save-profile"}), "save-profile needs a profile file"},
      {Base({"--with-secrets=1"}), "--with-secrets takes no value"},
      {{"--list", "names"}, "--list needs one of commands, controls, editors, ports"},
      {{"--list", "editors"}, "--list editors needs --model"},
  };
  for (const Case& c : cases) {
    ParsedCli p = ParseCli(c.args);
    EXPECT_FALSE(p.options) << c.error;
    EXPECT_TRUE(p.error.starts_with(c.error)) << p.error << " / " << c.error;
  }
}

TEST(CliOptionsTest, HelpAndVersionWinOverEverythingElseAListNeedsNoPort) {
  ParsedCli p = ParseCli({"--model", "x", "--help"});
  ASSERT_TRUE(p.options);
  EXPECT_TRUE(p.options->help);
  p = ParseCli({"frob", "--version"});
  ASSERT_TRUE(p.options);
  EXPECT_TRUE(p.options->version);
  p = ParseCli({"--list", "controls", "--model", "r"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->list, CliOptions::List::Controls);
  EXPECT_EQ(p.options->model, 'r');
}

TEST(CliOutputTest, Latin1BytesWrittenAsUtf8) {
  EXPECT_EQ(Utf8FromLatin1("abc"), "abc");
  EXPECT_EQ(Utf8FromLatin1("\xE9"), "\xC3\xA9");  // é
  EXPECT_EQ(Utf8FromLatin1("\xFF\x80"), "\xC3\xBF\xC2\x80");
}

TEST(CliOutputTest, MessageOnOneLine) {
  struct Case {
    std::string_view in;
    const char* out;
  } cases[] = {
      {"Successfully changed.", "Successfully changed."},
      {"Invalid Command : AT+CH=99\r\n", "Invalid Command : AT+CH=99"},
      {"two\r\nlines\nhere\rend\n", "two\\nlines\\nhere\\nend"},
      {std::string_view("cut\0here", 8), "cut"},
      {"     Disconnected.     ", "     Disconnected.     "},
  };
  for (const Case& c : cases) EXPECT_EQ(OneLine(c.in), c.out);
}

TEST(CliOutputTest, JsonStringsEscaped) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("\r\n\t"), "\"\\r\\n\\t\"");
  EXPECT_EQ(JsonString(std::string_view("\x01\0", 2)), "\"\\u0001\\u0000\"");
  EXPECT_EQ(JsonString("\xB5"), "\"\xC2\xB5\"");
  EXPECT_EQ(FormatJson({{"A", "1"}, {"B", "x y"}}), "{\"A\": \"1\", \"B\": \"x y\"}\n");
  EXPECT_EQ(FormatJson({}), "{}\n");
  EXPECT_EQ(FormatLines({{"A", "1"}, {"B", ""}}), "A=1\nB=\n");
}

TEST(CliOutputTest, WhichMessagesReportAFailure) {
  const char* notices[] = {"Successfully changed.", "     Disconnected.     ",
                           "Please set COM again and reconnect.", "AT Mode On\r\n", "AT Mode Off"};
  for (const char* t : notices) EXPECT_FALSE(IsFailureMessage(t)) << t;
  const char* failures[] = {"Check your Serial Port Status.",
                            "Serial Port ERROR!!",
                            "Serial Connection Lost!! Restarting Application.",
                            "ERROR! Please check your serial port status.",
                            "Destination ID Range : 1~16777215",
                            "You can type only numeric keys.",
                            "Check your Device Choice. You chose [rTavi]. Is it correct?",
                            "Invalid Command : AT+CH=99\r\n",
                            "'x' is not a valid integer value.",
                            "Successfully changed",
                            "Disconnected."};
  for (const char* t : failures) EXPECT_TRUE(IsFailureMessage(t)) << t;
}

}  // namespace
}  // namespace velimo::cli
