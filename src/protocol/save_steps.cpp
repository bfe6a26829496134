#include "protocol/save_steps.h"

#include <algorithm>
#include <array>

namespace velimo::protocol {

namespace {

using C = CommandId;
using Q = Sequence;
using W = StepWhen;

constexpr SaveStep Save(C setting, int pauseAfter = 0, W when = W::Always) {
  return {setting, Q::kCount, pauseAfter, when};
}
constexpr SaveStep Run(Q nested, int pauseAfter = 0, W when = W::Always) {
  return {C::kCount, nested, pauseAfter, when};
}

// sTavi/uTavi: 200 and 100 ms.
constexpr SaveStep kSLoRaPage[] = {Save(C::S_Did, 200), Run(Q::S_LoRa, 200),
                                   Run(Q::S_AES, 200, W::EncryptionFirmware)};
constexpr SaveStep kSLoRa[] = {Save(C::S_CH, 100), Save(C::S_SF)};
// The pauses stand before the key and before the IV, which go out only
// when encryption is on and both hold 16 characters.
constexpr SaveStep kSAes[] = {Save(C::S_En, 100), Save(C::S_AESKEY, 100), Save(C::S_AESIV)};
constexpr SaveStep kSSerial[] = {
    Save(C::S_DMT, 200),
    Save(C::S_DMS, 200),
    Save(C::S_STXL, 200),
    Save(C::S_ETXL, 200),
    Save(C::S_STX, 200, W::FrameUsed),
    Save(C::S_ETX, 200, W::FrameUsed),
};
constexpr SaveStep kSPtypePtp[] = {Save(C::S_Ptype, 100), Save(C::S_PTP)};

// rTavi: 200 and 100 ms.
constexpr SaveStep kRLoRaPage[] = {Run(Q::R_Device, 200), Run(Q::R_LoRa)};
constexpr SaveStep kRDeviceRepeat[] = {Save(C::R_Mode)};
constexpr SaveStep kRDeviceRelay[] = {Save(C::R_Mode, 100), Save(C::R_Rid1, 100),
                                      Save(C::R_Rid2, 100)};
constexpr SaveStep kRLoRa[] = {Save(C::R_CH, 200), Save(C::R_SF)};

// ioTavi: 400 and 500 ms.
constexpr SaveStep kILoRa[] = {Save(C::I_CH, 400), Save(C::I_SF)};
constexpr SaveStep kIAes[] = {Save(C::I_En, 400), Save(C::I_AESKEY, 400), Save(C::I_AESIV)};
constexpr SaveStep kISerial[] = {
    Save(C::I_DMT, 500),
    Save(C::I_DMS, 500),
    Save(C::I_STXL, 500),
    Save(C::I_ETXL, 500),
    Save(C::I_STX, 500, W::FrameUsed),
    Save(C::I_ETX, 0, W::FrameUsed),
};
constexpr SaveStep kISerial485[] = {
    Save(C::I_DMT_485, 500),
    Save(C::I_DMS_485, 500),
    Save(C::I_STXL_485, 500),
    Save(C::I_ETXL_485, 500),
    Save(C::I_STX_485, 500, W::FrameUsed),
    Save(C::I_ETX_485, 0, W::FrameUsed),
};
constexpr SaveStep kIPtypeDid[] = {Save(C::I_Ptype, 400), Save(C::I_Did)};
constexpr SaveStep kIPtypeDid485[] = {Save(C::I_Ptype_485, 400), Save(C::I_Did_485)};

constexpr PageSet S = PageSet::S;
constexpr PageSet R = PageSet::R;
constexpr PageSet I = PageSet::I;

// In Sequence order.
constexpr std::array<SequenceTable, static_cast<size_t>(Q::kCount)> kSequences = {{
    {S, kSLoRaPage},
    {S, kSLoRa},
    {S, kSAes},
    {S, kSSerial},
    {S, kSPtypePtp},
    {R, kRLoRaPage},
    {R, {}},  // chooses by the relay mode
    {R, kRDeviceRepeat},
    {R, kRDeviceRelay},
    {R, kRLoRa},
    {I, kILoRa},
    {I, kIAes},
    {I, kISerial},
    {I, kISerial485},
    {I, kIPtypeDid},
    {I, kIPtypeDid485},
}};

}  // namespace

const SequenceTable& StepsOf(Sequence sequence) {
  return kSequences.at(static_cast<size_t>(sequence));
}

int ApplyPauseMs(CommandId setting) {
  const PageSet set = Entry(setting).set;
  int own = 0;
  int longest = 0;
  for (const SequenceTable& table : kSequences) {
    if (table.set != set) continue;
    for (const SaveStep& step : table.steps) {
      longest = std::max(longest, step.pause_after_ms);
      if (step.setting == setting && own == 0) own = step.pause_after_ms;
    }
  }
  return own > 0 ? own : longest;
}

}  // namespace velimo::protocol
