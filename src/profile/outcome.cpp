#include "profile/outcome.h"

namespace velimo::profile {

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Unchanged:
      return "unchanged";
    case Outcome::Verified:
      return "verified";
    case Outcome::DidNotStick:
      return "did-not-stick";
    case Outcome::WrittenNotVerified:
      return "written, not verified";
    case Outcome::NotSent:
      return "not sent";
    case Outcome::Skipped:
      return "skipped";
  }
  return {};
}

bool Confirmed(Outcome outcome) {
  return outcome == Outcome::Unchanged || outcome == Outcome::Verified;
}

std::string OutcomeText(Outcome outcome, std::string_view reason) {
  std::string text(OutcomeName(outcome));
  if (!reason.empty()) text += " (" + std::string(reason) + ")";
  return text;
}

}  // namespace velimo::profile
