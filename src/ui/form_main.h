// TForm_main, the main window as a form model: every control of its eight
// pages, menus, left column and status bar (declared in pages/), the
// window-level state, and every handler under its own name.
#pragma once

#include <memory>
#include <string>

#include "serial/byte_channel.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "util/platform.h"

namespace velimo::ui {

class TForm_main {
 public:
  explicit TForm_main(Platform& platform);
  ~TForm_main();

  Platform& platform() { return platform_; }

 private:
  Platform& platform_;
};

}  // namespace velimo::ui
