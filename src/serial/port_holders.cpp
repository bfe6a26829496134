#include "serial/port_holders.h"

namespace velimo::serial {

std::string Describe(const ProcessRef& process) {
  return "PID " + std::to_string(process.pid) + " (" + process.name + ")";
}

}  // namespace velimo::serial
