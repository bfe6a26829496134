// The names velimo-cli offers for completion: those of the chosen model,
// split as set and click take them.
#include <gtest/gtest.h>

#include <algorithm>

#include "session.h"

namespace velimo::cli {
namespace {

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(ReachableNamesTest, TheModelsPageSetTheWindowAndTheDialogNotTheOtherModels) {
  forms::HeadlessPlatform platform;
  forms::ApplicationOptions options;
  options.settings_path = "/dev/null";
  Session session(platform, options);
  session.SelectModel('r');
  const auto controls = session.ReachableNames(false);
  const auto editors = session.ReachableNames(true);
  for (const char* name : {"CB_R_Ch", "Btn_R_Save_CH", "LB_R_Ch", "Btn_Left_LoRa", "ConnectN1",
                           "Btn_Connect", "Edit_Baudrate"})
    EXPECT_TRUE(Has(controls, name)) << name;
  for (const char* name : {"CB_S_Ch", "Btn_S_SaveAll_LoRaPage", "Edit_I_Did"})
    EXPECT_FALSE(Has(controls, name)) << name;
  EXPECT_TRUE(Has(editors, "CB_R_Ch"));
  EXPECT_TRUE(Has(editors, "Edit_Baudrate"));
  EXPECT_FALSE(Has(editors, "Btn_R_Save_CH"));
  EXPECT_FALSE(Has(editors, "LB_R_Ch"));
  for (const auto& name : editors) EXPECT_TRUE(Has(controls, name)) << name;
  // Nothing is offered twice.
  auto sorted = controls;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

}  // namespace
}  // namespace velimo::cli
