#include "scan/report_lines.h"

namespace velimo::scan {

namespace {

bool StartsWith(std::string_view line, std::string_view key) {
  return line.substr(0, key.size()) == key;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return std::string(text);
}

// The text from 1-based position pos, count characters (all when npos).
std::string From(std::string_view line, size_t pos, size_t count = std::string_view::npos) {
  if (pos - 1 >= line.size()) return {};
  return Trim(line.substr(pos - 1, count));
}

}  // namespace

const char* FamilyName(Family family) {
  switch (family) {
    case Family::STaviOrUTavi:
      return "sTavi or uTavi";
    case Family::RTavi:
      return "rTavi";
    case Family::IoTavi:
      return "ioTavi";
    default:
      return "";
  }
}

char FamilyModel(Family family) {
  switch (family) {
    case Family::STaviOrUTavi:
      return 's';
    case Family::RTavi:
      return 'r';
    case Family::IoTavi:
      return 'i';
    default:
      return 0;
  }
}

void ReportReader::Feed(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  // Keywords every family's report starts lines with.
  const bool common = StartsWith(line, "F/W Ver") || StartsWith(line, "USA F/W") ||
                      StartsWith(line, "JAPAN F/W") || StartsWith(line, "Source ID") ||
                      StartsWith(line, "Channel");
  // Only the ioTavi: its destination, and its rate, data and stop bits,
  // flow control and encryption spelt its own way.
  const bool io = StartsWith(line, "Dummy Destination") || StartsWith(line, "BaudRate") ||
                  StartsWith(line, "Hardware") || StartsWith(line, "Encryption ON") ||
                  StartsWith(line, "Encryption OFF") || StartsWith(line, "F/W Version");
  // Only the rTavi: its relay mode and the indented relay identifiers.
  const bool relay = StartsWith(line, "Mode") || StartsWith(line, "       Relay ID");
  // Only the sTavi/uTavi.
  const bool s = StartsWith(line, "Main   PID") || StartsWith(line, "Destination ID") ||
                 StartsWith(line, "Peer") || StartsWith(line, "Baudrate") ||
                 StartsWith(line, "Stop Bit") || StartsWith(line, "USA F/W") ||
                 StartsWith(line, "JAPAN F/W") || StartsWith(line, "Serial PID");
  if (!(common || io || relay || s)) return;
  heard_ = true;
  i_ = i_ || io;
  r_ = r_ || relay;
  s_ = s_ || s;
  if (StartsWith(line, "F/W Ver") || StartsWith(line, "USA F/W") || StartsWith(line, "JAPAN F/W"))
    fw_line_ = std::string(line);
  if (StartsWith(line, "Source ID")) source_line_ = std::string(line);
}

std::string ReportReader::SourceId() const {
  // Where each family's reader takes the identifier from.
  if (source_line_.empty()) return {};
  return From(source_line_, Which() == Family::IoTavi ? 14 : 13);
}

Family ReportReader::Which() const {
  // A line of one family only decides; lines of two (a garbled line, a
  // line noise made) decide nothing.
  const int kinds = (s_ ? 1 : 0) + (r_ ? 1 : 0) + (i_ ? 1 : 0);
  if (kinds != 1) return Family::Unknown;
  return s_ ? Family::STaviOrUTavi : r_ ? Family::RTavi : Family::IoTavi;
}

std::string ReportReader::Firmware() const {
  if (fw_line_.empty()) return {};
  if (StartsWith(fw_line_, "USA F/W")) return From(fw_line_, 15, 3) + " USA";
  if (StartsWith(fw_line_, "JAPAN F/W")) return From(fw_line_, 17, 3) + " JPN";
  if (Which() == Family::IoTavi) return From(fw_line_, 13);
  return From(fw_line_, 11, 3);
}

}  // namespace velimo::scan
