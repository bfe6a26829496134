// Receive path, response parsers, status query and timers.
#include "ui/form_main.h"

namespace velimo::ui {

void TForm_main::BindReceive() {}

void TForm_main::Btn_S_CurrentStatusClick() {}

}  // namespace velimo::ui
