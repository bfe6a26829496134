// One setting's value as the file writes it: the tests a value must pass
// (the single saves' own range tests and messages), how a profile value and
// the modem's are compared, and the value text of its command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "profile/setting_table.h"

namespace velimo::profile {

// The value in the spelling the window shows (a list entry as the list
// spells it, hex bytes as written), or the reason it is refused: the same
// message the single save shows for that value where it has one.
struct CheckedValue {
  std::string value;
  std::string refusal;  // empty when accepted
};
// japan: the channel plan is the narrower JPN one.
CheckedValue CheckValue(const SettingDef& def, std::string_view text, bool japan = false);

// Whether the modem holds what the profile asks for. Numbers compare as
// numbers, a timeout by the tenths the modem keeps, hex bytes without
// regard to case; a hex list compares as many bytes as the profile gives.
bool SameValue(const SettingDef& def, std::string_view profileValue, std::string_view modemValue);

// How many bytes a hex list value holds (0 for other kinds).
int HexCount(const SettingDef& def, std::string_view value);

// The value text of the setting's command line for an accepted value,
// made by the catalogue's encoding of its single save.
std::string LineValue(const SettingDef& def, std::string_view value);

}  // namespace velimo::profile
