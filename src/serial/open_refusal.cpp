#include "serial/open_refusal.h"

namespace velimo::serial {

std::string ModemManagerRule(const std::string& vid, const std::string& pid) {
  return "ATTRS{idVendor}==\"" + vid + "\", ATTRS{idProduct}==\"" + pid +
         "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"";
}

}  // namespace velimo::serial
