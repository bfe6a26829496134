// The main window's frame around the pages: the window itself, the main
// menu, the left column of section buttons, the page strip with the two
// buttons lying over it, the status bar and the trace pane.
#pragma once

#include <vector>

#include "forms/controls/controls.h"
#include "forms/controls/layout.h"

namespace velimo::forms {

// Pictures of ImageList1, 180 x 180 each, used as the left buttons' glyphs.
struct ImageList1 {
  static constexpr int kCount = 6;
  static constexpr int kWidth = 180;
  static constexpr int kHeight = 180;
  static constexpr int kInfoNormal = 0;
  static constexpr int kInfoSelected = 1;
  static constexpr int kLoRaNormal = 2;
  static constexpr int kLoRaSelected = 3;
  static constexpr int kSerialNormal = 4;
  static constexpr int kSerialSelected = 5;
};

// Page indexes of PageControl1.
enum PageIndex : int {
  kPageSInfo = 0,
  kPageSLoRa = 1,
  kPageSSerial = 2,
  kPageRInfo = 3,
  kPageRLoRa = 4,
  kPageIInfo = 5,
  kPageILoRa = 6,
  kPageISerial = 7,
  kPageCount = 8,
};

struct MainFrame {
  // The window: caption "Velimo", outer size, focused control.
  TWindow Window{"Form_main"};

  // MainMenu1, in menu order.
  VELIMO_CONTROL(TMenuItem, Device1);
  VELIMO_CONTROL(TMenuItem, sTavi1);
  VELIMO_CONTROL(TMenuItem, uTavi1);
  VELIMO_CONTROL(TMenuItem, rTavi1);
  VELIMO_CONTROL(TMenuItem, ioTavi1);
  VELIMO_CONTROL(TMenuItem, Connection1);
  VELIMO_CONTROL(TMenuItem, COMSetup1);
  VELIMO_CONTROL(TMenuItem, ConnectN1);
  VELIMO_CONTROL(TMenuItem, Disconnect1);
  VELIMO_CONTROL(TMenuItem, reboot1);
  VELIMO_CONTROL(TMenuItem, Trace1);
  VELIMO_CONTROL(TMenuItem, ViewLogTrace1);
  VELIMO_CONTROL(TMenuItem, SaveLogFile1);
  VELIMO_CONTROL(TMenuItem, ClearTrace1);
  VELIMO_CONTROL(TMenuItem, Help1);
  VELIMO_CONTROL(TMenuItem, About1);
  // The top-level menus in order; each lists its items in TMenuItem::items.
  std::vector<TMenuItem*> MainMenu1;

  // Left column: 200 wide, three 200 x 200 picture buttons.
  VELIMO_CONTROL(TPanel, Panel_Left_Main);
  VELIMO_CONTROL(TGlyphButton, Btn_Left_Info);
  VELIMO_CONTROL(TGlyphButton, Btn_Left_LoRa);
  VELIMO_CONTROL(TGlyphButton, Btn_Left_Serial);

  // Right area: the page strip (800 wide) and the two buttons over its
  // lower edge.
  VELIMO_CONTROL(TPanel, PaneLogMain);
  VELIMO_CONTROL(TPageControl, PageControl1);
  VELIMO_CONTROL(TButton, Btn_S_CurrentStatus);
  VELIMO_CONTROL(TButton, Btn_FactoryReset);

  // Panels 0 (model), 1 (connection state), 2 (empty); widths 100, 200, 50.
  VELIMO_CONTROL(TStatusBar, StatusBar1);
  // The trace pane along the bottom edge.
  VELIMO_CONTROL(TMemo, Memo);

  // Sets the initial states; returns the window's tree (the page strip
  // without its pages, which the window adds from the page declarations).
  LayoutNode Declare();
  // The main menu's tree: one node per top-level menu with its items.
  LayoutNode DeclareMenu();
};

}  // namespace velimo::forms
