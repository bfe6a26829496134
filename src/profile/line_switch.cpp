#include "profile/line_switch.h"

#include <exception>

#include "forms/form_connect.h"
#include "forms/form_main.h"
#include "forms/pages/page_parts.h"

namespace velimo::profile {

std::string Describe(const LineSettings& line) {
  const auto parities = forms::pages::ParityItems();
  return std::to_string(line.baud) + " baud, parity " +
         parities.at(static_cast<size_t>(line.parity)) + ", flow control " +
         (line.rtscts ? "RTS/CTS" : "OFF");
}

LineSettings FormLineSwitch::Current() const {
  const serial::TComPort& port = form_.ComPortEnvBoard;
  LineSettings line;
  line.baud = port.EffectiveBaudRate();
  const serial::TParityBits p = port.Parity().Bits();
  line.parity = p == serial::prOdd ? 1 : p == serial::prEven ? 2 : 0;
  line.rtscts = port.FlowControl().FlowControl() == serial::fcHardware;
  return line;
}

bool FormLineSwitch::Reopen(const LineSettings& line) {
  serial::TComPort& port = form_.ComPortEnvBoard;
  try {
    port.ClosePort();
    forms::TForm_Connect::SetPortRate(port, line.baud);
    const serial::TParityBits parity[] = {serial::prNone, serial::prOdd, serial::prEven};
    port.Parity().SetBits(parity[line.parity < 0 || line.parity > 2 ? 0 : line.parity]);
    port.FlowControl().SetFlowControl(line.rtscts ? serial::fcHardware : serial::fcNone);
    port.FlowControl().SetControlDTR(serial::dtrEnable);
    port.OpenPort();
  } catch (const std::exception&) {
    if (port.Connected()) port.ClosePort();
    return false;
  }
  return port.Connected();
}

void FormLineSwitch::Close() {
  try {
    form_.ComPortEnvBoard.ClosePort();
  } catch (const std::exception&) {
  }
}

}  // namespace velimo::profile
