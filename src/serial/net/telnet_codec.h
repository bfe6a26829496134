// The Telnet side of a port with remote control of its line (Telnet
// COM-PORT-OPTION): option negotiation, the escaping of 0xFF in data, and
// the port-control subnegotiations. No I/O: it turns server bytes into data
// bytes, answers to send back and the server's port-control reports, and
// builds what the client sends. Everything a server sends is untrusted;
// nothing it sends can make the codec hold more than a few kilobytes,
// and nothing can make it answer without end: each option request is
// answered once per option and state, and a server that turns one option
// on and off more than kMaxFlips times is taken for one talking the client
// into a loop: the codec stops there (StoppedAtOption).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::serial::net {

namespace telnet {
constexpr uint8_t kIAC = 255, kDONT = 254, kDO = 253, kWONT = 252, kWILL = 251, kSB = 250,
                  kSE = 240;
constexpr uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
}  // namespace telnet

// Port-control commands as the client sends them; a server's answer
// carries the same command plus 100.
enum ComPortCommand : uint8_t {
  kCpSignature = 0,
  kCpSetBaudRate = 1,
  kCpSetDataSize = 2,
  kCpSetParity = 3,
  kCpSetStopSize = 4,
  kCpSetControl = 5,
  kCpNotifyLineState = 6,
  kCpNotifyModemState = 7,
  kCpFlowSuspend = 8,
  kCpFlowResume = 9,
  kCpSetLineStateMask = 10,
  kCpSetModemStateMask = 11,
  kCpPurgeData = 12,
};
constexpr uint8_t kCpServerOffset = 100;

// Bits of a line-state report.
constexpr uint8_t kLsBreak = 16, kLsFraming = 8, kLsParity = 4, kLsOverrun = 2;
// Bits of a modem-state report.
constexpr uint8_t kMsCarrier = 128, kMsRing = 64, kMsDsr = 32, kMsCts = 16;

class TelnetCodec {
 public:
  // A port-control answer of the server (command without the 100), and
  // where in the data decoded by the same Feed it came: the data before
  // it was sent by the server before the answer.
  struct Answer {
    uint8_t command = 0;
    std::string value;
    size_t data_offset = 0;
  };

  // What the client says first: binary both ways, no go-ahead both ways,
  // and that it will use port control.
  std::string Greeting();

  // Decodes server bytes. Data bytes are appended to *data; what must be
  // answered (option replies) is appended to *reply. Once stopped, it
  // decodes nothing more.
  void Feed(std::string_view in, std::string* data, std::string* reply);

  // Data as it goes on the wire: 0xFF doubled, and a carriage return
  // followed by NUL while the server has not agreed to binary.
  void EncodeData(std::string_view in, std::string* out) const;

  // A port-control subnegotiation from the client, its value escaped.
  static std::string Command(uint8_t command, std::string_view value);

  // The server agreed to port control / refused it.
  bool ComPortAccepted() const { return us_[telnet::kComPort] == kYes; }
  bool ComPortRefused() const { return comport_refused_; }

  // Answers since the last take, at most kMaxAnswers (the oldest are
  // dropped first).
  std::vector<Answer> TakeAnswers();
  // Line-state errors reported since the last take (kLs* bits).
  uint8_t TakeLineState();
  // The last modem-state report (kMs* bits), 0 before any.
  uint8_t ModemState() const { return modem_state_; }
  // The server asked to hold our data (flow-control suspend) and has not
  // resumed it yet.
  bool Suspended() const { return suspended_; }

  // The option whose state the server changed more than kMaxFlips times,
  // in either direction; -1 while it has not. Nothing after the request
  // that went past the limit was decoded.
  int StoppedAtOption() const { return stopped_at_; }
  // A name for an option, for the reason given to an operator.
  static std::string OptionName(int option);

  static constexpr size_t kMaxSubnegotiation = 64;
  static constexpr size_t kMaxAnswers = 32;
  static constexpr int kMaxFlips = 10;

 private:
  enum OptionState : uint8_t { kNo, kYes, kWantYes, kWantNo };
  enum class State : uint8_t { kData, kCr, kIac, kVerb, kSb, kSbIac };

  void Negotiate(uint8_t verb, uint8_t option, std::string* reply);
  void Subnegotiation(size_t dataOffset);
  static bool WeOffer(uint8_t option);
  static bool WeAccept(uint8_t option);

  OptionState us_[256] = {};   // options this side performs
  OptionState him_[256] = {};  // options the server performs
  // A request for an option this side will not have was refused once; the
  // state stays "off", so the same request again gets no answer.
  bool refused_us_[256] = {};
  bool refused_him_[256] = {};
  // How often each option was turned on or off, per side.
  uint8_t flips_us_[256] = {};
  uint8_t flips_him_[256] = {};
  int stopped_at_ = -1;
  bool comport_refused_ = false;
  State state_ = State::kData;
  uint8_t verb_ = 0;
  std::string sb_;
  bool sb_overflow_ = false;
  std::deque<Answer> answers_;
  uint8_t line_state_ = 0;
  uint8_t modem_state_ = 0;
  bool suspended_ = false;
};

}  // namespace velimo::serial::net
