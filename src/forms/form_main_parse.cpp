#include "forms/form_main_parse.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "protocol/models.h"
#include "util/positions.h"

namespace velimo::forms::parse {

namespace {

// Built once per plan: every status report rebuilds the lists.
struct PlanLists {
  std::vector<std::string> channels, factors;
};
const PlanLists& ListsOf(int countryIndex) {
  static const auto lists = [] {
    std::vector<PlanLists> out;
    for (const protocol::ChannelPlan& plan : protocol::kPlans)
      out.push_back({protocol::ListItems(protocol::ListId::Channel, plan),
                     protocol::ListItems(protocol::ListId::Factor, plan)});
    return out;
  }();
  return lists.at(static_cast<size_t>(countryIndex));
}

// Cleared and filled anew, so without a selection; a list that already
// holds these items only loses its selection (every report rebuilds the
// lists, mostly with what they hold).
void Refill(TComboBox& list, const std::vector<std::string>& items) {
  if (list.Items() == items) {
    list.ClearSelection();
  } else {
    list.SetItems(items);
  }
}

}  // namespace

void SetReportedKey(TEdit& editor, std::string_view reported) {
  editor.SetText(reported);
  if (editor.Text() == kDefaultKeyReport) editor.SetText(kDefaultKey);
}

void RefreshChannelLists(const TComboBox& country, TComboBox& channels, TComboBox& factors) {
  // Without a country chosen the lists keep what they hold.
  if (!protocol::PlanAt(country.ItemIndex())) return;
  const PlanLists& lists = ListsOf(country.ItemIndex());
  Refill(channels, lists.channels);
  Refill(factors, lists.factors);
}

int ListPosition(int reported, int first) {
  const int64_t position = int64_t{reported} - first;
  return position < 0 || position > INT_MAX ? -1 : static_cast<int>(position);
}

void CountryReport(std::string_view line, TLabel& label, TComboBox& country) {
  const std::string c = CopyAt(line, 11, 3);
  label.SetCaption(c);
  if (const protocol::ChannelPlan* plan = protocol::PlanOf(c))
    country.SetItemIndex(static_cast<int>(plan - protocol::kPlans));
}

void FramingReport(protocol::WorkingLine& line, TComboBox& length, TPanel& bytes, TEdit& byte1,
                   TEdit& byte2, TEdit& byte3) {
  const protocol::AnswerTokens t = line.CommaSpacedTokens();
  length.SetItemIndex(StrToInt(t[2]));
  bytes.SetVisible(length.ItemIndex() != 0);
  byte1.SetText(Trim(CopyAt(t[5], 3, 2)));
  byte2.SetText(Trim(CopyAt(t[8], 3, 2)));
  byte3.SetText(Trim(CopyAt(t[11], 3, 2)));
}

}  // namespace velimo::forms::parse
