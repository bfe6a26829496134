// What the program tells screen readers beyond Qt's own: a drop-down list
// is named by its caption, with its current entry as its value. (Qt names a
// list by its current entry on Linux and leaves the caption to the
// labelled-by relation, which not every reader follows: "5, combo box".)
#pragma once

class QWidget;

namespace velimo::gui {

// Registers the program's accessibility interfaces; once, at start.
void InstallAccessibility();

// A widget with this property (a QAccessible::Role as int) is told to
// screen readers in that role: the status bar, made of a frame of panels.
inline constexpr const char* kRoleProperty = "velimoAccessibleRole";

// Tells screen readers of a change they should speak without the focus
// moving there (the link lost, found again, not answering; an apply
// ended): the widget's new name, and an alert.
void Announce(QWidget* widget);
// How many announcements were made so far (whether a reader listened).
int AnnouncementsMade();

}  // namespace velimo::gui
