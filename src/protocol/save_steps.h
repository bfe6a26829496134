// The steps of every save-all sequence and combined Save button, one table
// per sequence: which single save (or which nested sequence) runs, whether
// it runs, and the pause after it. A pause belongs to a step: the same
// setting may wait 100 ms in one page set and 500 ms in another. A profile
// apply takes each setting's pause from these tables too.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/catalogue.h"

namespace velimo::protocol {

enum class Sequence : uint8_t {
  S_LoRaPage,      // Btn_S_SaveAll_LoRaPage
  S_LoRa,          // Btn_S_LoRa_SaveAll
  S_AES,           // Btn_S_AES_SaveAll: key and IV only when on and 16 characters each
  S_Serial,        // Btn_S_Serial_SaveAll
  S_PtypePtp,      // Btn_S_Save_Ptype_Ptp
  R_LoRaPage,      // Btn_R_SaveAll_LoRaPage
  R_Device,        // Btn_R_Device_SaveAll: one of the two below, by the relay mode
  R_DeviceRepeat,  // ... in repeat mode
  R_DeviceRelay,   // ... in relay mode
  R_LoRa,          // Btn_R_LoRa_SaveAll
  I_LoRa,          // Btn_I_LoRa_SaveAll
  I_AES,           // Btn_I_AES_SaveAll: nothing unless key and IV hold 16 characters
  I_Serial,        // Btn_I_Serial_SaveAll
  I_Serial485,     // Btn_I_Serial_SaveAll_485
  I_PtypeDid,      // Btn_I_Save_Ptype_Did
  I_PtypeDid485,   // Btn_I_Save_Ptype_Did_485
  kCount
};

// When a step runs.
enum class StepWhen : uint8_t {
  Always,
  // The sTavi/uTavi firmware knows encryption (not "1.0" or "1.1").
  EncryptionFirmware,
  // The step's framing bytes are used: their length setting is above 0.
  FrameUsed,
};

struct SaveStep {
  CommandId setting = CommandId::kCount;  // a single save ...
  Sequence nested = Sequence::kCount;     // ... or a whole sequence
  int pause_after_ms = 0;
  StepWhen when = StepWhen::Always;
};

struct SequenceTable {
  PageSet set;
  std::span<const SaveStep> steps;
};

const SequenceTable& StepsOf(Sequence sequence);

// What the sTavi/uTavi encryption save-all says of a key or IV that is not
// 16 characters long (its single saves test nothing).
inline constexpr std::string_view kSAesKeyRefusal =
    "You must type [16 Bytes] AES KEY. Please Try Again.";
inline constexpr std::string_view kSAesIvRefusal =
    "You must type [16 Bytes] IV(Initialization Vector). Please Try Again.";

// The pause after a setting's line when a profile sends it: the pause
// after its step in its page set's sequences; for a setting that ends a
// sequence or stands in none, the longest pause of its page set (the
// modem's slowest step in that page set), so nothing goes out faster than
// the window's own sequences send it.
int ApplyPauseMs(CommandId setting);

}  // namespace velimo::protocol
