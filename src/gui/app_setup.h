// What every window of the program shares: the application's title, its
// base font, its style and its embedded pictures.
#pragma once

class QApplication;

namespace velimo::gui {

// Title "Velimo", base font "Courier New", password editors showing "*",
// and the embedded artwork made available. Call once after QApplication
// has been created and before any window.
void InitApplication(QApplication& app);

}  // namespace velimo::gui
