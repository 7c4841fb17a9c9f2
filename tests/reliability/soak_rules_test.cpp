// The rules by which the soak judges the library: what each injected fault
// allows a call to report, and what a collection may claim.
#include <gtest/gtest.h>

#include <random>

#include "soak/collection_audit.h"
#include "soak/expectation.h"

namespace tallygate::soak {
namespace {

const CommandTraits kClearFlag{"ClearFlag", 1.5, 4, false};
const CommandTraits kGetStorageModel{"GetStorageModel", 1.5, 5, true};

TEST(SoakExpectationTest, EachFaultKind) {
  struct Case {
    const char* name;
    CommandTraits command;
    InjectedFault fault;
    bool tcp;
    bool succeeds;
    bool reconnect;
    bool settles;
  };
  const Case cases[] = {
      {"no fault", kClearFlag, {Fault::kNone}, true, true, false, false},
      {"drop", kClearFlag, {Fault::kDrop}, true, false, false, false},
      {"wrong address", kClearFlag, {Fault::kWrongAddress}, false, false, false, false},
      {"bad check", kClearFlag, {Fault::kBadCheck}, true, false, false, false},
      {"wrong echo, echo not tested", kClearFlag, {Fault::kWrongEcho}, true, true, false, false},
      {"wrong echo, echo tested", kGetStorageModel, {Fault::kWrongEcho}, false, false, false, false},
      {"garbage after the reply", kClearFlag, {Fault::kExtra, 12}, true, true, false, false},
      {"short reply", kGetStorageModel, {Fault::kShort, 4}, true, false, false, false},
      {"delay within the wait", kClearFlag, {Fault::kDelay, 700}, true, true, false, false},
      {"delay past the wait", kClearFlag, {Fault::kDelay, 2200}, false, false, false, true},
      {"close over TCP", kClearFlag, {Fault::kClose}, true, false, true, false},
      {"close on the serial bus is silence", kClearFlag, {Fault::kClose}, false, false, false, false},
  };
  for (const Case& c : cases) {
    const Expectation e = Expect(c.command, c.fault, c.tcp);
    EXPECT_EQ(e.succeeds, c.succeeds) << c.name;
    EXPECT_EQ(e.reconnect, c.reconnect) << c.name;
    EXPECT_EQ(e.settle_seconds > 0, c.settles) << c.name;
    EXPECT_DOUBLE_EQ(e.max_seconds, c.command.wait_seconds) << c.name;
  }
  // The late reply has landed by the time the settling ends.
  EXPECT_GT(Expect(kClearFlag, {Fault::kDelay, 2200}, true).settle_seconds, 2.2 - 1.5);
}

TEST(SoakExpectationTest, DrawnFaultsFitTheCommand) {
  std::mt19937 random(3);
  int kinds[kFaultKinds] = {};
  for (int i = 0; i < 2000; ++i) {
    const InjectedFault fault = DrawFault(random, kGetStorageModel);
    ++kinds[static_cast<int>(fault.kind)];
    if (fault.kind == Fault::kShort) {
      EXPECT_LT(fault.value, kGetStorageModel.reply_length);
    }
    if (fault.kind == Fault::kExtra || fault.kind == Fault::kDelay) {
      EXPECT_GT(fault.value, 0);
    }
  }
  EXPECT_EQ(kinds[0], 0) << "a drawn fault is never none";
  for (int kind = 1; kind < kFaultKinds; ++kind) EXPECT_GT(kinds[kind], 100) << FaultName(static_cast<Fault>(kind));
  EXPECT_EQ((InjectedFault{Fault::kShort, 3}).RuleKind(), "short=3");
  EXPECT_EQ((InjectedFault{Fault::kWrongEcho}).RuleKind(), "wrong-echo");
}

TEST(CollectionAuditTest, OnlyAWholeFileMayClaimCompleteness) {
  const std::vector<std::string> held{"r0", "r1", "r2", "r3"};
  using Lines = std::vector<std::string>;
  struct Case {
    const char* name;
    CollectionOutcome outcome;
    bool violated;
    int32_t exact, misplaced, lost;
  };
  const Case cases[] = {
      {"complete", {true, "", 4, Lines{"r0", "r1", "r2", "r3"}}, false, 4, 0, 0},
      {"missing record, described", {true, kPartLost, 4, Lines{"r0", "", "r2", "r3"}}, false, 3, 0, 1},
      {"missing record, not described", {true, "", 4, Lines{"r0", "", "r2", "r3"}}, true, 3, 0, 1},
      {"file ends early, not described", {true, "", 3, Lines{"r0", "r1", "r2"}}, true, 3, 0, 1},
      {"record at another's place, not described", {true, "", 4, Lines{"r0", "r2", "r2", "r3"}}, true, 3, 1, 1},
      {"record at another's place, described", {true, kPartLost, 4, Lines{"r0", "r2", "", ""}}, false, 1, 1, 3},
      {"a line that is no record", {true, kPartLost, 2, Lines{"r0", "xx"}}, true, 1, 0, 3},
      {"count not the file's", {true, "", 3, Lines{"r0", "r1", "r2", "r3"}}, true, 4, 0, 0},
      {"odd description", {true, "Date Error", 4, Lines{"r0", "r1", "r2", "r3"}}, true, 4, 0, 0},
      {"failed, file untouched", {false, "", 0, std::nullopt}, false, 0, 0, 4},
      {"failed, yet the file written", {false, "", 0, Lines{"r0"}}, true, 0, 0, 4},
      {"nothing stored, described", {true, kPartLost, 0, std::nullopt}, false, 0, 0, 4},
      {"nothing stored, not described", {true, "", 0, std::nullopt}, true, 0, 0, 4},
  };
  for (const Case& c : cases) {
    const CollectionAudit audit = AuditCollection(held, c.outcome);
    EXPECT_EQ(audit.Violated(), c.violated) << c.name << ": " << audit.Describe();
    EXPECT_EQ(audit.exact, c.exact) << c.name;
    EXPECT_EQ(audit.misplaced, c.misplaced) << c.name;
    EXPECT_EQ(audit.lost, c.lost) << c.name;
  }
}

}  // namespace
}  // namespace tallygate::soak
