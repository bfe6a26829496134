#include "forms/pages/main_frame.h"

#include "protocol/models.h"

namespace velimo::forms {

using namespace layout;

LayoutNode MainFrame::Declare() {
  // Until the settings are applied at activation the trace pane is shown and
  // the window has its tall size.
  return Ctl(
      Window.WithCaption("Velimo").WithSize(1020, 803),
      {
          // Usable only while connected.
          // The picture buttons have no captions: a screen reader
          // calls them by the section each opens.
          Spoken("Sections",
                 Ctl(Panel_Left_Main.Disabled(), {Spoken("Info section", Ctl(Btn_Left_Info)),
                                                  Spoken("LoRa section", Ctl(Btn_Left_LoRa)),
                                                  Spoken("Serial section", Ctl(Btn_Left_Serial))})),
          Spoken("Settings",
                 Ctl(PaneLogMain,
                     {
                         Spoken("Pages", Ctl(PageControl1)),
                         Ctl(Btn_S_CurrentStatus.WithCaption(" Load").Disabled()),
                         Ctl(Btn_FactoryReset.WithCaption("Factory Default").Hidden().Disabled()),
                     })),
          Spoken("Status bar",
                 Ctl(StatusBar1.WithPanels({{"", 100}, {"Disconnected", 200}, {"", 50}}))),
          Spoken("Trace", Ctl(Memo)),
      });
}

LayoutNode MainFrame::DeclareMenu() {
  Device1.WithCaption("Device").WithItems({&sTavi1, &uTavi1, &rTavi1, &ioTavi1});
  sTavi1.WithCaption(protocol::ModelName('s'));
  uTavi1.WithCaption(protocol::ModelName('u'));
  rTavi1.WithCaption(protocol::ModelName('r'));
  // Reachable only through the settings file.
  ioTavi1.WithCaption(protocol::ModelName('i')).Hidden();

  Connection1.WithCaption("Connection").WithItems({&COMSetup1, &ConnectN1, &Disconnect1, &reboot1});
  COMSetup1.WithCaption("COM Setup").Hidden();
  ConnectN1.WithCaption("Connect");
  Disconnect1.WithCaption("Disconnect").Disabled();
  reboot1.WithCaption("Reboot").Disabled().Hidden();

  // A service menu: shown only when the settings ask for it.
  Trace1.WithCaption("Trace").WithItems({&ViewLogTrace1, &SaveLogFile1, &ClearTrace1}).Hidden();
  ViewLogTrace1.WithCaption("View Log Trace").WithChecked(true);
  SaveLogFile1.WithCaption("Save Log File").WithChecked(false);
  ClearTrace1.WithCaption("Clear Trace");

  Help1.WithCaption("Help").WithItems({&About1});
  About1.WithCaption("About");

  MainMenu1 = {&Device1, &Connection1, &Trace1, &Help1};

  LayoutNode menu = Column({});
  for (TMenuItem* top : MainMenu1) {
    LayoutNode node = Ctl(*top);
    for (TMenuItem* item : top->items) node.children.push_back(Ctl(*item));
    menu.children.push_back(std::move(node));
  }
  return menu;
}

}  // namespace velimo::forms
