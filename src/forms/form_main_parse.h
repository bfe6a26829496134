// What the three response parsers of the main window share: the texts they
// show, the default-key replacement, the rebuilding of the channel lists
// and the framing report. Used only by the form_main_parse_*.cpp files.
#pragma once

#include <string>
#include <string_view>

#include "forms/controls/controls.h"
#include "protocol/parser_engine.h"

namespace velimo::forms::parse {

inline constexpr std::string_view kSuccessfullyChanged = "Successfully changed.";
// The modem reports its factory key this way instead of the key itself.
inline constexpr std::string_view kDefaultKeyReport = "****************(Default)";
// The factory key (16 characters), shown in its place so that the key
// editor holds a key that can be sent back as it is.
inline constexpr std::string_view kDefaultKey = "<qelvin_brastok>";

// The family's messages for a line that cannot be read as its answer.
inline constexpr std::string_view kDeviceChoice_S =
    "Check your Device Choice.You chose [sTavi or uTavi]. Is it correct?";
inline constexpr std::string_view kDeviceChoice_R =
    "Check your Device Choice. You chose [rTavi]. Is it correct?";
inline constexpr std::string_view kDeviceChoice_I =
    "Check your Device Choice. You chose [ioTavi]. Is it correct?";

// Puts a reported key or IV into its editor, the factory key in place of
// the modem's "(Default)" report.
void SetReportedKey(TEdit& editor, std::string_view reported);

// Rebuilds the channel and spreading-factor lists from the country
// selector: KOR and USA 20 channels and SF 7 to 12, JPN 9 channels and SF 7
// to 11; without a selection both lists stay. Cleared lists have no
// selection; a later "Channel" line sets it.
void RefreshChannelLists(const TComboBox& country, TComboBox& channels, TComboBox& factors);

// The list position of a reported number whose list starts at `first`
// ("Channel = 5" is position 4 of "1" .. "20"). A number too far below or
// above any list gives -1, no selection, without the subtraction leaving
// the range of int.
int ListPosition(int reported, int first);

// "Country" lines of the S and R families: the three characters from
// position 11 as reported, the selector moved only for a known country.
// The caller then rebuilds its lists in every case.
void CountryReport(std::string_view line, TLabel& label, TComboBox& country);

// "STX Length = 2, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00": the length
// selector from token 2, the byte panel shown unless the selector reads
// back 0 (no selection counts as not 0), and the three byte editors from
// the two characters after "0x" of tokens 5, 8 and 11, all three always.
void FramingReport(protocol::WorkingLine& line, TComboBox& length, TPanel& bytes, TEdit& byte1,
                   TEdit& byte2, TEdit& byte3);

}  // namespace velimo::forms::parse
