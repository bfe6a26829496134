// Telling the family, firmware and source identifier from report lines as
// the families' readers would take them, and not being fooled by noise or
// by lines of two families at once.
#include "scan/report_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velimo::scan {
namespace {

TEST(ReportReader, FamiliesFirmwareAndSourceFromTheirLines) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    bool heard;
    Family family;
    std::string firmware, source;
  } cases[] = {
      {"sTavi, export firmware",
       {"USA F/W Ver = 1.2\r\n", "Source ID = 100001\r\n", "Main   PID = 1\r\n"},
       true,
       Family::STaviOrUTavi,
       "1.2 USA",
       "100001"},
      {"rTavi by its indented relay line",
       {"F/W Ver = 1.3\r\n", "Source ID = 300001\r\n", "       Relay ID 1 = 1\r\n"},
       true,
       Family::RTavi,
       "1.3",
       "300001"},
      {"ioTavi, its identifier one column further",
       {"F/W Version 1.3\r\n", "Source ID  = 400001\r\n", "Dummy Destination ID  = 7\r\n"},
       true,
       Family::IoTavi,
       "1.3",
       "400001"},
      {"common lines only: heard, family not told",
       {"F/W Ver = 1.3\r\n", "Source ID = 100001\r\n"},
       true,
       Family::Unknown,
       "1.3",
       "100001"},
      {"lines of two families decide nothing",
       {"Main   PID = 1\r\n", "Mode = Relay\r\n"},
       true,
       Family::Unknown,
       "",
       ""},
      {"noise at a wrong rate",
       {"\xf8\x80\x1e~x\r\n", "", "AT&V\r\n", "source id = 1\n"},
       false,
       Family::Unknown,
       "",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReportReader r;
    for (const std::string& line : c.lines) r.Feed(line);
    EXPECT_EQ(r.Heard(), c.heard);
    EXPECT_EQ(r.Which(), c.family);
    EXPECT_EQ(r.Firmware(), c.firmware);
    EXPECT_EQ(r.SourceId(), c.source);
  }
  EXPECT_STREQ(FamilyName(Family::STaviOrUTavi), "sTavi or uTavi");
  EXPECT_EQ(FamilyModel(Family::IoTavi), 'i');
}

}  // namespace
}  // namespace velimo::scan
