// A page Save after a report of another family: the form model in virtual
// time, its port answered by the simulated modem's own protocol core.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "modem.h"
#include "support/form_fixture.h"
#include "wire.h"

namespace velimo::forms {
namespace {

class PageSaveFamilyTest : public ::testing::Test {
 protected:
  PageSaveFamilyTest() {
    f.channel.answer = [this](const std::string& line) {
      f.channel.Queue(sim::WireText(modem.Handle(line.substr(0, line.size() - 1)).lines));
    };
    f.Activate();
  }
  // Hands every waiting answer to the window, as the port's events would.
  void Deliver() {
    while (!f.channel.input.empty())
      f.form->ComPortEnvBoardRxChar(static_cast<int>(f.channel.input.size()));
  }
  // The connect dialog's end: the port opens and the status query goes out.
  void ConnectAndRead() {
    f.Connect();
    f.form->Btn_S_CurrentStatusClick();
    Deliver();
    f.platform.ClearRecords();
    f.channel.writes.clear();
  }
  bool Traced(const std::string& text) {
    const auto& lines = f.form->Trace().Pane().Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }

  sim::Modem modem{sim::Family::kRTavi, sim::Firmware::k1_3};
  test::FormFixture f;
  TForm_main& w = *f.form;
};

TEST_F(PageSaveFamilyTest, NothingIsWrittenToAModemWhoseReportShowsAnotherFamily) {
  using F = TForm_main;
  const std::string refused = "the modem reports itself as an rTavi; the chosen model is for sTavi";
  w.sTavi1Click();
  ConnectAndRead();
  ASSERT_EQ(w.ReportedFamily(), scan::Family::RTavi);
  const sim::Config before = modem.config();

  // A single save, a save-all with nested save-alls, the link setting with
  // its serial save-all in front, a key save: one message each, no byte.
  void (F::*const saves[])() = {&F::Btn_S_Save_CHClick, &F::Btn_S_SaveAll_LoRaPageClick,
                                &F::Btn_S_Save_BaudrateClick, &F::Btn_S_Save_AESKEYClick};
  for (auto save : saves) {
    f.platform.ClearRecords();
    (f.form.get()->*save)();
    EXPECT_TRUE(f.channel.writes.empty());
    EXPECT_EQ(f.platform.Messages(), std::vector<std::string>{refused + ". Nothing was sent."});
  }
  EXPECT_TRUE(Traced("Save refused: " + refused));
  EXPECT_EQ(modem.config(), before);

  // The model that matches the report: the save goes out as ever.
  w.rTavi1Click();
  Deliver();
  w.CB_R_Ch.SetItemIndex(4);
  f.channel.writes.clear();
  w.Btn_R_Save_CHClick();
  EXPECT_EQ(f.channel.Written(), "AT+CH=5\r");
  EXPECT_EQ(std::get<sim::RTaviConfig>(modem.config()).radio.channel, 5);

  // A new link, not read yet: nothing tells the family, and the save goes
  // out as it always has.
  w.Disconnect1Click();
  w.sTavi1Click();
  f.Connect();
  f.channel.writes.clear();
  w.CB_S_Ch.SetItemIndex(6);
  w.Btn_S_Save_CHClick();
  EXPECT_EQ(f.channel.Written(), "AT+CH=7\r");

  // uTavi chosen, an sTavi answering: one family.
  modem = sim::Modem(sim::Family::kSTavi, sim::Firmware::k1_3);
  w.uTavi1Click();  // its page opening reads the modem
  Deliver();
  f.channel.writes.clear();
  EXPECT_EQ(w.ReportedFamily(), scan::Family::STaviOrUTavi);
  w.CB_S_Ch.SetItemIndex(2);
  w.Btn_S_Save_CHClick();
  EXPECT_EQ(f.channel.Written(), "AT+CH=3\r");
  EXPECT_EQ(std::get<sim::STaviConfig>(modem.config()).radio.channel, 3);
}

}  // namespace
}  // namespace velimo::forms
