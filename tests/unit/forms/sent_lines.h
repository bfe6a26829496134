// What the editors' tests read back from the fake port and the platform:
// the command lines written, each with the virtual time of its first byte,
// the pauses between commands, and the trace messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/form_fixture.h"

namespace velimo::forms::edit_test {

constexpr const char* kClosed = "Check your Serial Port Status.";

struct SentLine {
  std::string bytes;
  int64_t at_ms;
};

// The writes grouped into lines, each ended by its carriage return; bytes
// after the last carriage return ("+++") form a line of their own.
inline std::vector<SentLine> SentLines(const test::FakeChannel& channel) {
  std::vector<SentLine> lines;
  bool open = false;
  for (const auto& w : channel.writes) {
    if (!open) lines.push_back({"", w.at_ms});
    lines.back().bytes += w.bytes;
    open = w.bytes != "\r";
  }
  return lines;
}

inline std::vector<std::string> LineTexts(const test::FakeChannel& channel) {
  std::vector<std::string> out;
  for (const SentLine& l : SentLines(channel)) out.push_back(l.bytes);
  return out;
}

// The blocking pauses between commands: every pause but the 5 ms after
// each byte.
inline std::vector<int> StepPauses(const test::TestPlatform& platform) {
  std::vector<int> out;
  for (const auto& p : platform.pauses)
    if (p.ms != 5) out.push_back(p.ms);
  return out;
}

// The trace pane's messages without their "[HH:NN:SS]  " stamps.
inline std::vector<std::string> TraceMessages(TForm_main& form) {
  std::vector<std::string> out;
  for (const std::string& line : form.Trace().Pane().Lines())
    out.push_back(line.size() >= 12 ? line.substr(12) : line);
  return out;
}

// The messages traced as sent: what follows "Send AT Command : ".
inline std::vector<std::string> TracedSends(TForm_main& form) {
  const std::string label = "Send AT Command : ";
  std::vector<std::string> out;
  for (const std::string& m : TraceMessages(form))
    if (m.rfind(label, 0) == 0) out.push_back(m.substr(label.size()));
  return out;
}

// A fixture whose form sits on the test platform with the fake port open,
// after the window's activation.
class EditorTest : public ::testing::Test {
 protected:
  EditorTest() {
    f.Activate();
    f.Connect();
    f.platform.ClearRecords();
  }
  void ClosePort() { f.channel.connected = false; }

  test::FormFixture f;
  TForm_main& form = *f.form;
};

}  // namespace velimo::forms::edit_test
