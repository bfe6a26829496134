// The local end of the link, for the settings that change the link itself:
// after the modem has been told a new rate, parity or flow control, the
// port is closed and opened again with them.
#pragma once

#include <string>

namespace velimo::forms {
class TForm_main;
}

namespace velimo::profile {

struct LineSettings {
  int baud = 9600;
  int parity = 0;  // 0 None, 1 Odd, 2 Even
  bool rtscts = false;
  bool operator==(const LineSettings&) const = default;
};

// "115200 baud, parity Even, flow control RTS/CTS".
std::string Describe(const LineSettings& line);

class LineSwitch {
 public:
  virtual ~LineSwitch() = default;
  virtual LineSettings Current() const = 0;
  // Closes the port and opens it again with these settings; false when it
  // could not be opened (the port is then closed).
  virtual bool Reopen(const LineSettings& line) = 0;
  virtual void Close() = 0;
};

// The window's own port, set up as the connect dialog sets it up.
class FormLineSwitch : public LineSwitch {
 public:
  explicit FormLineSwitch(forms::TForm_main& form) : form_(form) {}
  LineSettings Current() const override;
  bool Reopen(const LineSettings& line) override;
  void Close() override;

 private:
  forms::TForm_main& form_;
};

}  // namespace velimo::profile
