#include "protocol/models.h"

#include <iterator>

namespace velimo::protocol {

namespace {

std::vector<std::string> Numbers(int first, int last) {
  std::vector<std::string> out;
  for (int n = first; n <= last; ++n) out.push_back(std::to_string(n));
  return out;
}

}  // namespace

std::string_view ModelName(char modelCode) {
  for (const Model& m : kModels)
    if (m.code == modelCode) return m.name;
  return {};
}

std::optional<char> ModelCodeOf(std::string_view modelName) {
  for (const Model& m : kModels)
    if (m.name == modelName) return m.code;
  return std::nullopt;
}

std::optional<PageSet> PageSetOf(char modelCode) {
  for (const Model& m : kModels)
    if (m.code == modelCode) return m.set;
  return std::nullopt;
}

std::string_view PageSetName(PageSet set) {
  switch (set) {
    case PageSet::S:
      return "sTavi/uTavi";
    case PageSet::R:
      return "rTavi";
    case PageSet::I:
      return "ioTavi";
  }
  return {};
}

const ChannelPlan* PlanOf(std::string_view country) {
  for (const ChannelPlan& p : kPlans)
    if (p.country == country) return &p;
  return nullptr;
}

const ChannelPlan* PlanAt(int countryIndex) {
  if (countryIndex < 0 || countryIndex >= static_cast<int>(std::size(kPlans))) return nullptr;
  return &kPlans[countryIndex];
}

std::vector<std::string> ListItems(ListId list, const ChannelPlan& plan) {
  switch (list) {
    case ListId::None:
      return {};
    case ListId::Country: {
      std::vector<std::string> out;
      for (const ChannelPlan& p : kPlans) out.emplace_back(p.country);
      return out;
    }
    case ListId::Channel:
      return Numbers(1, plan.channels);
    case ListId::Factor:
      return Numbers(plan.first_factor, plan.last_factor);
    case ListId::OnOff:
      return {"OFF", "ON"};
    case ListId::PortType:
      return {"Kivet", "Normal"};
    case ListId::Baud:
      return {"600",   "1200",  "2400",  "3600",   "4800",   "7200",   "9600",
              "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
    case ListId::Parity:
      return {"None", "Odd", "Even"};
    case ListId::Flow:
      return {"OFF", "RTS/CTS"};
    case ListId::Length:
      return Numbers(0, 3);
    case ListId::RelayMode:
      return {"1. Repeat", "2. Relay"};
    case ListId::Sign:
      return {"+", "-"};
  }
  return {};
}

}  // namespace velimo::protocol
