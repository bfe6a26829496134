#include "protocol/line_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velimo::protocol {
namespace {

using namespace std::string_literals;

struct Collector {
  std::vector<std::string> lines;
  LineAssembler assembler{[this](std::string_view l) { lines.emplace_back(l); }};
};

TEST(LineAssembler, SplittingAStreamAnywhereGivesTheSameLines) {
  const std::string stream =
      "OK. AES OFF\r\nSource ID  : 1234\r\n\nChannel = 5, SF = 7\r\npartial"s;
  const std::vector<std::string> expected = {"OK. AES OFF\r\n", "Source ID  : 1234\r\n", "\n",
                                             "Channel = 5, SF = 7\r\n"};
  for (size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
    for (size_t cut2 = cut1; cut2 <= stream.size(); cut2 += 7) {
      Collector c;
      c.assembler.Feed(std::string_view(stream).substr(0, cut1));
      c.assembler.Feed(std::string_view(stream).substr(cut1, cut2 - cut1));
      c.assembler.Feed(std::string_view(stream).substr(cut2));
      ASSERT_EQ(c.lines, expected) << "cuts at " << cut1 << ", " << cut2;
      ASSERT_EQ(c.assembler.Pending(), "partial");
    }
  }
}

TEST(LineAssembler, ChunkShapes) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
    std::string pending;
  };
  const std::vector<Case> cases = {
      {"answer in two chunks", {"OK", ". AES OFF\r\n"}, {"OK. AES OFF\r\n"}, ""},
      {"two and a half lines", {"A=1\r\nB=2\r\nC="}, {"A=1\r\n", "B=2\r\n"}, "C="},
      {"half line completed later",
       {"A=1\r\nB=2\r\nC=", "3\r\n"},
       {"A=1\r\n", "B=2\r\n", "C=3\r\n"},
       ""},
      {"lone line feed", {"\n"}, {"\n"}, ""},
      {"carriage return ends nothing", {"AT\rOK\r"}, {}, "AT\rOK\r"},
      {"leading and trailing blanks kept", {"  x  \r\n"}, {"  x  \r\n"}, ""},
      {"partial line left before a command prefixes the answer",
       {"Sourc", "OK, STX1=02\r\n"},
       {"SourcOK, STX1=02\r\n"},
       ""},
      {"empty chunk", {"", "a\n"}, {"a\n"}, ""},
      // A NUL ends its line (a line feed after it still ends the line, now
      // shortened or empty); the next line starts clean, whatever read
      // its bytes came in.
      {"nul shortens its line only", {"AB\0CD\nEF\n"s}, {"AB", "EF\n"}, ""},
      {"nul in a line two reads cut", {"AB\0C"s, "D\n", "EF\n"}, {"AB", "EF\n"}, ""},
      {"earlier bytes survive a nul in a later read", {"XY", "\0Z\n"s}, {"XY"}, ""},
      {"a lone nul gives an empty line", {"\0\nOK\n"s}, {"", "OK\n"}, ""},
      {"nul in the partial line", {"A\nB\0C"s}, {"A\n"}, "B\0\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Collector col;
    for (const std::string& chunk : c.chunks) col.assembler.Feed(chunk);
    EXPECT_EQ(col.lines, c.lines);
    EXPECT_EQ(col.assembler.Pending(), c.pending);
  }
}

TEST(LineAssembler, OverLongLineIsDroppedAndReceptionResynchronisesAtTheNextLineFeed) {
  Collector c;
  // Exactly 8192 bytes with the line feed fits.
  const std::string full = std::string(8191, 'a') + "\n";
  c.assembler.Feed(full);
  ASSERT_EQ(c.lines.size(), 1u);
  EXPECT_EQ(c.lines[0], full);

  // 8193 bytes without a line feed: dropped, nothing written past the buffer.
  c.lines.clear();
  const std::string flood(8193, 'b');
  c.assembler.Feed(std::string_view(flood).substr(0, 5000));
  c.assembler.Feed(std::string_view(flood).substr(5000));
  EXPECT_TRUE(c.assembler.Resynchronising());
  EXPECT_EQ(c.assembler.Length(), 0);
  c.assembler.Feed(std::string(20000, 'c'));  // still the same line
  c.assembler.Feed("tail of the garbage\nSource ID  : 7\r\n");
  EXPECT_EQ(c.lines, std::vector<std::string>{"Source ID  : 7\r\n"});
  EXPECT_FALSE(c.assembler.Resynchronising());
  EXPECT_EQ(c.assembler.DroppedLines(), 1);

  // One chunk holding the overflow, its line feed and a good line.
  c.lines.clear();
  c.assembler.Feed(std::string(9000, 'd') + "\nOK. AES OFF\r\n");
  EXPECT_EQ(c.lines, std::vector<std::string>{"OK. AES OFF\r\n"});
  EXPECT_EQ(c.assembler.DroppedLines(), 2);
}

TEST(LineAssembler, NestedFeedDispatchesEachLineOnceAndInOrder) {
  // The handler of the first line "shows a message box", during which the
  // next receive event arrives; the outer chunk still holds unread bytes.
  std::vector<std::string> lines;
  LineAssembler* self = nullptr;
  int nested = 0;
  LineAssembler assembler([&](std::string_view l) {
    lines.emplace_back(l);
    if (l == "Invalid 1\r\n" && nested++ == 0) {
      EXPECT_EQ(self->Length(), 0);  // taken out before the handler ran
      self->Feed("Lat");
      self->Feed("e\r\nInvalid 1\r\n");
    }
  });
  self = &assembler;
  assembler.Feed("Invalid 1\r\nOuter 2\r\nOuter 3");
  EXPECT_EQ(lines, (std::vector<std::string>{"Invalid 1\r\n", "Outer 2\r\n", "Outer 3Late\r\n",
                                             "Invalid 1\r\n"}));
  EXPECT_EQ(assembler.Length(), 0);
}

TEST(LineAssembler, AHandlerErrorLeavesTheAssemblerUsable) {
  bool fail = true;
  std::vector<std::string> lines;
  LineAssembler assembler([&](std::string_view l) {
    if (fail) throw std::runtime_error("handler");
    lines.emplace_back(l);
  });
  EXPECT_THROW(assembler.Feed("a\nb"), std::runtime_error);
  fail = false;
  assembler.Feed("c\n");
  EXPECT_EQ(lines, std::vector<std::string>{"c\n"});
}

TEST(LineAssembler, EndingTheLineRecordsWhatCameBeforeAndParsesNoneOfIt) {
  struct Case {
    const char* name;
    std::vector<std::string> before;  // fed before the line is ended
    std::vector<std::string> recorded;
  };
  const Case cases[] = {
      {"a fragment", {"OK. Destination ID=4\r\nChan"}, {"Chan"}},
      {"nothing pending", {"Source ID : 5\r\n"}, {}},
      {"a fragment cut at a zero byte", {"Cha\0n"s}, {"Cha"}},
      // The dropped line's line feed would otherwise be waited for, and
      // the next answer dropped with it.
      {"an over-long line being dropped", {std::string(9000, 'x')}, {}},
  };
  for (const Case& c : cases) {
    Collector col;
    for (const std::string& chunk : c.before) col.assembler.Feed(chunk);
    const size_t parsed = col.lines.size();
    std::vector<std::string> recorded;
    col.assembler.EndLine([&](std::string_view piece) { recorded.emplace_back(piece); });
    EXPECT_EQ(recorded, c.recorded) << c.name;
    EXPECT_EQ(col.lines.size(), parsed) << c.name << ": something was parsed";
    EXPECT_EQ(col.assembler.Length(), 0) << c.name;
    EXPECT_FALSE(col.assembler.Resynchronising()) << c.name;
    // The next answer is a line of its own.
    col.assembler.Feed("OK. Destination ID=5\r\n");
    ASSERT_FALSE(col.lines.empty());
    EXPECT_EQ(col.lines.back(), "OK. Destination ID=5\r\n") << c.name;
  }
}

TEST(LineAssembler, ANulInOneLineOfALargeReadCostsThatLineOnly) {
  // A network port's read may hold hundreds of lines; one stray zero byte
  // in the first must not blank the rest (a false "no answer").
  std::string read = "Sour\0ce ID : 1\r\n"s;
  for (int i = 0; i < 500; ++i) read += "Line " + std::to_string(i) + "\r\n";
  Collector c;
  c.assembler.Feed(read);
  ASSERT_EQ(c.lines.size(), 501u);
  EXPECT_EQ(c.lines[0], "Sour");
  EXPECT_EQ(c.lines[500], "Line 499\r\n");
}

TEST(LineAssembler, EndingTheLineFromAHandlerParsesTheWholeLinesAlreadyRead) {
  // The first line's handler shows a message box, during which the next
  // read comes in; the second line's handler sends a command (and so
  // purges). The whole line the two reads make came in before the purge
  // and is parsed; only the fragment after it, the half-built line, is
  // ended: it goes on record and is no part of the next answer.
  std::vector<std::string> lines, recorded;
  LineAssembler* self = nullptr;
  LineAssembler assembler([&](std::string_view l) {
    lines.emplace_back(l);
    if (lines.size() == 1) self->Feed("rce ID : 5\r\nCh");
    if (lines.size() == 2)
      self->EndLine([&](std::string_view piece) { recorded.emplace_back(piece); });
  });
  self = &assembler;
  assembler.Feed("OK. AES OFF\r\nOK, AES IV\r\nSou");
  EXPECT_EQ(lines,
            (std::vector<std::string>{"OK. AES OFF\r\n", "OK, AES IV\r\n", "Source ID : 5\r\n"}));
  EXPECT_EQ(recorded, (std::vector<std::string>{"Ch"}));
  EXPECT_EQ(assembler.Length(), 0);
  assembler.Feed("AES KEY : x\r\n");
  EXPECT_EQ(lines.back(), "AES KEY : x\r\n");
  EXPECT_EQ(lines.size(), 4u);
}

TEST(LineAssembler, EndingTheLineFromAHandlerWithoutAWholeLineAfterItEndsTheRest) {
  // The acknowledgement and the first bytes of another answer in one read:
  // the handler's purge ends those bytes, nothing of them is parsed, and
  // the next line stands on its own.
  std::vector<std::string> lines, recorded;
  LineAssembler* self = nullptr;
  LineAssembler assembler([&](std::string_view l) {
    lines.emplace_back(l);
    if (lines.size() == 1)
      self->EndLine([&](std::string_view piece) { recorded.emplace_back(piece); });
  });
  self = &assembler;
  assembler.Feed("OK, AES IV\r\nF/W Ve");
  assembler.Feed("F/W Ver : 1.1\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"OK, AES IV\r\n", "F/W Ver : 1.1\r\n"}));
  EXPECT_EQ(recorded, (std::vector<std::string>{"F/W Ve"}));
}

}  // namespace
}  // namespace velimo::protocol
