// Keyboard mnemonics of a menu (Alt+C opens "Connection"): each caption
// gets the first of its letters that no caption before it has taken, so
// the captions themselves stay as they are.
#pragma once

#include <string>
#include <vector>

#include "forms/controls/controls.h"

namespace velimo::forms {

// For each caption, the index of its mnemonic letter, or -1 when every
// letter of it is taken. Captions earlier in the list choose first.
std::vector<int> PickMnemonics(const std::vector<std::string>& captions);

// The same for the items of one menu (or the menus of the bar): items
// shown choose their letters before those that are hidden.
std::vector<int> MenuMnemonics(const std::vector<TMenuItem*>& items);

}  // namespace velimo::forms
