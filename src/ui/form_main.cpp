#include "ui/form_main.h"

namespace velimo::ui {

TForm_main::TForm_main(Platform& platform) : platform_(platform) {}
TForm_main::~TForm_main() = default;

}  // namespace velimo::ui
