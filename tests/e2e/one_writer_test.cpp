// One writer on the wire: the window's profile apply runs on a thread of
// its own while the window's thread parses the answers, and a parser row
// (the IV acknowledgement) asks for a query of its own. Against a modem
// that answers each line just as the next one is being written, every line
// the modem receives must be whole, and the trace must show each command
// before its answer. What the modem received is read from the simulator's
// own log.
#include <gmock/gmock.h>

#include <fstream>
#include <set>
#include <sstream>

#include "e2e_fixture.h"
#include "profile/dialog_model.h"

namespace velimo::e2e {
namespace {

constexpr const char* kSendPrefix = "Send AT Command : ";

class OneWriterE2e : public E2eTest {};

TEST_F(OneWriterE2e, AnAnswerDuringTheNextLineNeitherCutsIntoItNorPrecedesItsCommand) {
  // The apply pauses 200 ms after each line and a line takes 5 ms a byte:
  // answers 230 ms late arrive while the next line is on its way. The IV
  // goes out before the serial settings, so its acknowledgement (whose
  // parser row asks for the key and IV) comes while the message timeout's
  // line is being written.
  StartSim('s', {"--verbose", "--delay", "230"});
  ASSERT_TRUE(ConnectTo('s'));
  const std::string file = dir_ + "/site.vprofile";
  std::ofstream(file) << "[Profile]\nModel = sTavi\n\n[Settings]\n"
                         "DID = 7\nAESIV = 0123456789ABCDEF\nDMT = 500\nDMS = 100\n";
  profile::ProfileDialogModel model(S().Modem(), {});
  model.Open(file);
  ASSERT_TRUE(model.CanApply()) << model.Status();
  const size_t traceBefore = Main().Trace().Pane().Lines().size();

  bool finished = false;
  model.StartApply([&] { finished = true; });
  ASSERT_TRUE(Platform().RunUntil([&] { return finished; }, 30000)) << "the apply never ended";
  Settle();
  StopSim();

  // Every line the modem received is one the program sent, whole.
  const std::vector<std::string>& pane = Main().Trace().Pane().Lines();
  std::set<std::string> sent;
  for (const std::string& line : pane) {
    const size_t at = line.find(kSendPrefix);
    if (at == std::string::npos) continue;
    // The line as sent, up to its carriage return (the trace shows the
    // whole zero-filled buffer).
    std::string command = line.substr(at + std::string_view(kSendPrefix).size());
    sent.insert(command.substr(0, command.find_first_of(std::string("\r\n\0", 3))));
  }
  const std::string simErr = Slurp(dir_ + "/sim.err");
  const std::vector<std::string> received = LinesReceived(simErr);
  ASSERT_FALSE(received.empty()) << simErr;
  for (const std::string& line : received)
    EXPECT_TRUE(sent.contains(line))
        << "the modem received \"" << line << "\", which is no line the program sent\n"
        << simErr;
  for (const char* line : {"AT+DID=7", "0123456789ABCDEF", "AT+DMT=50", "AT+DMS=100"})
    EXPECT_THAT(received, ::testing::Contains(line)) << simErr;
  // The IV acknowledgement's own key query went out, after the apply.
  EXPECT_THAT(received, ::testing::Contains("AT&E")) << simErr;

  // In the trace, each acknowledgement comes after its command.
  const auto index = [&](std::string_view text) {
    for (size_t i = traceBefore; i < pane.size(); ++i)
      if (pane[i].find(text) != std::string::npos) return static_cast<long>(i);
    return -1L;
  };
  const long ivSent = index(std::string(kSendPrefix) + "0123456789ABCDEF");
  const long ivAck = index("OK, AES IV");
  ASSERT_GE(ivSent, 0);
  ASSERT_GE(ivAck, 0);
  EXPECT_LT(ivSent, ivAck);
  const long didSent = index(std::string(kSendPrefix) + "AT+DID=7");
  ASSERT_GE(didSent, 0);
  for (long i = traceBefore; i < static_cast<long>(pane.size()); ++i) {
    if (pane[i].find("Destination ID") != std::string::npos && pane[i].starts_with("OK")) {
      EXPECT_GT(i, didSent) << pane[i];
    }
  }
  for (const auto& row : model.Rows()) EXPECT_EQ(row.result, "verified") << row.key;
}

}  // namespace
}  // namespace velimo::e2e
