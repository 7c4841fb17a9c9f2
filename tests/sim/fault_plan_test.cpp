// Fault rules: parsing, selection by command and occurrence, and what each
// kind does to the bytes of a reply.
#include "sim/model/fault_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "sim/model/fault_effects.h"
#include "sim/model/wire_shape.h"

namespace tallygate::sim {
namespace {

using std::chrono::milliseconds;

ReceivedFrame FrameTo(uint8_t address, Bytes frame) { return {address, SealedWire(address, std::move(frame))}; }

const ReceivedFrame kClearFlag = FrameTo(1, MakeFrame(0x02));
const ReceivedFrame kClearRecord = FrameTo(1, MakeFrame(0x06));
const ReceivedFrame kCount = FrameTo(1, MakeFrame(0xBB, {0x00}));
const ReceivedFrame kPage2 = FrameTo(1, MakeFrame(0xBB, {0x02}));

TEST(FaultRule, ParsesEveryField) {
  const FaultRule rule = ParseFaultRule("0xBB,addr=3,page=2,unit=5:2-4:short=7");
  EXPECT_TRUE(rule.target.commands.test(0xBB));
  EXPECT_EQ(rule.target.commands.count(), 1u);
  EXPECT_EQ(rule.target.address, 3);
  EXPECT_EQ(rule.target.page, 2);
  EXPECT_EQ(rule.target.unit, 5);
  EXPECT_EQ(rule.when.first, 2u);
  EXPECT_EQ(rule.when.last, 4u);
  EXPECT_EQ(rule.kind, FaultKind::kShort);
  EXPECT_EQ(rule.value, 7);
  EXPECT_EQ(rule.text, "0xBB,addr=3,page=2,unit=5:2-4:short=7");

  const FaultRule by_name = ParseFaultRule("ClearRecord:next:delay=3000");
  EXPECT_TRUE(by_name.target.commands.test(0x06));
  EXPECT_EQ(by_name.target.commands.count(), 1u);
  EXPECT_EQ(by_name.when.first, 1u);
  EXPECT_EQ(by_name.when.last, 1u);
  EXPECT_EQ(by_name.value, 3000);

  EXPECT_EQ(ParseFaultRule("any:every:drop").target.commands.count(), 256u);
  EXPECT_EQ(ParseFaultRule("SetClock:1:drop").target.commands.count(), 3u);
  EXPECT_FALSE(ParseFaultRule("any:1:wrong-address").value.has_value());
  EXPECT_EQ(ParseFaultRule("any:1:wrong-echo=0x0C").value, 0x0C);
}

class BadRule : public ::testing::TestWithParam<const char*> {};

TEST_P(BadRule, IsRefusedWithAMessage) {
  EXPECT_THROW(ParseFaultRule(GetParam()), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Rules, BadRule,
                         ::testing::Values("", "ClearRecord:next", "ClearRecord:next:drop:extra",
                                           "Nothing:next:drop", "0x100:1:drop", "0xZZ:1:drop",
                                           "any:0:drop", "any:3-2:drop", "any:x:drop", "any:1:explode",
                                           "any:1:extra", "any:1:drop=3", "any:1:delay=-5",
                                           "any:1:wrong-address=256", "any,page=300:1:drop",
                                           "any,colour=red:1:drop", "any:1-:drop", "any:101%:drop",
                                           "any:%:drop", "any:-1%:drop", "any:1e1%:drop", "any:5%%:drop"));

TEST(FaultPlan, CountsOnlyMatchingFramesFromWhenTheRuleIsAdded) {
  FaultPlan plan;
  plan.Select(kClearRecord);  // before the rule: not counted
  plan.Add(ParseFaultRule("ClearRecord:2:drop"));
  EXPECT_TRUE(plan.Select(kClearRecord).empty());
  EXPECT_TRUE(plan.Select(kClearFlag).empty());  // other commands do not count
  const std::vector<FaultAction> hit = plan.Select(kClearRecord);
  ASSERT_EQ(hit.size(), 1u);
  EXPECT_EQ(hit[0].kind, FaultKind::kDrop);
  EXPECT_EQ(hit[0].rule, "ClearRecord:2:drop");
  EXPECT_TRUE(plan.Select(kClearRecord).empty());
}

struct WhenCase {
  std::string rule;
  std::vector<int> fires_on;  // occurrences 1..8 on which the rule fires
};

void PrintTo(const WhenCase& c, std::ostream* os) { *os << c.rule; }

class Occurrences : public ::testing::TestWithParam<WhenCase> {};

TEST_P(Occurrences, FireExactlyOnTheNamedOnes) {
  FaultPlan plan;
  plan.Add(ParseFaultRule(GetParam().rule));
  std::vector<int> fired;
  for (int n = 1; n <= 8; ++n) {
    if (!plan.Select(kClearFlag).empty()) fired.push_back(n);
  }
  EXPECT_EQ(fired, GetParam().fires_on);
}

INSTANTIATE_TEST_SUITE_P(Rules, Occurrences,
                         ::testing::Values(WhenCase{"ClearFlag:next:drop", {1}},
                                           WhenCase{"ClearFlag:5:drop", {5}},
                                           WhenCase{"0x02:2-3:drop", {2, 3}},
                                           WhenCase{"any:every:drop", {1, 2, 3, 4, 5, 6, 7, 8}},
                                           WhenCase{"ClearRecord:every:drop", {}},
                                           WhenCase{"ClearFlag,addr=2:every:drop", {}},
                                           WhenCase{"ClearFlag,addr=1:7-100:drop", {7, 8}}));

TEST(FaultPlan, PageQualifierCountsAttemptsAtThatPage) {
  FaultPlan plan;
  plan.Add(ParseFaultRule("0xBB,page=2,unit=5:2:drop"));
  EXPECT_TRUE(plan.Select(kCount).empty());
  EXPECT_TRUE(plan.Select(kPage2).empty());  // first attempt
  EXPECT_TRUE(plan.Select(kCount).empty());
  const std::vector<FaultAction> hit = plan.Select(kPage2);  // second attempt
  ASSERT_EQ(hit.size(), 1u);
  EXPECT_EQ(hit[0].unit, 5);
}

TEST(FaultPlan, SeveralRulesApplyInOrderAndClearRemovesThem) {
  FaultPlan plan;
  plan.Add(ParseFaultRule("any:every:delay=10"));
  plan.Add(ParseFaultRule("ClearFlag:next:bad-check"));
  std::vector<FaultAction> hit = plan.Select(kClearFlag);
  ASSERT_EQ(hit.size(), 2u);
  EXPECT_EQ(hit[0].kind, FaultKind::kDelay);
  EXPECT_EQ(hit[1].kind, FaultKind::kBadCheck);
  EXPECT_EQ(plan.Describe(), (std::vector<std::string>{"any:every:delay=10 (seen 1)",
                                                       "ClearFlag:next:bad-check (seen 1)"}));
  plan.Clear();
  EXPECT_TRUE(plan.Select(kClearFlag).empty());
}

// Which of `frames` ClearFlag frames `plan` hits, as '1' and '0'. A
// ClearRecord goes between any two, for rules on it to draw in between.
std::string HitPattern(FaultPlan& plan, int frames) {
  std::string hits;
  for (int n = 0; n < frames; ++n) {
    hits += plan.Select(kClearFlag).empty() ? '0' : '1';
    plan.Select(kClearRecord);
  }
  return hits;
}

struct ChanceCase {
  std::string rule;
  double percent;
};

void PrintTo(const ChanceCase& c, std::ostream* os) { *os << c.rule; }

class Chances : public ::testing::TestWithParam<ChanceCase> {};

TEST_P(Chances, HitAboutTheirShareTheSameWayForTheSameSeed) {
  constexpr int kFrames = 20000;
  const std::string& rule = GetParam().rule;
  const double p = GetParam().percent / 100;
  FaultPlan plan(7), same(7), other(8);
  plan.Add(ParseFaultRule(rule));
  same.Add(ParseFaultRule(rule));
  same.Add(ParseFaultRule("ClearRecord:50%:drop"));
  other.Add(ParseFaultRule(rule));
  const std::string hits = HitPattern(plan, kFrames);
  const auto count = std::count(hits.begin(), hits.end(), '1');
  // Five standard deviations either side of the expected count.
  EXPECT_NEAR(static_cast<double>(count), kFrames * p, 5 * std::sqrt(kFrames * p * (1 - p)));
  EXPECT_EQ(HitPattern(same, kFrames), hits) << "another rule's draws changed this rule's hits";
  if (p > 0 && p < 1) {
    EXPECT_NE(HitPattern(other, kFrames), hits) << "another seed hit the same frames";
  }
  EXPECT_EQ(plan.Describe().front(), rule + " (seen 20000, hit " + std::to_string(count) + ")");
}

INSTANTIATE_TEST_SUITE_P(Rules, Chances,
                         ::testing::Values(ChanceCase{"ClearFlag:0%:drop", 0}, ChanceCase{"0x02:2.5%:drop", 2.5},
                                           ChanceCase{"ClearFlag,addr=1:25%:bad-check", 25},
                                           ChanceCase{"ClearFlag:100%:delay=5", 100}));

// Effects on the reply of ClearFlag to terminal 1, 01 00 02 03.
struct EffectCase {
  std::string rule;
  Bytes sent;
  milliseconds pause{0};
  bool close = false;
};

void PrintTo(const EffectCase& c, std::ostream* os) { *os << c.rule; }

class Effects : public ::testing::TestWithParam<EffectCase> {};

TEST_P(Effects, OnASingleReply) {
  FaultPlan plan;
  plan.Add(ParseFaultRule(GetParam().rule));
  const Transmission out = ApplyFaults(Reply::Single({0x01, 0x00, 0x02, 0x03}), plan.Select(kClearFlag));
  EXPECT_EQ(out.Joined(), GetParam().sent);
  EXPECT_EQ(out.TotalPause(), GetParam().pause);
  EXPECT_EQ(out.close, GetParam().close);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Effects,
    ::testing::Values(
        EffectCase{"ClearRecord:next:drop", {0x01, 0x00, 0x02, 0x03}},  // not this command
        EffectCase{"ClearFlag:next:drop", {}},
        EffectCase{"ClearFlag:next:wrong-address", {0xFE, 0x00, 0x02, 0xFC}},
        EffectCase{"ClearFlag:next:wrong-address=7", {0x07, 0x00, 0x02, 0x05}},
        EffectCase{"ClearFlag:next:bad-check", {0x01, 0x00, 0x02, 0xFC}},
        EffectCase{"ClearFlag:next:wrong-echo=0x0C", {0x01, 0x00, 0x0C, 0x0D}},
        EffectCase{"ClearFlag:next:extra=3", {0x01, 0x00, 0x02, 0x03, 0xEE, 0xEE, 0xEE}},
        EffectCase{"ClearFlag:next:short=2", {0x01, 0x00}},
        EffectCase{"ClearFlag:next:short=9", {0x01, 0x00, 0x02, 0x03}},
        EffectCase{"ClearFlag:next:delay=3000", {0x01, 0x00, 0x02, 0x03}, milliseconds(3000)},
        EffectCase{"ClearFlag:next:close", {}, milliseconds(0), true}));

TEST(Effects, WrongAddressThenBadCheckStaysBad) {
  const std::vector<FaultAction> faults{{FaultKind::kBadCheck, {}, {}, "a"},
                                        {FaultKind::kWrongAddress, 9, {}, "b"}};
  const Transmission out = ApplyFaults(Reply::Single({0x01, 0x00, 0x02, 0x03}), faults);
  EXPECT_EQ(out.Joined(), (Bytes{0x09, 0x00, 0x02, static_cast<uint8_t>(0x0B ^ 0xFF)}));
}

TEST(Effects, SilentReplyStaysSilentButCloseStillCloses) {
  const Reply silent = Reply::Silent("not simulated");
  const std::vector<FaultAction> extra{{FaultKind::kExtra, 4, {}, "x"}};
  EXPECT_TRUE(ApplyFaults(silent, extra).segments.empty());
  const std::vector<FaultAction> close{{FaultKind::kClose, {}, {}, "c"}};
  EXPECT_TRUE(ApplyFaults(silent, close).close);
}

Reply ThreeUnits() {
  Reply reply;
  reply.units = {{0x01, 0x00, 0x00, 0x01}, {0x01, 0x00, 0x00, 0x01}, {0x01, 0x00, 0x00, 0x01}};
  return reply;
}

TEST(Effects, UnitFaultsTouchOnlyTheirUnit) {
  const std::vector<FaultAction> drop{{FaultKind::kDrop, {}, 1, "d"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), drop).Joined(), (Bytes{0x01, 0, 0, 0x01, 0x01, 0, 0, 0x01}));

  const std::vector<FaultAction> bad{{FaultKind::kBadCheck, {}, 2, "b"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), bad).Joined(),
            (Bytes{0x01, 0, 0, 0x01, 0x01, 0, 0, 0x01, 0x01, 0, 0, 0xFE}));

  const std::vector<FaultAction> late{{FaultKind::kDelay, 500, 2, "l"}};
  const Transmission delayed = ApplyFaults(ThreeUnits(), late);
  ASSERT_EQ(delayed.segments.size(), 3u);
  EXPECT_EQ(delayed.segments[0].pause, milliseconds(0));
  EXPECT_EQ(delayed.segments[2].pause, milliseconds(500));

  const std::vector<FaultAction> cut{{FaultKind::kClose, {}, 1, "c"}};
  const Transmission closed = ApplyFaults(ThreeUnits(), cut);
  EXPECT_EQ(closed.Joined(), (Bytes{0x01, 0, 0, 0x01}));
  EXPECT_TRUE(closed.close);

  const std::vector<FaultAction> beyond{{FaultKind::kDrop, {}, 7, "n"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), beyond).Joined(), ThreeUnits().Joined());
}

TEST(Effects, WholeReplyFaultsActOnTheStream) {
  const std::vector<FaultAction> shorter{{FaultKind::kShort, 6, {}, "s"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), shorter).Joined(), (Bytes{0x01, 0, 0, 0x01, 0x01, 0}));
  const std::vector<FaultAction> spoiled{{FaultKind::kWrongAddress, 2, {}, "w"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), spoiled).Joined(),
            (Bytes{0x02, 0, 0, 0x02, 0x02, 0, 0, 0x02, 0x02, 0, 0, 0x02}));
  const std::vector<FaultAction> extra{{FaultKind::kExtra, 1, {}, "e"}};
  EXPECT_EQ(ApplyFaults(ThreeUnits(), extra).Joined().back(), kGarbageByte);
  EXPECT_EQ(ApplyFaults(ThreeUnits(), extra).Joined().size(), 13u);
}

}  // namespace
}  // namespace tallygate::sim
