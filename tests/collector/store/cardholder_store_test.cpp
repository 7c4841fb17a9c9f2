// The wanted card lists in both stores: a whole list, changes, revocations,
// each change in the audit once, and a change that fails leaves nothing;
// the lists' version, and the changes still pending on each terminal.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "collector/store/store.h"
#include "collector/base/value_text.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

using CardholderTest = StoreTest;
INSTANTIATE_TEST_SUITE_P(Stores, CardholderTest, StoreKinds(), StoreKindName);

const UtcTime kT1{std::chrono::seconds{1'700'000'000}};
const UtcTime kT2 = kT1 + std::chrono::hours{1};
const UtcTime kT3 = kT2 + std::chrono::hours{1};

Cardholder Holder(uint32_t card, std::string name, std::vector<std::string> where = {"gates"}) {
  return MakeHolder(card, std::move(name), std::move(where));
}

// "card action by" for each audit row, oldest first.
std::vector<std::string> AuditTrail(Store& store) {
  std::vector<std::string> rows;
  const std::vector<CardAudit> audits = store.CardAudits(std::nullopt, 100);
  for (auto it = audits.rbegin(); it != audits.rend(); ++it) {
    rows.push_back(std::to_string(it->card) + " " + CardActionName(it->action) + " " + it->by);
  }
  return rows;
}

TEST_P(CardholderTest, ChangesAreKeptWithTheirAudit) {
  Cardholder dated = Holder(4294967295u, "张三", {"*"});
  dated.valid_from = ParseDay("2026-01-01");
  dated.valid_until = ParseDay("2026-12-31");
  const std::vector<Cardholder> file = {Holder(1, "Ann", {"gates", "canteen"}), dated};
  EXPECT_EQ(store_->ChangeCardholders({file, {}, true}, "hr.csv", kT1).size(), 2u);
  EXPECT_EQ(store_->Cardholders(), file);  // every field, back as written
  EXPECT_TRUE(store_->ChangeCardholders({file, {}, true}, "hr.csv", kT1).empty());

  Cardholder renamed = Holder(1, "Anne", {"gates", "canteen"});
  store_->ChangeCardholders({{renamed, Holder(3, "Bob")}, {}, false}, "merge.csv", kT2);
  store_->ChangeCardholders({{}, {3, 77}, false}, "cli", kT2);
  store_->ChangeCardholders({{Holder(5, "Cy")}, {}, true}, "hr.csv", kT2);
  EXPECT_EQ(
      AuditTrail(*store_),
      (std::vector<std::string>{"1 add hr.csv", "4294967295 add hr.csv", "1 change merge.csv",
                                "3 add merge.csv", "3 revoke cli", "77 revoke cli",
                                "1 revoke hr.csv", "5 add hr.csv", "4294967295 revoke hr.csv"}));
  EXPECT_EQ(store_->CardAudits(1, 1)[0].what.find("revoked: staff 1, name \"Anne\""), 0u);
  EXPECT_EQ(store_->CardAudits(1, 10)[1].what, "name \"Ann\" -> \"Anne\"");
  EXPECT_EQ(store_->CardAudits(1, 10)[1].when, kT2);

  // A revoked holder keeps its fields; the revocation's time is kept.
  const std::optional<Cardholder> revoked = store_->FindCardholder(3);
  ASSERT_TRUE(revoked);
  EXPECT_EQ(revoked->name, "Bob");
  EXPECT_EQ(revoked->revoked, kT2);
  EXPECT_EQ(store_->FindCardholder(77)->revoked, kT2);  // a card nobody held
  EXPECT_FALSE(store_->FindCardholder(78));
  EXPECT_FALSE(store_->FindCardholder(5)->revoked);
}

// A name kept before control characters were refused: PostgreSQL would end
// the audit's text at its NUL, hiding what the change was.
TEST_P(CardholderTest, TheAuditWritesControlCharactersOutAndStaysWhole) {
  store_->ChangeCardholders({{Holder(9, std::string("A\0B\tC", 5))}, {}, false}, "cli", kT1);
  EXPECT_EQ(store_->CardAudits(9, 1).at(0).what,
            "staff 9, name \"A\\u0000B\\u0009C\", terminals gates, valid always");
}

TEST_P(CardholderTest, AChangeThatFailsHalfWayChangesNothing) {
  store_->ChangeCardholders({{Holder(1, "Ann")}, {}, false}, "cli", kT1);
  Sql("CREATE TRIGGER refuse BEFORE INSERT ON card_audit WHEN NEW.card = 9"
      " BEGIN SELECT RAISE(ABORT, 'card 9 refused'); END",
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
      " IF NEW.card = 9 THEN RAISE EXCEPTION 'card 9 refused'; END IF; RETURN NEW; END $$;"
      " CREATE TRIGGER refuse BEFORE INSERT ON card_audit FOR EACH ROW EXECUTE FUNCTION refuse()");
  const std::vector<Cardholder> before = store_->Cardholders();
  EXPECT_THROW(
      store_->ChangeCardholders({{Holder(2, "Bob"), Holder(9, "Cy")}, {}, true}, "f.csv", kT2),
      StoreError);
  EXPECT_EQ(store_->Cardholders(), before);
  EXPECT_EQ(AuditTrail(*store_), (std::vector<std::string>{"1 add cli"}));
}

TEST_P(CardholderTest, TheVersionGrowsWithEveryChangeFromAnyConnection) {
  EXPECT_EQ(store_->CardholdersVersion(), 0);
  const std::unique_ptr<Store> other = Open();
  other->ChangeCardholders({{Holder(1, "Ann")}, {}, false}, "cli", kT1);
  const int64_t first = store_->CardholdersVersion();
  EXPECT_GT(first, 0);
  other->ChangeCardholders({{Holder(1, "Ann")}, {}, false}, "cli", kT2);  // as it was
  EXPECT_EQ(store_->CardholdersVersion(), first);
  other->ChangeCardholders({{}, {1}, false}, "cli", kT2);
  EXPECT_GT(store_->CardholdersVersion(), first);
}

PendingCard Pending(const std::string& terminal, uint32_t card, CardChange change, UtcTime since,
                    std::string name = "Ann") {
  return {terminal, card, change, "", std::to_string(card), std::move(name), since, {}, ""};
}

PendingCard Tried(PendingCard change, UtcTime tried, std::string error) {
  change.tried = tried;
  change.error = std::move(error);
  return change;
}

TEST_P(CardholderTest, APendingChangeKeepsItsHistoryUntilItIsDone) {
  using enum CardChange;
  const std::vector<PendingCard> other = {Pending("gate-2", 1, kAdd, kT2),
                                          Pending("gate-2", 7, kAdd, kT1)};
  store_->SetPendingCards("gate-2", other);
  store_->SetPendingCards(
      "gate-1", std::vector{Pending("gate-1", 1, kAdd, kT1), Pending("gate-1", 2, kRewrite, kT1),
                            Pending("gate-1", 3, kRemove, kT1)});
  store_->FinishCardChanges(std::vector<CardOutcome>{{"gate-1", 1, kAdd, kT2, "full"},
                                                     {"gate-1", 2, kRewrite, kT2, "timeout"}});
  // Worked out again: the same change with a new name keeps its history, a
  // change that differs starts afresh, a change no longer needed goes.
  store_->SetPendingCards("gate-1", std::vector{Pending("gate-1", 4, kAdd, kT3),
                                                Pending("gate-1", 1, kAdd, kT3, "Anne"),
                                                Pending("gate-1", 2, kRemove, kT3)});
  EXPECT_EQ(store_->PendingCards("gate-1", std::nullopt),
            (std::vector{Tried(Pending("gate-1", 1, kAdd, kT1, "Anne"), kT2, "full"),
                         Pending("gate-1", 2, kRemove, kT3), Pending("gate-1", 4, kAdd, kT3)}));

  // A done outcome ends only the change it carried out.
  store_->FinishCardChanges(std::vector<CardOutcome>{{"gate-1", 1, kAdd, kT3, ""},
                                                     {"gate-1", 2, kRewrite, kT3, ""},
                                                     {"gate-1", 4, kAdd, kT3, "no room"}});
  EXPECT_EQ(store_->PendingCards("gate-1", std::nullopt),
            (std::vector{Pending("gate-1", 2, kRemove, kT3),
                         Tried(Pending("gate-1", 4, kAdd, kT3), kT3, "no room")}));
  EXPECT_EQ(store_->CardOutcomes("", 1), (std::vector<CardOutcome>{{"gate-1", 1, kAdd, kT3, ""}}));
  EXPECT_EQ(store_->CardOutcomes("gate-1", std::nullopt).size(), 3u);
  // The history keeps the failure and the success of card 1; the same
  // failure again is not repeated, a different one is.
  store_->FinishCardChanges(std::vector<CardOutcome>{{"gate-1", 4, kAdd, kT3, "no room"}});
  store_->FinishCardChanges(std::vector<CardOutcome>{{"gate-1", 4, kAdd, kT3, "no reply"}});
  EXPECT_EQ(store_->CardHistory(1, 10), (std::vector<CardOutcome>{{"gate-1", 1, kAdd, kT3, ""},
                                                                  {"gate-1", 1, kAdd, kT2, "full"}}));
  EXPECT_EQ(store_->CardHistory(4, 10), (std::vector<CardOutcome>{{"gate-1", 4, kAdd, kT3, "no reply"},
                                                                  {"gate-1", 4, kAdd, kT3, "no room"}}));
  EXPECT_EQ(store_->CardHistory(1, 1).size(), 1u);
  EXPECT_EQ(store_->PendingCards("gate-2", std::nullopt), other);
  EXPECT_EQ(store_->PendingCards("", 1), std::vector{other[0]});  // gate-1 has done it
  const auto counts = [&] {
    std::vector<std::string> texts;
    for (const PendingCount& c : store_->PendingCardCounts()) {
      texts.push_back(c.terminal + " " + CardChangeName(c.change) + " " + std::to_string(c.count) +
                      (c.oldest == kT1 ? " T1" : " later"));
    }
    return texts;
  };
  EXPECT_EQ(counts(), (std::vector<std::string>{"gate-1 add 1 later", "gate-1 remove 1 later",
                                                "gate-2 add 2 T1"}));
}

// "card 1 changed T2 tried gate-1;old lists gate-1@T3:2/Ann, gate-2@T1:": each
// list with the position and name of each of the card's entries.
std::string TraceText(const CardTrace& trace) {
  const auto time = [](const std::optional<UtcTime>& t) {
    return !t ? "-" : *t == kT1 ? "T1" : *t == kT2 ? "T2" : *t == kT3 ? "T3" : "?";
  };
  std::string text = "card " + std::to_string(trace.card) + " changed " + time(trace.changed) +
                     " tried " + WhereText(trace.tried_on) + " lists";
  for (const CardTrace::Listing& list : trace.lists) {
    text += " " + list.terminal + "@" + time(list.collected) + ":";
    for (const CardEntry& e : list.entries) text += std::to_string(e.position) + "/" + e.name + ",";
  }
  return text;
}

TEST_P(CardholderTest, ACardsTraceTellsWhereItHasBeen) {
  store_->ChangeCardholders({{Holder(1, "Ann")}, {}, false}, "cli", kT1);
  store_->ChangeCardholders({{}, {1}, false}, "cli", kT2);
  store_->FinishCardChanges(std::vector<CardOutcome>{{"gate-1", 1, CardChange::kAdd, kT1, ""},
                                                     {"old", 1, CardChange::kRemove, kT2, "lost"}});
  for (const char* terminal : {"gate-1", "gate-2", "gate-3"}) {  // gate-3: never collected
    store_->SaveTerminal({terminal, "tcp://127.0.0.1:1001", 1, "UTC"});
  }
  store_->ReplaceCards(
      "gate-1",
      std::vector<CardEntry>{{0, 5, "5", "Cy", {}}, {1, 1, "1", "A", {}}, {2, 1, "1", "Ann", {}}},
      kT3);
  store_->ReplaceCards("gate-2", std::vector<CardEntry>{}, kT1);
  std::vector<std::string> texts;
  for (const CardTrace& trace : store_->CardTraces(std::vector<uint32_t>{8, 1})) {
    texts.push_back(TraceText(trace));
  }
  EXPECT_EQ(texts,
            (std::vector<std::string>{
                "card 8 changed - tried  lists gate-1@T3: gate-2@T1:",
                "card 1 changed T2 tried gate-1;old lists gate-1@T3:1/A,2/Ann, gate-2@T1:"}));
}

}  // namespace
}  // namespace tallygate::collector

namespace tallygate::collector {
namespace {

// A source's last read replaces the one before, its lists whole (a name
// from the HR system that is no UTF-8 kept, made valid), and its last
// success stays through reads that failed or were held.
TEST_P(CardholderTest, EachSourceKeepsItsLastReadAndLastSuccess) {
  SourceRead made;
  made.source = "erp";
  made.at = kT1;
  made.employees = 40;
  made.added = 3;
  made.changed = 2;
  made.revoked = 1;
  made.skipped = {"HR-EMP-7 (Ann): no attendance_device_id"};
  store_->KeepSourceRead(made);
  SourceRead held = made;
  held.at = kT2;
  held.outcome = SourceRead::Outcome::kHeld;
  held.held = {{7, "00000007", "张三"}, {8, "", "Bad \xFF name"}};
  held.revoke_limit = 2;
  store_->KeepSourceRead(held);
  SourceRead other;
  other.source = "odoo";
  other.at = kT3;
  other.outcome = SourceRead::Outcome::kFailed;
  other.problems = {"counting the employees: 503"};
  store_->KeepSourceRead(other);

  const std::vector<SourceRead> reads = Open()->SourceReads();
  ASSERT_EQ(reads.size(), 2u);
  SourceRead expected = held;
  expected.held[1].name = "Bad \xEF\xBF\xBD name";
  expected.last_success = kT1;
  EXPECT_EQ(reads[0], expected);
  other.last_success = std::nullopt;
  EXPECT_EQ(reads[1], other);
}

}  // namespace
}  // namespace tallygate::collector
