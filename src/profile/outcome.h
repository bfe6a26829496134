// What became of one setting of a profile on one modem. Every word is a
// fact that was checked: a read-back that shows the value, or the reason it
// could not be shown. The CLI lines, --json, the profile dialog's rows and
// the bench reports all speak these words.
#pragma once

#include <string>
#include <string_view>

namespace velimo::profile {

enum class Outcome {
  Unchanged,           // the modem held the value before; nothing was sent for it
  Verified,            // written, and the read-back shows the value
  DidNotStick,         // written, and the read-back shows another value
  WrittenNotVerified,  // written, but no read-back shows it (no answer, or not reported)
  NotSent,             // the run ended before its line: a lost port, an interrupt
  Skipped,             // deliberately not sent, for the reason given with it
};

// "unchanged", "verified", "did-not-stick", "written, not verified",
// "not sent", "skipped".
std::string_view OutcomeName(Outcome outcome);

// Whether the modem is known to hold the profile's value: unchanged or
// verified. Every other outcome leaves the run short of what was wanted.
bool Confirmed(Outcome outcome);

// The name with its reason in brackets when there is one:
// "written, not verified (not reported)".
std::string OutcomeText(Outcome outcome, std::string_view reason);

// The reasons that go with the outcomes above.
inline constexpr std::string_view kReasonNotReported = "not reported";
inline constexpr std::string_view kReasonNoAnswer = "no answer";
inline constexpr std::string_view kReasonNoReadBack = "the port failed before the read-back";
inline constexpr std::string_view kReasonStopped = "stopped before the read-back";
inline constexpr std::string_view kReasonRawTcp =
    "a raw TCP port cannot follow the modem's line settings; use rfc2217:// or change it on a "
    "local port";

}  // namespace velimo::profile
