// The serial port's value types: the line-setting enumerations (in
// declaration order, which the settings file and the connect dialog rely
// on), the event set with its event-mask mapping, the line-error set, and
// the text forms of the settings.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velimo::serial {

enum TBaudRate : int {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum TDataBits : int { dbFive, dbSix, dbSeven, dbEight };
// One and a half stop bits do not exist on Linux: sbOne5StopBits puts two
// on the line.
enum TStopBits : int { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits : int { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : int { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : int { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : int { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : int { smThreadSync, smWindowSync, smNone };

// Device values of the enumerations (the numbers the line settings carry).
int BaudRateValue(TBaudRate rate);             // the number in the name; 0 for brCustom
int DataBitsValue(TDataBits bits);             // 5..8
int StopBitsValue(TStopBits bits);             // 0 one, 1 one and a half, 2 two
int ParityValue(TParityBits bits);             // 0..4
uint32_t DTRControlBits(TDTRFlowControl dtr);  // 0x00, 0x10, 0x20
uint32_t RTSControlBits(TRTSFlowControl rts);  // 0x0000, 0x1000, 0x2000, 0x3000

enum TComEvent : int {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full,
};
constexpr int kComEventCount = 10;

// A set of TComEvent.
class TComEvents {
 public:
  constexpr TComEvents() = default;
  constexpr TComEvents(std::initializer_list<TComEvent> events) {
    for (TComEvent e : events) Include(e);
  }
  static constexpr TComEvents All() {
    TComEvents all;
    all.bits_ = (1u << kComEventCount) - 1;
    return all;
  }
  constexpr bool Contains(TComEvent e) const { return (bits_ >> e) & 1u; }
  constexpr void Include(TComEvent e) { bits_ |= static_cast<uint16_t>(1u << e); }
  constexpr void Exclude(TComEvent e) { bits_ &= static_cast<uint16_t>(~(1u << e)); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TComEvents a, TComEvents b) { return a.bits_ == b.bits_; }

 private:
  uint16_t bits_ = 0;
};

// The event-mask bit of one event, and of a set (0x05FF for all ten).
uint32_t EventMaskBit(TComEvent event);
uint32_t EventsToMask(TComEvents events);
// The reverse mapping; bits that name no event are ignored.
TComEvents EventsFromMask(uint32_t mask);

// Line-error kinds, one bit each of one byte.
enum TComError : uint8_t {
  ceFrame = 1,
  ceRxParity = 2,
  ceOverrun = 4,
  ceBreak = 8,
  ceIO = 16,
  ceMode = 32,
  ceRxOver = 64,
  ceTxFull = 128,
};

// A set of line errors held in one byte. A single kind converts to a set,
// so `errors == ceFrame` compares the whole byte with that one kind.
class TComErrors {
 public:
  constexpr TComErrors() = default;
  constexpr TComErrors(TComError e) : bits_(e) {}  // NOLINT: implicit by design
  static constexpr TComErrors FromByte(uint8_t bits) {
    TComErrors e;
    e.bits_ = bits;
    return e;
  }
  constexpr uint8_t Byte() const { return bits_; }
  constexpr bool Contains(TComError e) const { return (bits_ & e) != 0; }
  constexpr void Include(TComError e) { bits_ = static_cast<uint8_t>(bits_ | e); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TComErrors a, TComErrors b) { return a.bits_ == b.bits_; }

 private:
  uint8_t bits_ = 0;
};

// Text forms of the settings. The FromText conversions compare without
// regard to the case of ASCII letters, in enumeration order, and fall back
// to br9600, prNone, dbEight and sbOneStopBit when nothing matches.
TBaudRate BaudRateFromText(std::string_view text);
std::string BaudRateToText(TBaudRate rate);
TParityBits ParityFromText(std::string_view text);
std::string ParityToText(TParityBits parity);
TDataBits DataBitsFromText(std::string_view text);
TStopBits StopBitsFromText(std::string_view text);
// The other two directions, for completeness of the settings texts.
std::string DataBitsToText(TDataBits bits);
std::string StopBitsToText(TStopBits bits);

}  // namespace velimo::serial
