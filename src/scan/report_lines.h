// Telling a modem's family from the lines of its configuration report, by
// the keywords the three families' readers look for: lines only an ioTavi
// sends ("Dummy Destination", "BaudRate", ...), lines only an rTavi sends
// ("Mode", the relay identifiers indented to position 8), and lines only
// the sTavi/uTavi send ("Main   PID", "Destination ID", "Peer", ...).
// sTavi and uTavi send the same report (one reader serves both), so
// nothing in it tells them apart: they are reported as "sTavi or uTavi".
#pragma once

#include <string>
#include <string_view>

namespace velimo::scan {

enum class Family { Unknown, STaviOrUTavi, RTavi, IoTavi };

// "sTavi or uTavi", "rTavi", "ioTavi", "" for Unknown.
const char* FamilyName(Family family);
// The model code the window selects for it: 's', 'r', 'i', 0 for Unknown.
char FamilyModel(Family family);

// Collects the lines of one report.
class ReportReader {
 public:
  // One received line, its line end included or not.
  void Feed(std::string_view line);

  // A line of a configuration report has been seen.
  bool Heard() const { return heard_; }
  // The family, once a line only one family sends has been seen.
  Family Which() const;
  // The firmware and source identifier as the family's reader takes them
  // (empty until seen).
  std::string Firmware() const;
  std::string SourceId() const;
  // Source identifier, firmware and family all known: nothing more to wait for.
  bool Complete() const {
    return Which() != Family::Unknown && !source_line_.empty() && !fw_line_.empty();
  }

 private:
  bool heard_ = false;
  bool s_ = false, r_ = false, i_ = false;
  std::string fw_line_;
  std::string source_line_;
};

}  // namespace velimo::scan
