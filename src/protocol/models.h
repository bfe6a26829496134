// The modem models and the page sets they share, the countries' channel
// plans, and the fixed entries of every list a setting is chosen from. The
// pages, the parsers, the profiles and the command line all take them from
// here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::protocol {

// The page sets: sTavi and uTavi share S, rTavi has R, ioTavi I.
enum class PageSet : uint8_t { S, R, I };

struct Model {
  char code;              // the model code of the settings file: 's', 'u', 'r', 'i'
  std::string_view name;  // "sTavi" ...
  PageSet set;
};

inline constexpr Model kModels[] = {
    {'s', "sTavi", PageSet::S},
    {'u', "uTavi", PageSet::S},
    {'r', "rTavi", PageSet::R},
    {'i', "ioTavi", PageSet::I},
};

// "sTavi" ... from the model code; empty for anything else.
std::string_view ModelName(char modelCode);
// The model code of a model name (exact spelling), or nothing.
std::optional<char> ModelCodeOf(std::string_view modelName);
std::optional<PageSet> PageSetOf(char modelCode);
// "sTavi/uTavi", "rTavi", "ioTavi".
std::string_view PageSetName(PageSet set);

// What a country allows: channels 1 to `channels`, spreading factors
// `first_factor` to `last_factor`.
struct ChannelPlan {
  std::string_view country;
  int channels;
  int first_factor;
  int last_factor;
};

// In the order of the country list (its position + 1 is the country's
// number on the wire). The first plan is the widest.
inline constexpr ChannelPlan kPlans[] = {
    {"KOR", 20, 7, 12},
    {"USA", 20, 7, 12},
    {"JPN", 9, 7, 11},
};

// The plan of a country ("JPN"), or nullptr for a name no plan has.
const ChannelPlan* PlanOf(std::string_view country);
// The plan at a position of the country list, or nullptr.
const ChannelPlan* PlanAt(int countryIndex);
inline constexpr const ChannelPlan& kWidestPlan = kPlans[0];

// The lists settings are chosen from.
enum class ListId : uint8_t {
  None,       // a typed value
  Country,    // "KOR", "USA", "JPN"
  Channel,    // by the country's plan
  Factor,     // by the country's plan
  OnOff,      // "OFF", "ON"
  PortType,   // "Kivet", "Normal"
  Baud,       // "600" ... "921600"
  Parity,     // "None", "Odd", "Even"
  Flow,       // "OFF", "RTS/CTS"
  Length,     // "0" ... "3"
  RelayMode,  // "1. Repeat", "2. Relay"
  Sign,       // "+", "-"
};

// The entries of a list in position order; the channel and
// spreading-factor lists follow the plan.
std::vector<std::string> ListItems(ListId list, const ChannelPlan& plan = kWidestPlan);
// Whether a list's entries depend on the country.
constexpr bool FollowsPlan(ListId list) {
  return list == ListId::Channel || list == ListId::Factor;
}

}  // namespace velimo::protocol
