// The report lines of each family: the status report, the key report and
// the ioTavi's RS-485 report.
#include "model_rules.h"
#include "modem.h"
#include "values.h"

namespace velimo::sim {

namespace {

std::string FramingLine(std::string_view name, const Framing& framing) {
  // "STX Length = 2, STX1 = 0x02, STX2 = 0x03, STX3 = 0x00": length at token
  // 2, the bytes at tokens 5, 8 and 11 with their digits from position 3.
  std::string line = std::string(name) + " Length = " + std::to_string(framing.length);
  for (int i = 0; i < 3; ++i) {
    line += ", " + std::string(name) + std::to_string(i + 1) + " = 0x" + Hex2(framing.bytes[i]);
  }
  return line;
}

std::string MessageLine(const SerialSide& side) {
  // Timeout digits at token 2, size at token 6.
  return "Message Timeout = " + std::to_string(side.timeout_tenths * 10) +
         " ms, Size = " + std::to_string(side.message_size) + " bytes";
}

std::string KeyText(const std::string& key) {
  return key == kDefaultKey ? std::string(kDefaultKeyReport) : key;
}

}  // namespace

std::vector<std::string> StatusReport(const STaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  // Version: 3 characters from position 11 ("F/W Ver = 1.3"), 15 after
  // "USA F/W", 17 after "JAPAN F/W".
  if (firmware == Firmware::kUsa) {
    lines.push_back("USA F/W Ver = " + VersionText(firmware));
  } else if (firmware == Firmware::kJapan) {
    lines.push_back("JAPAN F/W Ver = " + VersionText(firmware));
  } else {
    lines.push_back("F/W Ver = " + VersionText(firmware));
  }
  lines.push_back("Source ID = " + std::to_string(c.source_id));  // from position 13
  // Identifier at token 2, table at token 5, entry at token 8.
  lines.push_back("Destination ID = " + std::to_string(c.destination_id) +
                  ", Table = " + std::to_string(c.destination_table) +
                  ", Entry = " + std::to_string(c.destination_entry));
  // Identifiers from position 14.
  lines.push_back("Main   PID = " + std::to_string(c.pid[0]));
  lines.push_back("LoRa   PID = " + std::to_string(c.pid[1]));
  lines.push_back("Serial PID = " + std::to_string(c.pid[2]));
  lines.push_back("Country = " + std::string(kCountries[c.radio.country]));  // position 11
  // Channel at token 1; the spreading factor at token 5, on firmware 1.0 at
  // token 8 (that firmware also names the bandwidth).
  if (firmware == Firmware::k1_0) {
    lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                    ", Bandwidth = 125 kHz, SF = " + std::to_string(c.radio.spreading_factor));
  } else {
    lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                    ", Spreading Factor = " + std::to_string(c.radio.spreading_factor));
  }
  if (HasEncryption(Family::kSTavi, firmware)) {
    lines.push_back("Encryption = " + OffOn(c.aes.on));  // position 14
  }
  lines.push_back("Port Type = " + PortTypeName(c.serial.port_type));  // position 13
  lines.push_back("Peer to Peer = " + OffOn(c.peer_to_peer));          // position 16
  lines.push_back(MessageLine(c.serial));
  lines.push_back(FramingLine("STX", c.serial.stx));
  lines.push_back(FramingLine("ETX", c.serial.etx));
  // Baud rate at token 1, parity at token 5, data bits at token 9.
  lines.push_back("Baudrate = " + std::string(kBaudRates[c.serial.baud_index]) +
                  " bps, Parity = " + std::string(kParities[c.serial.parity]) +
                  ", Data Bit = " + std::to_string(c.serial.data_bits));
  // Stop bits at token 2, flow control at token 7; the last line of the
  // report.
  lines.push_back("Stop Bit = " + std::to_string(c.serial.stop_bits) +
                  ", Hardware Flow Control = " + (c.serial.flow_control ? "RTS/CTS" : "OFF"));
  return lines;
}

std::vector<std::string> StatusReport(const RTaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  lines.push_back("F/W Ver = " + VersionText(firmware));          // position 11
  lines.push_back("Source ID = " + std::to_string(c.source_id));  // from position 13
  lines.push_back("Country = " + std::string(kCountries[c.radio.country]));
  lines.push_back("Channel = " + std::to_string(c.radio.channel) +
                  ", Spreading Factor = " + std::to_string(c.radio.spreading_factor));
  lines.push_back(c.mode == 1 ? "Mode = Repeat" : "Mode = Relay");  // position 8
  // The relay identifiers stand under the mode: keyword at position 8,
  // identifier from position 21.
  lines.push_back("       Relay ID 1 = " + std::to_string(c.relay_id_1));
  lines.push_back("       Relay ID 2 = " + std::to_string(c.relay_id_2));
  return lines;
}

namespace {

// The ioTavi serial lines; the RS-485 report puts one blank in front of each
// (keyword at position 2, every value one position further right).
std::vector<std::string> IoTaviSerialLines(const SerialSide& side, std::uint32_t destination,
                                           bool rs485, bool flow) {
  std::string in = rs485 ? " " : "";
  std::vector<std::string> lines;
  lines.push_back(in + "Port Type " + PortTypeName(side.port_type));               // pos 11
  lines.push_back(in + "Dummy Destination ID  = " + std::to_string(destination));  // pos 25
  lines.push_back(in + "BaudRate = " + std::string(kBaudRates[side.baud_index]) +
                  " bps, Parity = " + std::string(kParities[side.parity]));
  lines.push_back(in + "Data Bit = " + std::to_string(side.data_bits) +
                  ", Stop Bit = " + std::to_string(side.stop_bits));
  // Flow control at token 3: "ON" in the RS-232 report, "RTS/CTS" in the
  // RS-485 one.
  lines.push_back(in + "Hardware Flow Control = " + (flow ? (rs485 ? "RTS/CTS" : "ON") : "OFF"));
  lines.push_back(in + MessageLine(side));
  lines.push_back(in + FramingLine("STX", side.stx));
  lines.push_back(in + FramingLine("ETX", side.etx));
  return lines;
}

std::string IoTaviVersion(Firmware firmware) {
  if (firmware == Firmware::kUsa) return VersionText(firmware) + " USA";
  if (firmware == Firmware::kJapan) return VersionText(firmware) + " JPN";
  return VersionText(firmware);
}

}  // namespace

std::vector<std::string> StatusReport(const IoTaviConfig& c, Firmware firmware) {
  std::vector<std::string> lines;
  lines.push_back("F/W Version " + IoTaviVersion(firmware));       // from position 13
  lines.push_back("Source ID  = " + std::to_string(c.source_id));  // from position 14
  // Channel at token 1, band at token 4, spreading factor at token 8.
  lines.push_back("Channel = " + std::to_string(c.channel) + ", Band = " + std::to_string(c.band) +
                  ", Spreading Factor = " + std::to_string(c.spreading_factor));
  lines.push_back("Encryption " + OffOn(c.aes.on));  // position 12
  auto serial = IoTaviSerialLines(c.rs232, c.destination_id, false, c.rs232.flow_control);
  lines.insert(lines.end(), serial.begin(), serial.end());
  return lines;
}

std::vector<std::string> Rs485Report(const IoTaviConfig& c) {
  // The RS-485 side has no flow control of its own; its report shows the
  // modem's one flow-control setting, so that whichever report the program
  // reads last, its flow-control display stays true.
  return IoTaviSerialLines(c.rs485, c.destination_id_485, true, c.rs232.flow_control);
}

std::vector<std::string> KeyReport(const STaviConfig& c) {
  // Key from position 10, IV from position 9.
  return {"AES KEY = " + KeyText(c.aes.key), "AES IV = " + KeyText(c.aes.iv)};
}

std::vector<std::string> KeyReport(const IoTaviConfig& c) {
  // Key from position 8, IV from position 7.
  return {"AESKEY: " + KeyText(c.aes.key), "AESIV: " + KeyText(c.aes.iv)};
}

}  // namespace velimo::sim
