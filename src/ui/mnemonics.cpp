#include "ui/mnemonics.h"

#include <cctype>
#include <set>

namespace velimo::ui {

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

}  // namespace velimo::ui
