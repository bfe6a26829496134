// The names a screen reader gives the controls of a window, worked out from
// the same declaration the window is built from: an editor is called by its
// row's caption, a Save button by what it saves, a group by its header, and
// a name that two controls of one declaration would share is told apart by
// the group each sits in ("Baudrate (RS-485)"). A declaration names a control
// itself (layout::Spoken) only where nothing around it says what it is.
#pragma once

#include <string>
#include <unordered_map>

#include "forms/controls/layout.h"

namespace velimo::forms {

struct AccessibleName {
  // The whole name; for an information label the part before its value
  // (the label's caption is read after it, as it changes).
  std::string name;
  bool before_value = false;
  // A button called by its caption alone: the name follows the caption
  // as it changes (Find Modem turns Cancel while it scans).
  bool follows_caption = false;
};

using AccessibleNames = std::unordered_map<const Control*, AccessibleName>;

// Names every named control of the tree below root.
AccessibleNames NameControls(const LayoutNode& root);

// A caption as it is spoken: blanks and the commas that string captions
// along one line dropped, brackets of a group header and a trailing
// "0x" prefix removed ("[LoRa]" -> "LoRa", ", STX2 : 0x" -> "STX2").
std::string SpokenCaption(std::string_view caption);

}  // namespace velimo::forms
