// Building blocks shared by the page declarations: the recurring editor
// kinds, Save buttons, information labels and the fixed list entries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms::pages {

// An information label before the modem has reported anything.
inline TLabel& InfoLabel(TLabel& label) {
  return label.WithCaption("no info");
}
// The Save button at the end of a setting row.
inline TButton& Save(TButton& button) {
  return button.WithCaption("Save");
}
// A page-level or group save-all.
inline TButton& SaveAll(TButton& button) {
  return button.WithCaption(" Save");
}
// A text box taking decimal digits only.
inline TEdit& Digits(TEdit& edit, int maxLength, std::string_view text) {
  return edit.WithMaxLength(maxLength).WithFilter(KeyFilter::Digits).WithText(text);
}
// One framing byte in hex after "STX1 : 0x" and the like.
inline TEdit& HexByte(TEdit& edit) {
  return edit.WithMaxLength(2).WithFilter(KeyFilter::Hex).WithText("00").WithHint("Hex type");
}
// A group's header strip: "[Device]", "[LoRa]" ...
inline TPanel& Header(TPanel& panel, std::string_view caption) {
  return panel.WithCaption(caption);
}

inline std::vector<std::string> CountryItems() {
  return {"KOR", "USA", "JPN"};
}
inline std::vector<std::string> ChannelItems() {
  return {"1", "2", "3"};
}
inline std::vector<std::string> OnOffItems() {
  return {"OFF", "ON"};
}
inline std::vector<std::string> PortTypeItems() {
  return {"Kivet", "Normal"};
}
inline std::vector<std::string> ParityItems() {
  return {"None", "Odd", "Even"};
}
inline std::vector<std::string> FlowItems() {
  return {"OFF", "RTS/CTS"};
}
inline std::vector<std::string> LengthItems() {
  return {"0", "1", "2", "3"};
}
inline std::vector<std::string> RelayModeItems() {
  return {"1. Repeat", "2. Relay"};
}
inline std::vector<std::string> PlusMinusItems() {
  return {"+", "-"};
}
inline std::vector<std::string> BaudItems() {
  return {"600",   "1200",  "2400",  "3600",   "4800",   "7200",   "9600",
          "19200", "38400", "57600", "115200", "230400", "460800", "921600"};
}

inline constexpr const char* kSerialSaveAllHint = "Message Timeout, Size, STX/ETX config Save All";
inline constexpr const char* kBroadcastNote = "* Broadcast ID:16777215";

}  // namespace velimo::forms::pages
