// What the program tells screen readers beyond Qt's own: a drop-down list
// is named by its caption, with its current entry as its value. (Qt names a
// list by its current entry on Linux and leaves the caption to the
// labelled-by relation, which not every reader follows: "5, combo box".)
#pragma once

namespace velimo::gui {

// Registers the program's accessibility interfaces; once, at start.
void InstallAccessibility();

}  // namespace velimo::gui
