#include "forms/controls/mnemonics.h"

#include <cctype>
#include <set>

namespace velimo::forms {

std::vector<int> PickMnemonics(const std::vector<std::string>& captions) {
  std::set<char> taken;
  std::vector<int> out;
  out.reserve(captions.size());
  for (const std::string& caption : captions) {
    int pick = -1;
    for (size_t i = 0; i < caption.size() && pick < 0; ++i) {
      const auto c = static_cast<unsigned char>(caption[i]);
      if (!std::isalnum(c)) continue;
      const char key = static_cast<char>(std::tolower(c));
      if (taken.insert(key).second) pick = static_cast<int>(i);
    }
    out.push_back(pick);
  }
  return out;
}

std::vector<int> MenuMnemonics(const std::vector<TMenuItem*>& items) {
  std::vector<size_t> order;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i]->Visible()) order.push_back(i);
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i]->Visible()) order.push_back(i);
  std::vector<std::string> captions;
  for (size_t i : order) captions.push_back(items[i]->Caption());
  const std::vector<int> picked = PickMnemonics(captions);
  std::vector<int> out(items.size(), -1);
  for (size_t k = 0; k < order.size(); ++k) out[order[k]] = picked[k];
  return out;
}

}  // namespace velimo::forms
