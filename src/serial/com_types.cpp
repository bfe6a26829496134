#include "serial/com_types.h"

#include <iterator>

namespace velimo::serial {

namespace {

constexpr const char* kBaudTexts[] = {"Custom", "110",    "300",    "600",   "1200",  "2400",
                                      "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                      "57600",  "115200", "128000", "256000"};
constexpr int kBaudValues[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                               14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr const char* kStopTexts[] = {"1", "1.5", "2"};
constexpr const char* kDataTexts[] = {"5", "6", "7", "8"};
constexpr const char* kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};

// Event-mask bits in the declaration order of TComEvent.
constexpr uint32_t kEventBits[kComEventCount] = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                                                 0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

template <size_t N>
int IndexOfText(const char* const (&texts)[N], std::string_view text, int fallback) {
  for (size_t i = 0; i < N; ++i) {
    if (SameTextAscii(texts[i], text)) return static_cast<int>(i);
  }
  return fallback;
}

template <size_t N>
const char* TextAt(const char* const (&texts)[N], int index) {
  return (index >= 0 && static_cast<size_t>(index) < N) ? texts[index] : "";
}

}  // namespace

int BaudRateValue(TBaudRate rate) {
  return (rate >= 0 && rate < static_cast<int>(std::size(kBaudValues))) ? kBaudValues[rate] : 0;
}
int DataBitsValue(TDataBits bits) {
  return 5 + static_cast<int>(bits);
}
int StopBitsValue(TStopBits bits) {
  return static_cast<int>(bits);
}
int ParityValue(TParityBits bits) {
  return static_cast<int>(bits);
}
uint32_t DTRControlBits(TDTRFlowControl dtr) {
  return static_cast<uint32_t>(dtr) << 4;
}
uint32_t RTSControlBits(TRTSFlowControl rts) {
  return static_cast<uint32_t>(rts) << 12;
}

uint32_t EventMaskBit(TComEvent event) {
  return (event >= 0 && event < kComEventCount) ? kEventBits[event] : 0;
}

uint32_t EventsToMask(TComEvents events) {
  uint32_t mask = 0;
  for (int e = 0; e < kComEventCount; ++e) {
    if (events.Contains(static_cast<TComEvent>(e))) mask |= kEventBits[e];
  }
  return mask;
}

TComEvents EventsFromMask(uint32_t mask) {
  TComEvents events;
  for (int e = 0; e < kComEventCount; ++e) {
    if (mask & kEventBits[e]) events.Include(static_cast<TComEvent>(e));
  }
  return events;
}

TBaudRate BaudRateFromText(std::string_view text) {
  return static_cast<TBaudRate>(IndexOfText(kBaudTexts, text, br9600));
}
std::string BaudRateToText(TBaudRate rate) {
  return TextAt(kBaudTexts, rate);
}
TParityBits ParityFromText(std::string_view text) {
  return static_cast<TParityBits>(IndexOfText(kParityTexts, text, prNone));
}
std::string ParityToText(TParityBits parity) {
  return TextAt(kParityTexts, parity);
}
TDataBits DataBitsFromText(std::string_view text) {
  return static_cast<TDataBits>(IndexOfText(kDataTexts, text, dbEight));
}
TStopBits StopBitsFromText(std::string_view text) {
  return static_cast<TStopBits>(IndexOfText(kStopTexts, text, sbOneStopBit));
}
std::string DataBitsToText(TDataBits bits) {
  return TextAt(kDataTexts, bits);
}
std::string StopBitsToText(TStopBits bits) {
  return TextAt(kStopTexts, bits);
}

}  // namespace velimo::serial
