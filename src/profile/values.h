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
// A channel or spreading factor is checked against the plan given.
CheckedValue CheckValue(const SettingDef& def, std::string_view text,
                        const ChannelPlan& plan = protocol::kWidestPlan);

// Whether the modem holds what the profile asks for. Numbers compare as
// numbers, hex bytes without regard to case; a hex list compares as many
// bytes as the profile gives.
bool SameValue(const SettingDef& def, std::string_view profileValue, std::string_view modemValue);

// How many bytes a hex list value holds (0 for other kinds).
int HexCount(const SettingDef& def, std::string_view value);

// Why framing bytes cannot go with the length they would be used with:
// "2 bytes, but STXL = 1"; empty when the count is the length. length is
// the list entry ("0" to "3") the profile or the modem gives.
std::string FrameCountRefusal(const SettingDef& bytes, std::string_view value,
                              std::string_view length);

// The value text of the setting's command line for an accepted value,
// made by the catalogue's encoding of its single save.
std::string LineValue(const SettingDef& def, std::string_view value);

}  // namespace velimo::profile
