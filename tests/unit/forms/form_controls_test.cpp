// The window's own pieces: the timer's classic semantics, the page strip's
// tab rule, status bar panels, change notifications.
#include <gtest/gtest.h>

#include "forms/controls/timer.h"
#include "support/form_fixture.h"
#include "support/test_platform.h"

namespace velimo::forms {
namespace {

TEST(TTimer, EnablingARunningTimerDoesNotRestartItsCount) {
  test::TestPlatform platform;
  TTimer timer("t", 5000);
  std::vector<int64_t> ticks;
  timer.OnTimer = [&] { ticks.push_back(platform.NowMs()); };
  timer.Attach(platform);
  platform.Advance(6000);
  EXPECT_TRUE(ticks.empty());  // stopped at start
  timer.SetEnabled(true);      // at 6000
  platform.Advance(4000);
  timer.SetEnabled(true);  // at 10000: the tick stays at 11000
  platform.Advance(6000);
  EXPECT_EQ(ticks, (std::vector<int64_t>{11000, 16000}));
  timer.SetEnabled(false);
  platform.Advance(20000);
  EXPECT_EQ(ticks.size(), 2u);
  timer.SetEnabled(true);  // after a stop the count starts afresh
  platform.Advance(4999);
  EXPECT_EQ(ticks.size(), 2u);
  platform.Advance(1);
  EXPECT_EQ(ticks.back(), 41000);
}

TEST(TTimer, StoppedFromItsOwnTickTicksOnce) {
  test::TestPlatform platform;
  TTimer timer("t", 1000);
  int ticks = 0;
  timer.OnTimer = [&] {
    ++ticks;
    timer.SetEnabled(false);
  };
  timer.SetEnabled(true);  // before Attach: remembered, started on attach
  timer.Attach(platform);
  platform.Advance(10000);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(timer.Enabled());
}

TEST(TTimer, NewIntervalRestartsARunningTimer) {
  test::TestPlatform platform;
  TTimer timer("t", 5000);
  std::vector<int64_t> ticks;
  timer.OnTimer = [&] { ticks.push_back(platform.NowMs()); };
  timer.Attach(platform);
  timer.SetEnabled(true);
  platform.Advance(3000);
  timer.SetInterval(1000);
  platform.Advance(2500);
  EXPECT_EQ(ticks, (std::vector<int64_t>{4000, 5000}));
}

TEST(TPageControl, HidingTheActiveTabMovesOnOrLeavesNoPage) {
  TPage a("a"), b("b"), c("c");
  TPageControl strip("strip");
  strip.pages = {&a, &b, &c};
  strip.SetActivePageIndex(1);
  strip.SetTabVisible(0, false);  // not the active one
  EXPECT_EQ(strip.ActivePageIndex(), 1);
  strip.SetTabVisible(1, false);
  EXPECT_EQ(strip.ActivePageIndex(), 2);
  strip.SetTabVisible(2, false);
  EXPECT_EQ(strip.ActivePageIndex(), -1);
  EXPECT_EQ(strip.ActivePage(), nullptr);
  strip.SetActivePageIndex(8);
  EXPECT_EQ(strip.ActivePageIndex(), -1);
  strip.SetActivePageIndex(0);
  EXPECT_EQ(strip.ActivePage(), &a);  // a hidden tab's page can still be shown
}

TEST(TStatusBar, PanelsOutsideTheBarAreIgnored) {
  TStatusBar bar("bar");
  bar.WithPanels({{"a", 10}, {"b", 20}});
  bar.SetPanelText(1, "x");
  bar.SetPanelText(2, "y");
  bar.SetPanelText(-1, "z");
  EXPECT_EQ(bar.PanelText(0), "a");
  EXPECT_EQ(bar.PanelText(1), "x");
  EXPECT_EQ(bar.PanelText(2), "");
}

struct Recorder : ControlObserver {
  std::vector<std::pair<std::string, ControlProperty>> changes;
  void ControlChanged(Control& c, ControlProperty p) override { changes.emplace_back(c.Name(), p); }
};

TEST(FormNotifications, HandlersReportEveryChangeToTheView) {
  test::FormFixture f;
  Recorder view;
  f.form->SetObserver(&view);
  f.Activate();
  auto saw = [&](const char* name, ControlProperty p) {
    for (const auto& c : view.changes)
      if (c.first == name && c.second == p) return true;
    return false;
  };
  EXPECT_TRUE(saw("sTavi1", ControlProperty::Checked));
  EXPECT_TRUE(saw("StatusBar1", ControlProperty::Text));
  EXPECT_TRUE(saw("PageControl1", ControlProperty::ItemIndex));
  EXPECT_TRUE(saw("TS_I_Serial", ControlProperty::TabVisible));
  EXPECT_TRUE(saw("Btn_Left_Info", ControlProperty::Glyph));
  EXPECT_TRUE(saw("Form_main", ControlProperty::Size));
  EXPECT_TRUE(saw("Memo", ControlProperty::Visible));
  view.changes.clear();
  f.form->SetActiveControl(f.form->Edit_I_AESKey);
  EXPECT_TRUE(saw("Form_main", ControlProperty::Focus));
  EXPECT_EQ(f.form->ActiveControl(), &f.form->Edit_I_AESKey);
}

TEST(FormNotifications, OperatorChangesRunHandlersAssignedOnesDoNot) {
  test::FormFixture f;
  int runs = 0;
  f.form->Edit_S_STXLen.OnChange = [&] { ++runs; };
  f.form->Edit_S_STXLen.SetItemIndex(2);
  EXPECT_EQ(runs, 0);
  f.form->Edit_S_STXLen.UserSelect(3);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(f.form->Edit_S_STXLen.Text(), "3");
}

TEST(FormPort, WithoutAChannelThePortIsClosed) {
  test::TestPlatform platform;
  TForm_main form(platform);
  EXPECT_FALSE(form.Port().Connected());
  form.FormActivate();
  form.Btn_Left_LoRaClick();
  EXPECT_EQ(form.PageControl1.ActivePage(), &form.TS_S_LoRa);
}

}  // namespace
}  // namespace velimo::forms
