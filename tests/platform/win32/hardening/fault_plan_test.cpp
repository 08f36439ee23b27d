// The fault plan of the test ddraw.dll: what it accepts, what it refuses, and which
// calls each fault fails.
#include <gtest/gtest.h>

#include "fault_plan.h"

namespace lumenfall::faults {
namespace {

std::vector<Fault> Plan(const char* text) {
  std::vector<Fault> plan;
  std::string error;
  EXPECT_TRUE(ParseFaultPlan(text, plan, error)) << text << ": " << error;
  return plan;
}

std::string Refusal(const char* text) {
  std::vector<Fault> plan{Fault{}};
  std::string error;
  EXPECT_FALSE(ParseFaultPlan(text, plan, error)) << text;
  EXPECT_TRUE(plan.empty()) << text << ": a refused plan injects nothing";
  return error;
}

TEST(FaultPlan, ReadsEveryKindWithItsNumbers) {
  EXPECT_TRUE(Plan("").empty());
  EXPECT_EQ(FormatFaultPlan(Plan("create")), "create@0*forever");
  EXPECT_EQ(FormatFaultPlan(Plan("query,primary,clipper")),
            "query@0*forever,primary@0*forever,clipper@0*forever");
  EXPECT_EQ(FormatFaultPlan(Plan("surface:3")), "surface:3@0*forever");
  // The marks come in any order; the longer names are not taken for "lock" or "blt".
  EXPECT_EQ(FormatFaultPlan(Plan("lock-stilldrawing*100@800")), "lock-stilldrawing@800*100");
  EXPECT_EQ(FormatFaultPlan(Plan("lock-lost:2@5*7,lock:4,blt@200*75,blt-lost@1")),
            "lock-lost:2@5*7,lock:4@0*forever,blt@200*75,blt-lost@1*forever");
  EXPECT_EQ(FormatFaultPlan(Plan("mode-change@150")), "mode-change@150*forever");
  const std::vector<Fault> plan = Plan("lock:1000000000@1000000000*1000000000");
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].kind, FaultKind::Lock);
  EXPECT_EQ(plan[0].index, 1000000000u);
  EXPECT_EQ(plan[0].after, 1000000000u);
  EXPECT_EQ(plan[0].count, 1000000000u);
}

TEST(FaultPlan, RefusesMistakesWithAReason) {
  EXPECT_EQ(Refusal("crash"), "\"crash\": no such fault");
  EXPECT_EQ(Refusal("Lock"), "\"Lock\": no such fault");  // names are lower case
  EXPECT_EQ(Refusal("create,"), "an empty fault in the list");
  EXPECT_EQ(Refusal(",create"), "an empty fault in the list");
  EXPECT_EQ(Refusal("surface"), "\"surface\": surface needs its number, as in surface:2");
  EXPECT_EQ(Refusal("surface:0"), "\"surface:0\": surfaces are numbered from 1");
  EXPECT_EQ(Refusal("blt:1"), "\"blt:1\": this fault takes no surface number");
  EXPECT_EQ(Refusal("primary:1"), "\"primary:1\": this fault takes no surface number");
  EXPECT_EQ(Refusal("mode-change:1"), "\"mode-change:1\": this fault takes no surface number");
  EXPECT_EQ(Refusal("blt*0"), "\"blt*0\": a count of 0 fails nothing");
  EXPECT_EQ(Refusal("blt@"), "\"blt@\": a number from 0 to 1000000000 must follow '@'");
  EXPECT_EQ(Refusal("blt@-1"), "\"blt@-1\": a number from 0 to 1000000000 must follow '@'");
  EXPECT_EQ(Refusal("blt*1000000001"),
            "\"blt*1000000001\": a number from 0 to 1000000000 must follow '*'");
  EXPECT_EQ(Refusal("blt@99999999999999999999"),
            "\"blt@99999999999999999999\": a number from 0 to 1000000000 must follow '@'");
  EXPECT_EQ(Refusal("lock:1:2"), "\"lock:1:2\": ':' given twice");
  EXPECT_EQ(Refusal("blt@1@2"), "\"blt@1@2\": '@' given twice");
  EXPECT_EQ(Refusal("blt *1"), "\"blt \": no such fault");
  // One bad fault refuses the whole plan.
  Refusal("create,blt@x");
}

TEST(FaultCounter, FailsTheCallsAfterItsStartForItsCount) {
  FaultCounter counter(Plan("blt@3*2")[0]);
  std::string pattern;
  for (int call = 0; call < 8; ++call) pattern += counter.Fails() ? 'F' : '.';
  EXPECT_EQ(pattern, "...FF...");
  EXPECT_EQ(counter.calls(), 8u);
  EXPECT_EQ(counter.failures(), 2u);
  EXPECT_TRUE(counter.UsedUp());
}

TEST(FaultCounter, WithoutACountFailsForEver) {
  FaultCounter counter(Plan("lock@1")[0]);
  std::string pattern;
  for (int call = 0; call < 6; ++call) pattern += counter.Fails() ? 'F' : '.';
  EXPECT_EQ(pattern, ".FFFFF");
  EXPECT_FALSE(counter.UsedUp());
}

TEST(FaultCounter, LosesOnceAndRestoresOnlyAfterItsCount) {
  FaultCounter counter(Plan("blt-lost@2*3")[0]);
  EXPECT_FALSE(counter.LosesNow());
  EXPECT_FALSE(counter.LosesNow());
  EXPECT_TRUE(counter.LosesNow());  // the third call loses the surface
  EXPECT_FALSE(counter.LosesNow()) << "a surface is lost once";
  for (int answer = 0; answer < 3; ++answer) {
    EXPECT_FALSE(counter.RestoreSucceeds()) << "after " << answer << " lost answers";
    counter.CountLostAnswer();
  }
  EXPECT_TRUE(counter.RestoreSucceeds());
  EXPECT_FALSE(counter.LosesNow()) << "once restored it stays restored";
}

TEST(FaultCounter, LostForEverNeverRestores) {
  FaultCounter counter(Plan("lock-lost")[0]);
  EXPECT_TRUE(counter.LosesNow());
  for (int answer = 0; answer < 1000; ++answer) counter.CountLostAnswer();
  EXPECT_FALSE(counter.RestoreSucceeds());
}

}  // namespace
}  // namespace lumenfall::faults
