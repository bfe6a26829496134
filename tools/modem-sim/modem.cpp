#include "modem.h"

#include <string>

namespace velimo::sim {

std::optional<Family> FamilyFromCode(std::string_view code) {
  if (code == "s") return Family::kSTavi;
  if (code == "u") return Family::kUTavi;
  if (code == "r") return Family::kRTavi;
  if (code == "i") return Family::kIoTavi;
  return std::nullopt;
}

std::string_view FamilyCode(Family family) {
  switch (family) {
    case Family::kSTavi:
      return "s";
    case Family::kUTavi:
      return "u";
    case Family::kRTavi:
      return "r";
    case Family::kIoTavi:
      return "i";
  }
  return "s";
}

std::string_view FamilyName(Family family) {
  switch (family) {
    case Family::kSTavi:
      return "sTavi";
    case Family::kUTavi:
      return "uTavi";
    case Family::kRTavi:
      return "rTavi";
    case Family::kIoTavi:
      return "ioTavi";
  }
  return "sTavi";
}

std::optional<Firmware> FirmwareFromName(std::string_view name) {
  if (name == "1.0") return Firmware::k1_0;
  if (name == "1.1") return Firmware::k1_1;
  if (name == "1.3") return Firmware::k1_3;
  if (name == "usa") return Firmware::kUsa;
  if (name == "japan") return Firmware::kJapan;
  return std::nullopt;
}

std::string_view FirmwareName(Firmware firmware) {
  switch (firmware) {
    case Firmware::k1_0:
      return "1.0";
    case Firmware::k1_1:
      return "1.1";
    case Firmware::k1_3:
      return "1.3";
    case Firmware::kUsa:
      return "usa";
    case Firmware::kJapan:
      return "japan";
  }
  return "1.3";
}

Config FactoryDefaults(Family family, Firmware firmware) {
  int country = firmware == Firmware::kUsa ? 1 : firmware == Firmware::kJapan ? 2 : 0;
  switch (family) {
    case Family::kSTavi:
    case Family::kUTavi: {
      STaviConfig c;
      if (family == Family::kUTavi) c.source_id = 200001;
      c.radio.country = country;
      return c;
    }
    case Family::kRTavi: {
      RTaviConfig c;
      c.radio.country = country;
      return c;
    }
    case Family::kIoTavi:
      return IoTaviConfig{};
  }
  return STaviConfig{};
}

Modem::Modem(Family family, Firmware firmware)
    : family_(family), firmware_(firmware), config_(FactoryDefaults(family, firmware)) {}

int Modem::LinkBaud() const {
  int index = -1;
  if (auto* s = std::get_if<STaviConfig>(&config_)) index = s->serial.baud_index;
  if (auto* i = std::get_if<IoTaviConfig>(&config_)) index = i->rs232.baud_index;
  if (index < 0 || index >= static_cast<int>(kBaudRates.size())) return 0;
  return std::stoi(std::string(kBaudRates[static_cast<size_t>(index)]));
}

bool Modem::Hears(int lineBaud) const {
  return !rate_watch_ || !rate_changed_ || LinkBaud() == 0 || lineBaud == LinkBaud();
}

}  // namespace velimo::sim
