// What reaches a terminal, a spreadsheet or a JSON reader from a modem's
// bytes, a USB string or a units file: escaped once, by that output's own
// rules, and nothing a spreadsheet runs or a terminal obeys.
#include "output.h"

#include <gtest/gtest.h>

#include <random>

#include "fleet/fleet_command.h"
#include "fleet/fleet_report.h"
#include "fleet/json_value.h"
#include "fleet/units_file.h"
#include "secrets.h"

namespace velimo::cli {
namespace {

TEST(OutputTest, EachOutputEscapesControlsAndEncodesOnce) {
  const struct {
    const char* in;  // Latin-1 for PlainText/JsonString, UTF-8 for the others
    const char* plain;
    const char* plain_utf8;
    const char* json;
    const char* json_utf8;
  } cases[] = {
      {"1.3", "1.3", "1.3", R"("1.3")", R"("1.3")"},
      // The modem's é (0xE9) and a UTF-8 é are each one é.
      {"caf\xE9", "caf\xC3\xA9", "caf\\xE9", "\"caf\xC3\xA9\"", "\"caf\xC3\xA9\""},
      {"caf\xC3\xA9", "caf\xC3\x83\xC2\xA9", "caf\xC3\xA9", "\"caf\xC3\x83\xC2\xA9\"",
       "\"caf\xC3\xA9\""},
      // A terminal's escape sequence, a tab, a bell, DEL.
      {"\x1b[2Jx\t\x07\x7F", "\\x1B[2Jx\\x09\\x07\\x7F", "\\x1B[2Jx\\x09\\x07\\x7F",
       R"("\u001b[2Jx\t\u0007\u007f")", R"("\u001b[2Jx\t\u0007\u007f")"},
      // C1: 0x9B is a one-byte CSI in Latin-1; U+009B in UTF-8.
      {"a\x9B"
       "b",
       "a\\x9Bb", "a\\x9Bb", R"("a\u009bb")", R"("a\u009bb")"},
      {"a\xC2\x9B"
       "b",
       "a\xC3\x82\\x9Bb", "a\\x9Bb", "\"a\xC3\x82\\u009bb\"", R"("a\u009bb")"},
      // A real line break is escaped once.
      {"no answer\nat 9600", "no answer\\x0Aat 9600", "no answer\\x0Aat 9600",
       R"("no answer\nat 9600")", R"("no answer\nat 9600")"},
      {"q\"\\", "q\"\\", "q\"\\", R"("q\"\\")", R"("q\"\\")"},
      // Three bytes of a four-byte sequence, then an overlong slash.
      {"\xF0\x9F\x98 \xC0\xAF", "\xC3\xB0\\x9F\\x98 \xC3\x80\xC2\xAF", "\\xF0\\x9F\\x98 \\xC0\\xAF",
       "\"\xC3\xB0\\u009f\\u0098 \xC3\x80\xC2\xAF\"",
       "\"\xC3\xB0\\u009f\\u0098 \xC3\x80\xC2\xAF\""},
      {"\xE2\x82\xAC", "\xC3\xA2\\x82\xC2\xAC", "\xE2\x82\xAC", "\"\xC3\xA2\\u0082\xC2\xAC\"",
       "\"\xE2\x82\xAC\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(PlainText(c.in), c.plain);
    EXPECT_EQ(PlainUtf8(c.in), c.plain_utf8);
    EXPECT_EQ(JsonString(c.in), c.json);
    EXPECT_EQ(JsonStringUtf8(c.in), c.json_utf8);
    // What a JSON reader gets back is the UTF-8 text itself.
    const auto back = fleet::ParseJson(JsonStringUtf8(PlainUtf8(c.in)));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back->String(), PlainUtf8(c.in));
  }
  // A message on one line: its own end dropped, inner breaks as \n.
  EXPECT_EQ(OneLine("bad\r\nline\x1b]0;x\x07\r\n"), "bad\\nline\\x1B]0;x\\x07");
}

TEST(OutputTest, CsvCellsNeverRunAsFormulas) {
  const struct {
    const char* in;
    const char* cell;
  } cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"@SUM(A1:A9)", "'@SUM(A1:A9)"},
      {"+cmd", "'+cmd"},
      {"-2+3", "'-2+3"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"-5", "-5"},
      {"+3.25", "+3.25"},
      {"-", "'-"},
      {"12", "12"},
      {"a,b", "\"a,b\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvCell(c.in), c.cell) << c.in;
}

// A modem's firmware with é, a formula as its source ID, a reason with a
// line break and an escape sequence: each output gets it once, its way.
TEST(OutputTest, ABenchReportCarriesHostileTextSafelyInEveryForm) {
  // The worker writes the modem's Latin-1 byte into its JSON once; the
  // supervisor reads UTF-8 back and writes it on as it is.
  const fleet::UnitReport w =
      fleet::ReportFromWorker("{\"fleet_result\": 1, \"firmware\": " + JsonString("1.3-caf\xE9") +
                              ", \"result\": \"read\"}");
  fleet::UnitReport u;
  u.port = "/dev/ttyUSB0";
  u.model = "sTavi";
  u.firmware = w.firmware;
  EXPECT_EQ(u.firmware, "1.3-caf\xC3\xA9");
  u.source_id_before = "=HYPERLINK(\"x\")";
  u.result = fleet::UnitResult::kFailed;
  u.reason = "no answer\n\x1b[2J";
  const std::string csv = fleet::ReportCsv({u});
  EXPECT_NE(csv.find(",1.3-caf\xC3\xA9,\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
  EXPECT_NE(csv.find("\"no answer\n\x1b[2J\""), std::string::npos) << csv;
  const auto json = fleet::ParseJson(fleet::ReportJson({u}));
  ASSERT_TRUE(json && json->Array());
  EXPECT_EQ((*json->Array())[0].Text("firmware"), "1.3-caf\xC3\xA9");
  EXPECT_EQ((*json->Array())[0].Text("reason"), "no answer\n\x1b[2J");
  const std::string table = fleet::SummaryTable({u});
  EXPECT_NE(table.find("1.3-caf\xC3\xA9  "), std::string::npos) << table;
  EXPECT_NE(table.find("failed: no answer\\x0A\\x1B[2J"), std::string::npos) << table;
  EXPECT_EQ(table.find('\x1b'), std::string::npos);
}

// Random bytes, weighted toward what breaks writers (controls, quotes,
// commas, formula starts, bytes of UTF-8 sequences), through every
// writer: plain text holds no control byte and is valid UTF-8, JSON reads
// back to the text, a CSV cell reads back (through the units file's own
// reader) to the text with at most the ' in front, and a units file made
// of such bytes is read or refused with its line, never half read.
TEST(OutputTest, RandomBytesThroughEveryWriterComeBackIntactAndHarmless) {
  std::mt19937 random(20261207);
  using namespace std::string_literals;
  const std::string special = "\x00\t\r\n\x1b\x7f\x85\x9b\xc2\xc3\xe2\xf0\xa9\x80\"',=+-@ 09."s;
  auto bytes = [&](size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
      const unsigned pick = random() % 3;
      s += pick == 0 ? static_cast<char>(random() % 256) : special[random() % special.size()];
    }
    return s;
  };
  auto valid_utf8 = [](const std::string& s) { return PlainUtf8(s) == s; };
  for (int round = 0; round < 20000; ++round) {
    const std::string in = bytes(random() % 24);
    for (const std::string& plain : {PlainText(in), PlainUtf8(in)}) {
      for (unsigned char c : plain) ASSERT_FALSE(c < 0x20 || c == 0x7F) << plain;
      ASSERT_TRUE(valid_utf8(plain)) << plain;
      for (size_t i = plain.find('\xC2'); i != std::string::npos; i = plain.find('\xC2', i + 1))
        ASSERT_GE(static_cast<unsigned char>(plain[i + 1]), 0xA0) << plain;  // no C1 as UTF-8
    }
    const auto json = fleet::ParseJson(JsonStringUtf8(in));
    ASSERT_TRUE(json && json->String()) << in;
    if (valid_utf8(in) && in.find('\0') == std::string::npos) {
      ASSERT_EQ(*json->String(), in);
    }
    if (in.find_first_of("\r\n") == std::string::npos && in.find('\0') == std::string::npos) {
      const std::string cell = CsvCell(in);
      ASSERT_TRUE(cell.empty() ||
                  std::string_view("=+-@\t\r").find(cell[0]) == std::string_view::npos ||
                  CsvCell(in) == in)
          << cell;
      const fleet::ParsedUnits units = fleet::ParseUnitsCsv("Port,X\nk," + cell + "\n");
      ASSERT_TRUE(units.units) << cell << " " << units.error;
      const auto& settings = units.units->rows.at(0).settings;
      std::string back = settings.empty() ? "" : settings[0].second;
      if (back != in && !back.empty() && back[0] == '\'') back.erase(0, 1);
      // The reader trims blanks around an unquoted cell, as a spreadsheet's
      // export has them; a quoted one comes back whole.
      if (!cell.empty() && cell.front() == '"') {
        ASSERT_EQ(back, in) << cell;
      } else {
        ASSERT_NE(in.find(back), std::string::npos) << cell;
      }
    }
    const fleet::ParsedUnits any = fleet::ParseUnitsCsv(bytes(random() % 64));
    ASSERT_TRUE(any.units || any.error.starts_with("line ")) << any.error;
  }
}

// The key and IV as a report or the trace copy tells them: every way they
// reach a command line or a trace line is masked, one * per character.
TEST(OutputTest, KeysAndIvsAreMaskedWhereverTheyStand) {
  const struct {
    std::vector<std::string> args;
    const char* text;
  } lines[] = {
      {{"--port", "./m1", "set", "Edit_S_AESKey=0123456789abcdef", "click", "Btn_S_Save_AESKey"},
       // A * is quoted, as a shell would need it.
       "--port ./m1 set 'Edit_S_AESKey=****************' click Btn_S_Save_AESKey"},
      {{"--unit-value", "aesiv=fedcba9876543210", "--unit-value=AESKEY=0123456789abcdef"},
       "--unit-value 'aesiv=****************' '--unit-value=AESKEY=****************'"},
      {{"set", "Edit_S_Did=42", "apply-profile", "my site.vprofile"},
       "set Edit_S_Did=42 apply-profile 'my site.vprofile'"},
      {{"--report", "it's.csv"}, "--report 'it'\\''s.csv'"},
  };
  for (const auto& l : lines) EXPECT_EQ(CommandLineText(l.args), l.text);

  const std::vector<std::string> known = {"fedcba9876543210", "1"};
  const struct {
    const char* in;
    const char* out;
  } trace[] = {
      // The IV goes out alone; the modem's report names the key.
      {"[12:00:00]  fedcba9876543210", "[12:00:00]  ****************"},
      {"[12:00:00]  AES KEY = 0123456789abcdef\r\nOK",
       "[12:00:00]  AES KEY = ****************\r\nOK"},
      {"[12:00:00]  AT+AESKEY=0123456789abcdef", "[12:00:00]  AT+AESKEY=****************"},
      // A rejection that repeats the IV; short texts are not masked.
      {"[12:00:01]  Invalid fedcba9876543210 1", "[12:00:01]  Invalid **************** 1"},
  };
  for (const auto& t : trace) EXPECT_EQ(MaskedTraceLine(t.in, known), t.out);
  EXPECT_TRUE(IsSecretControl("edit_i_aesiv"));
  EXPECT_FALSE(IsSecretControl("Edit_S_Did"));
}

}  // namespace
}  // namespace velimo::cli
