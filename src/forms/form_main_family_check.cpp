// The family check before a page writes: a Save (a single one or a
// save-all) after a report of another family than the checked model item
// would send that family's lines to a modem that takes some of them (an
// identifier, a channel) and refuses the rest, leaving it half changed.
#include <string>

#include "forms/form_main.h"
#include "protocol/models.h"

namespace velimo::forms {

namespace {

// The window's model code ('s', 'u', 'r', 'i') as the operator knows it.
std::string ModelName(char code) {
  const std::string_view name = protocol::ModelName(code);
  return std::string(name.empty() ? protocol::ModelName('s') : name);
}

// The sTavi and the uTavi answer alike: one family here.
char FamilyOfModel(char code) {
  return code == 'u' ? 's' : code;
}

}  // namespace

std::string TForm_main::FamilyMismatch() const {
  const scan::Family reported = ReportedFamily();
  // No report since the link opened (its status query still unanswered),
  // or one whose lines tell no family (garbled, or of two families).
  if (reported == scan::Family::Unknown || ModelCode.empty()) return {};
  if (scan::FamilyModel(reported) == FamilyOfModel(ModelCode[0])) return {};
  return "the modem reports itself as an " + std::string(scan::FamilyName(reported)) + "; " +
         ChosenModelWord + " is for " + ModelName(ModelCode[0]);
}

bool TForm_main::SaveMayWrite() {
  // The sequence around this save was asked already.
  if (sequence_depth_ > 0) return true;
  // Without a report that tells a family the save goes out as it always
  // has, and the modem's own answer shows what it took.
  const std::string text = FamilyMismatch();
  if (text.empty()) return true;
  LogWriteStr("Save refused: " + text);
  platform_.ShowMessage(text + ". Nothing was sent.");
  return false;
}

}  // namespace velimo::forms
