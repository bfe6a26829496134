#include "model_rules.h"

#include <algorithm>

namespace velimo::sim {

int MaxChannel(int country) {
  return country == 2 ? 9 : 20;
}
int MaxSpreadingFactor(int country) {
  return country == 2 ? 11 : 12;
}

void ApplyCountry(Radio& radio, int country) {
  radio.country = country;
  radio.channel = std::min(radio.channel, MaxChannel(country));
  radio.spreading_factor = std::min(radio.spreading_factor, MaxSpreadingFactor(country));
}

bool HasEncryption(Family family, Firmware firmware) {
  if (family == Family::kRTavi) return false;
  if (family == Family::kIoTavi) return true;
  return firmware != Firmware::k1_0 && firmware != Firmware::k1_1;
}

std::string VersionText(Firmware firmware) {
  switch (firmware) {
    case Firmware::k1_0:
      return "1.0";
    case Firmware::k1_1:
      return "1.1";
    case Firmware::k1_3:
      return "1.3";
    case Firmware::kUsa:
    case Firmware::kJapan:
      return "1.2";
  }
  return "1.3";
}

}  // namespace velimo::sim
