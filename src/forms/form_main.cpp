#include "forms/form_main.h"

#include <cstring>

#include "util/errors.h"

namespace velimo::forms {

TForm_main::TForm_main(Platform& platform)
    : Adapter(platform, ComPortEnvBoard, SystemRoots, AdapterCalls()),
      platform_(platform),
      trace_(platform) {
  pages_ = {
      SInfoPage::Declare(), SLoRaPage::Declare(), SSerialPage::Declare(), RInfoPage::Declare(),
      RLoRaPage::Declare(), IInfoPage::Declare(), ILoRaPage::Declare(),   ISerialPage::Declare(),
  };
  frame_ = MainFrame::Declare();
  menu_ = MainFrame::DeclareMenu();

  AssignParents(frame_);
  AssignParents(menu_);
  PageControl1.pages = {&TS_S_Info, &TS_S_LoRa, &TS_S_Serial, &TS_R_Info,
                        &TS_R_LoRa, &TS_I_Info, &TS_I_LoRa,   &TS_I_Serial};
  for (const LayoutNode& page : pages_) {
    page.control->SetParent(&PageControl1);
    AssignParents(page);
  }
  // The first page is the one shown until the tabs are hidden at activation.
  PageControl1.SetActivePageIndex(kPageSInfo);
  Memo.SetPane(&trace_.Pane());

  Timer_ConnectionResponse.Attach(platform_);
  Timer_AESQuery.Attach(platform_);
  Timer_RS485Answer.Attach(platform_);

  BindSelection();
  BindReceive();
  BindEditors();
  BindConnection();

  FormCreate();
}

// Destroying the window closes the port first, while everything its last
// notifications reach still exists.
TForm_main::~TForm_main() {
  FormDestroy();
}

std::vector<Control*> TForm_main::AllControls() const {
  std::vector<Control*> all = ControlsOf(frame_);
  for (Control* c : ControlsOf(menu_)) all.push_back(c);
  for (const LayoutNode& page : pages_)
    for (Control* c : ControlsOf(page)) all.push_back(c);
  return all;
}

Control* TForm_main::FindControl(std::string_view name) const {
  for (Control* c : AllControls())
    if (name == c->Name()) return c;
  return nullptr;
}

void TForm_main::SetObserver(ControlObserver* observer) {
  for (Control* c : AllControls()) c->SetObserver(observer);
}

serial::ByteChannel& TForm_main::Port() {
  return port_ ? *port_ : ComPortEnvBoard;
}

void TForm_main::LogWriteStr(std::string_view message, trace::TraceSecret secret) {
  // The check mark of "Save Log File" is the switch, whoever set it.
  trace_.SetSaveLogFile(SaveLogFile1.Checked());
  try {
    trace_.LogWriteStr(message, secret);
  } catch (const EInOutError& e) {
    // The log is a record of the work, not the work: a full disk or a log
    // folder that is not ours costs the record, never the link or the
    // command in progress. The line is in the pane all the same; the
    // operator hears of it once, not at every line.
    if (log_fault_said_) return;
    log_fault_said_ = true;
    const std::string reason = e.Reason().empty() ? std::strerror(e.ErrorCode()) : e.Reason();
    platform_.ShowMessage("The trace log cannot be written (" + reason +
                          "): " + (e.Path().empty() ? trace_.LogDir() : e.Path()));
  }
}

void TForm_main::SetActiveControl(Control& control) {
  Window.SetActiveControl(&control);
  platform_.MoveFocus(control.Name());
}

}  // namespace velimo::forms
