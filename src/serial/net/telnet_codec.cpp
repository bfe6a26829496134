#include "serial/net/telnet_codec.h"

#include <iterator>

namespace velimo::serial::net {

using namespace telnet;

namespace {

constexpr char kCR = '\r';

void Put(std::string* out, uint8_t a, uint8_t b, uint8_t c) {
  out->push_back(static_cast<char>(a));
  out->push_back(static_cast<char>(b));
  out->push_back(static_cast<char>(c));
}

}  // namespace

bool TelnetCodec::WeOffer(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool TelnetCodec::WeAccept(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead;
}

std::string TelnetCodec::Greeting() {
  std::string out;
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
    if (us_[option] == kNo) {
      us_[option] = kWantYes;
      Put(&out, kIAC, kWILL, option);
    }
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    if (him_[option] == kNo) {
      him_[option] = kWantYes;
      Put(&out, kIAC, kDO, option);
    }
  }
  return out;
}

// Each side answers only a request that changes an option's state, and
// asks for nothing twice, so two well-behaved parties can never talk each
// other into a loop. A hostile server is held by two rules more: a request
// this side refuses is refused once (the option stays off, so the same
// request again changes nothing and gets no answer), and an option turned
// on and off more than kMaxFlips times stops the codec. Between them the
// answers to a whole connection fit in a few kilobytes, whatever is sent.
void TelnetCodec::Negotiate(uint8_t verb, uint8_t option, std::string* reply) {
  const bool theirs = verb == kWILL || verb == kWONT;
  const bool on = verb == kWILL || verb == kDO;
  OptionState& state = theirs ? him_[option] : us_[option];
  bool& refused = theirs ? refused_him_[option] : refused_us_[option];
  const bool agreeable = theirs ? WeAccept(option) : WeOffer(option);
  const uint8_t yes = theirs ? kDO : kWILL;
  const uint8_t no = theirs ? kDONT : kWONT;
  const bool wasOn = state == kYes;
  if (on) {
    if (state == kNo && agreeable) {
      state = kYes;
      Put(reply, kIAC, yes, option);
    } else if (state == kNo) {
      if (!refused) Put(reply, kIAC, no, option);
      refused = true;
    } else {
      state = kYes;  // the server agrees to what this side asked for
    }
  } else {
    if (state == kYes) Put(reply, kIAC, no, option);
    if (!theirs && option == kComPort && state != kNo) comport_refused_ = true;
    state = kNo;
  }
  if (wasOn != (state == kYes)) {
    uint8_t& flips = theirs ? flips_him_[option] : flips_us_[option];
    if (++flips > kMaxFlips) stopped_at_ = option;
  }
}

std::string TelnetCodec::OptionName(int option) {
  switch (option) {
    case kBinary:
      return "BINARY";
    case kSuppressGoAhead:
      return "SUPPRESS-GO-AHEAD";
    case kComPort:
      return "COM-PORT-OPTION";
    default:
      return std::to_string(option);
  }
}

void TelnetCodec::Feed(std::string_view in, std::string* data, std::string* reply) {
  for (size_t i = 0; i < in.size() && stopped_at_ < 0; ++i) {
    const uint8_t b = static_cast<uint8_t>(in[i]);
    switch (state_) {
      case State::kCr:
        // Outside binary a carriage return travels as CR NUL; the NUL is
        // the wire's, not the modem's.
        state_ = State::kData;
        if (b == 0) break;
        [[fallthrough]];
      case State::kData:
        if (b == kIAC) {
          state_ = State::kIac;
        } else {
          data->push_back(static_cast<char>(b));
          if (b == kCR && him_[kBinary] != kYes) state_ = State::kCr;
        }
        break;
      case State::kIac:
        state_ = State::kData;
        if (b == kIAC) {
          data->push_back(static_cast<char>(b));
        } else if (b == kWILL || b == kWONT || b == kDO || b == kDONT) {
          verb_ = b;
          state_ = State::kVerb;
        } else if (b == kSB) {
          sb_.clear();
          sb_overflow_ = false;
          state_ = State::kSb;
        }
        // Any other command (NOP, go-ahead, a stray SE ...) carries
        // nothing for a serial line.
        break;
      case State::kVerb:
        Negotiate(verb_, b, reply);
        state_ = State::kData;
        break;
      case State::kSb:
        if (b == kIAC) {
          state_ = State::kSbIac;
        } else if (sb_.size() < kMaxSubnegotiation) {
          sb_.push_back(static_cast<char>(b));
        } else {
          sb_overflow_ = true;
        }
        break;
      case State::kSbIac:
        if (b == kIAC) {
          if (sb_.size() < kMaxSubnegotiation) {
            sb_.push_back(static_cast<char>(b));
          } else {
            sb_overflow_ = true;
          }
          state_ = State::kSb;
        } else if (b == kSE) {
          Subnegotiation(data->size());
          state_ = State::kData;
        } else {
          // A command inside a subnegotiation ends it unfinished: what it
          // held is dropped, and the command counts as one of its own.
          state_ = State::kIac;
          --i;
        }
        break;
    }
  }
}

void TelnetCodec::Subnegotiation(size_t dataOffset) {
  if (sb_overflow_ || sb_.size() < 2 || static_cast<uint8_t>(sb_[0]) != kComPort) return;
  const uint8_t code = static_cast<uint8_t>(sb_[1]);
  // A code below 100 is a request to a server; this side serves none.
  if (code < kCpServerOffset || code > kCpServerOffset + kCpPurgeData) return;
  const uint8_t command = static_cast<uint8_t>(code - kCpServerOffset);
  const std::string_view value = std::string_view(sb_).substr(2);
  const uint8_t first = value.empty() ? 0 : static_cast<uint8_t>(value[0]);
  switch (command) {
    case kCpNotifyLineState:
      line_state_ |= first & (kLsBreak | kLsFraming | kLsParity | kLsOverrun);
      return;
    case kCpNotifyModemState:
      if (!value.empty()) modem_state_ = first;
      return;
    case kCpFlowSuspend:
      suspended_ = true;
      return;
    case kCpFlowResume:
      suspended_ = false;
      return;
    default:
      break;
  }
  if (answers_.size() >= kMaxAnswers) answers_.pop_front();
  answers_.push_back(Answer{command, std::string(value), dataOffset});
}

void TelnetCodec::EncodeData(std::string_view in, std::string* out) const {
  const bool binary = us_[kBinary] == kYes;
  for (char c : in) {
    out->push_back(c);
    if (static_cast<uint8_t>(c) == kIAC) {
      out->push_back(c);
    } else if (c == kCR && !binary) {
      out->push_back('\0');
    }
  }
}

std::string TelnetCodec::Command(uint8_t command, std::string_view value) {
  std::string out;
  Put(&out, kIAC, kSB, kComPort);
  out.push_back(static_cast<char>(command));
  for (char c : value) {
    out.push_back(c);
    if (static_cast<uint8_t>(c) == kIAC) out.push_back(c);
  }
  out.push_back(static_cast<char>(kIAC));
  out.push_back(static_cast<char>(kSE));
  return out;
}

std::vector<TelnetCodec::Answer> TelnetCodec::TakeAnswers() {
  std::vector<Answer> taken(std::make_move_iterator(answers_.begin()),
                            std::make_move_iterator(answers_.end()));
  answers_.clear();
  return taken;
}

uint8_t TelnetCodec::TakeLineState() {
  const uint8_t taken = line_state_;
  line_state_ = 0;
  return taken;
}

}  // namespace velimo::serial::net
