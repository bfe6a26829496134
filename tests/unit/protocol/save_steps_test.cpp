// The save-all step tables: each sequence stays within its page set and
// never runs itself, and the pause a profile apply keeps after a setting is
// the one its page set's sequences keep.
#include "protocol/save_steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace velimo::protocol {
namespace {

using C = CommandId;
using Q = Sequence;

// Every sequence a sequence runs, itself included, transitively.
void Reach(Q sequence, std::set<Q>& seen, std::vector<Q>& path) {
  for (const SaveStep& step : StepsOf(sequence).steps) {
    if (step.nested == Q::kCount) continue;
    ASSERT_EQ(std::count(path.begin(), path.end(), step.nested), 0) << "a sequence runs itself";
    seen.insert(step.nested);
    path.push_back(step.nested);
    Reach(step.nested, seen, path);
    path.pop_back();
  }
}

TEST(SaveSteps, EachSequenceStaysInItsPageSetAndEndsWithoutRunningItself) {
  for (int i = 0; i < static_cast<int>(Q::kCount); ++i) {
    const Q q = static_cast<Q>(i);
    SCOPED_TRACE(i);
    const SequenceTable& table = StepsOf(q);
    for (const SaveStep& step : table.steps) {
      // A step is a single save or a nested sequence, never both or neither.
      EXPECT_NE(step.setting == C::kCount, step.nested == Q::kCount);
      if (step.setting != C::kCount) {
        EXPECT_EQ(Entry(step.setting).set, table.set) << Entry(step.setting).key;
        EXPECT_FALSE(Entry(step.setting).key.empty()) << "a step saves a setting";
        if (step.when == StepWhen::FrameUsed) {
          EXPECT_EQ(Entry(step.setting).encoding, ValueEncoding::HexList);
        }
      } else {
        EXPECT_EQ(StepsOf(step.nested).set, table.set);
      }
    }
    std::set<Q> seen;
    std::vector<Q> path{q};
    Reach(q, seen, path);
  }
}

TEST(SaveSteps, AnApplyPausesAfterASettingAsItsPageSetsSequencesDo) {
  const struct {
    C setting;
    int pause;
  } cases[] = {
      // sTavi/uTavi: 100 where a step pauses 100, else the page set's 200.
      {C::S_CH, 100},
      {C::S_SF, 200},
      {C::S_Did, 200},
      {C::S_En, 100},
      {C::S_AESKEY, 100},
      {C::S_AESIV, 200},
      {C::S_Ptype, 100},
      {C::S_DMT, 200},
      {C::S_Sid, 200},
      // rTavi: the relay steps pause 100.
      {C::R_Mode, 100},
      {C::R_Rid2, 100},
      {C::R_CH, 200},
      {C::R_Country, 200},
      // ioTavi: 400 and 500, never the other page sets' 200.
      {C::I_CH, 400},
      {C::I_SF, 500},
      {C::I_En, 400},
      {C::I_AESIV, 500},
      {C::I_Ptype, 400},
      {C::I_Did, 500},
      {C::I_DMT, 500},
      {C::I_ETX, 500},
      {C::I_Baudrate, 500},
      {C::I_Ptype_485, 400},
      {C::I_STX_485, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(PageSetName(Entry(c.setting).set)) + " " +
                 std::string(Entry(c.setting).key));
    EXPECT_EQ(ApplyPauseMs(c.setting), c.pause);
  }
}

TEST(Models, NamesPageSetsAndChannelPlansComeFromOneTable) {
  for (const Model& m : kModels) {
    EXPECT_EQ(ModelCodeOf(ModelName(m.code)), m.code);
    EXPECT_EQ(PageSetOf(m.code), m.set);
  }
  EXPECT_EQ(ModelName('x'), "");
  EXPECT_EQ(ModelCodeOf("STAVI"), std::nullopt) << "names are spelt exactly";
  EXPECT_EQ(ListItems(ListId::Country), (std::vector<std::string>{"KOR", "USA", "JPN"}));
  ASSERT_NE(PlanOf("JPN"), nullptr);
  EXPECT_EQ(PlanAt(2), PlanOf("JPN"));
  EXPECT_EQ(PlanAt(3), nullptr);
  EXPECT_EQ(ListItems(ListId::Channel, *PlanOf("JPN")).back(), "9");
  EXPECT_EQ(ListItems(ListId::Factor, *PlanOf("JPN")),
            (std::vector<std::string>{"7", "8", "9", "10", "11"}));
  EXPECT_EQ(ListItems(ListId::Channel).size(), 20u) << "the widest plan";
}

}  // namespace
}  // namespace velimo::protocol
