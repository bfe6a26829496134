// Setting editors, save-alls, encryption, maintenance.
#include "ui/form_main.h"

namespace velimo::ui {

void TForm_main::BindEditors() {}

void TForm_main::Edit_I_Get_Info_485Click() {}

}  // namespace velimo::ui
