// What a family on a firmware allows: the channel plan of each country,
// whether it knows encryption, the version it reports.
#pragma once

#include <string>

#include "modem.h"

namespace velimo::sim {

int MaxChannel(int country);
int MaxSpreadingFactor(int country);
// Changing the country to Japan narrows the channel plan; a channel or
// spreading factor outside it moves to the highest one left.
void ApplyCountry(Radio& radio, int country);
bool HasEncryption(Family family, Firmware firmware);
// Version text of the firmware line. The export firmwares are 1.2 builds.
std::string VersionText(Firmware firmware);

}  // namespace velimo::sim
