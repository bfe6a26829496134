#include "forms/form_main_parse.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "util/positions.h"

namespace velimo::forms::parse {

namespace {

std::vector<std::string> Numbers(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) out.push_back(std::to_string(i));
  return out;
}

// Built once: every status report rebuilds the lists.
const std::vector<std::string>& Channels20() {
  static const std::vector<std::string> items = Numbers(1, 20);
  return items;
}
const std::vector<std::string>& Channels9() {
  static const std::vector<std::string> items = Numbers(1, 9);
  return items;
}
const std::vector<std::string>& Factors12() {
  static const std::vector<std::string> items = Numbers(7, 12);
  return items;
}
const std::vector<std::string>& Factors11() {
  static const std::vector<std::string> items = Numbers(7, 11);
  return items;
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
  switch (country.ItemIndex()) {
    case 0:  // KOR
    case 1:  // USA
      Refill(channels, Channels20());
      Refill(factors, Factors12());
      break;
    case 2:  // JPN
      Refill(channels, Channels9());
      Refill(factors, Factors11());
      break;
    default:
      break;
  }
}

int ListPosition(int reported, int first) {
  const int64_t position = int64_t{reported} - first;
  return position < 0 || position > INT_MAX ? -1 : static_cast<int>(position);
}

void CountryReport(std::string_view line, TLabel& label, TComboBox& country) {
  const std::string c = CopyAt(line, 11, 3);
  label.SetCaption(c);
  if (c == "KOR") {
    country.SetItemIndex(0);
  } else if (c == "USA") {
    country.SetItemIndex(1);
  } else if (c == "JPN") {
    country.SetItemIndex(2);
  }
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
