// The store's side of delivery on both stores: punches read on from an id
// with their holder, what a sink has left, and a sink's state kept, claimed
// and resumed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collector/store/store.h"
#include "tests/collector/store/store_fixture.h"
#include "tests/collector/store/store_testing.h"

namespace tallygate::collector {
namespace {

class SinkStoreTest : public StoreTest {};
INSTANTIATE_TEST_SUITE_P(Stores, SinkStoreTest, StoreKinds(), StoreKindName);

TEST_P(SinkStoreTest, PunchesAreReadOnFromAnIdWithWhatIsLeft) {
  EXPECT_EQ(store_->LastPunchId(), 0);
  EXPECT_EQ(store_->Backlog(0).punches, 0);
  EXPECT_FALSE(store_->Backlog(0).oldest);
  std::vector<Punch> page = {MakePunch(0, 5, At(2024, 3, 1, 8)), MakePunch(1, 6, std::nullopt),
                             MakePunch(2, 5, At(2024, 3, 1, 9))};
  store_->StorePage("gate-1", collection_, page, MarkAfter(page.back()));
  store_->ChangeCardholders({{MakeHolder(5, "Ann", {"gate-1"})}, {}, false}, "test", UtcTime{});

  const int64_t last = store_->LastPunchId();
  const std::vector<PunchRow> all = store_->PunchesAfter(0, 10);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.back().id, last);
  EXPECT_EQ(all[0].name, "Ann");
  EXPECT_EQ(all[1].punch.card, 6u);
  const std::vector<PunchRow> rest = store_->PunchesAfter(all[0].id, 1);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].id, all[1].id);

  // Per terminal, the oldest punch after an id: its time, or its collection's.
  EXPECT_EQ(store_->OldestAfter(all[0].id),
            (std::vector<std::pair<std::string, UtcTime>>{
                {"gate-1", std::min(*page[2].utc, CollectionOf("gate-1").started)}}));
  EXPECT_TRUE(store_->OldestAfter(last).empty());

  const SinkBacklog backlog = store_->Backlog(all[0].id);
  EXPECT_EQ(backlog.punches, 2);
  // The undated punch: when it was stored (its collection's start).
  EXPECT_EQ(backlog.oldest, CollectionOf("gate-1").started);
  EXPECT_EQ(store_->Backlog(all[1].id).oldest, page[2].utc);
  EXPECT_EQ(store_->Backlog(last).punches, 0);
}

TEST_P(SinkStoreTest, ASinkIsKeptClaimedAndResumed) {
  EXPECT_FALSE(store_->LoadSink("payroll"));
  EXPECT_FALSE(store_->ResumeSink("payroll"));
  ASSERT_TRUE(store_->ClaimSink("payroll"));
  ASSERT_TRUE(store_->ClaimSink("archive"));
  SinkState state{"payroll", 7,         9, "d-1", "", "HTTP 400: bad field", UtcTime{},
                  std::nullopt, 3, "HTTP 400: bad field", At(2024, 3, 1, 9)};
  store_->SaveSink(state);
  state.batch_file = "punches-2024-03-01.csv";
  store_->SaveSink(state);
  store_->SaveSink({"archive", 3, 0, "", "", "", std::nullopt, UtcTime{}, 0, "", std::nullopt});
  EXPECT_EQ(store_->LoadSink("payroll"), state);

  auto other = Open();
  EXPECT_TRUE(store_->ClaimSink("payroll"));
  EXPECT_NE(other->ClaimSink("payroll"), postgres());  // SQLite: one collector per file
  if (postgres()) {  // saved only by the claim's holder
    SinkState behind = state;
    behind.position = 2;
    EXPECT_THROW(other->SaveSink(behind), StoreError);
    EXPECT_EQ(store_->LoadSink("payroll"), state);
  }
  EXPECT_TRUE(other->ResumeSink("payroll"));
  EXPECT_FALSE(other->ResumeSink("payroll"));  // not stopped any more
  const std::vector<SinkState> sinks = store_->Sinks();
  ASSERT_EQ(sinks.size(), 2u);
  EXPECT_EQ(sinks[0].name, "archive");
  EXPECT_EQ(sinks[1].stopped, "");
  EXPECT_FALSE(sinks[1].stopped_at);
  EXPECT_EQ(sinks[1].batch_last, 9);
}

TEST_P(SinkStoreTest, RefusedPunchesAreKeptUntilPlacedAndAskedAgainByCard) {
  std::vector<Punch> page = {MakePunch(0, 5), MakePunch(1, 6), MakePunch(2, 5)};
  store_->StorePage("gate-1", collection_, page, MarkAfter(page.back()));
  const std::vector<PunchRow> all = store_->PunchesAfter(0, 10);
  const UtcTime at{std::chrono::seconds{1'700'000'000}};
  store_->KeepRefusals("erp", {{all[0].id, "no employee 5", at, false},
                               {all[1].id, "no employee 6", at, false},
                               {all[2].id, "no employee 5", at, false}});
  store_->KeepRefusals("odoo", {{all[1].id, "overlap", at, false}});
  EXPECT_EQ(store_->RefusalCounts(),
            (std::vector<std::pair<std::string, int64_t>>{{"erp", 3}, {"odoo", 1}}));
  EXPECT_TRUE(store_->Refusals("erp", true, 10).empty()) << "none asked again yet";

  EXPECT_EQ(store_->AskAgain("erp", 5), 2);
  const auto again = store_->Refusals("erp", true, 10);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].first.id, all[0].id);
  EXPECT_EQ(again[0].first.punch.card, 5u);
  EXPECT_EQ(again[0].second, (RefusedPunch{all[0].id, "no employee 5", at, true}));
  EXPECT_EQ(again[1].first.id, all[2].id);

  // One placed, one refused again (no longer asked), one never asked.
  store_->ForgetRefusals("erp", {all[0].id});
  store_->KeepRefusals("erp", {{all[2].id, "left", at + std::chrono::seconds(5), false}});
  const auto left = store_->Refusals("erp", false, 10);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].second, (RefusedPunch{all[1].id, "no employee 6", at, false}));
  EXPECT_EQ(left[1].second, (RefusedPunch{all[2].id, "left", at + std::chrono::seconds(5), false}));
  EXPECT_EQ(store_->AskAgain("erp", std::nullopt), 2);
  EXPECT_EQ(store_->Refusals("odoo", true, 10).size(), 0u) << "another sink's are its own";
}

}  // namespace
}  // namespace tallygate::collector
