// The follower of stored punches, on a fake of the store's reader role:
// every punch after the position handed on once, in id order, and news of a
// commit that comes between a read and the wait after it not lost.
#include "collector/feed/punch_follower.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace tallygate::collector {
namespace {

using Clock = std::chrono::steady_clock;

// Punches with the ids a test gives, in id order; only what the follower
// reads is there.
class FakeReader final : public PunchReader {
 public:
  std::vector<int64_t> ids;
  int reads = 0;

  std::vector<PunchRow> PunchesAfter(int64_t after, int limit) override {
    ++reads;
    std::vector<PunchRow> rows;
    for (int64_t id : ids) {
      if (id > after && static_cast<int>(rows.size()) < limit) rows.push_back(Row(id));
    }
    return rows;
  }
  int64_t LastPunchId() override { return ids.empty() ? 0 : ids.back(); }

  std::vector<TerminalState> States() override { throw Unused(); }
  std::vector<Collection> Collections(const std::string&, int) override { throw Unused(); }
  PunchPage SearchPunches(const PunchFilter&, const std::optional<PunchCursor>&, int) override {
    throw Unused();
  }
  void ForEachPunch(const PunchFilter&, const std::function<void(const PunchRow&)>&) override {
    throw Unused();
  }
  void ForEachHolderPunch(const PunchFilter&,
                          const std::function<void(const PunchRow&)>&) override {
    throw Unused();
  }
  std::vector<HourCount> PunchesPerHour(const std::string&, LocalTime, LocalTime) override {
    throw Unused();
  }
  SinkBacklog Backlog(int64_t) override { throw Unused(); }
  std::vector<std::pair<std::string, UtcTime>> OldestAfter(int64_t) override { throw Unused(); }

 private:
  static PunchRow Row(int64_t id) {
    PunchRow row;
    row.id = id;
    row.terminal = "gate-1";
    return row;
  }
  static std::logic_error Unused() { return std::logic_error("not a follower's read"); }
};

std::vector<int64_t> IdsOf(const std::vector<PunchRow>& rows) {
  std::vector<int64_t> ids;
  for (const PunchRow& row : rows) ids.push_back(row.id);
  return ids;
}

TEST(PunchFollowerTest, HandsOnEachPunchAfterItsPositionOnceInIdOrder) {
  PunchSignal stored;
  FakeReader reader;
  reader.ids = {3, 4, 7, 9, 12};
  PunchFollower follower(stored, 4);
  EXPECT_EQ(IdsOf(follower.Next(reader, 2)), (std::vector<int64_t>{7, 9}));
  EXPECT_EQ(follower.position(), 9);
  EXPECT_EQ(IdsOf(follower.Next(reader, 2)), (std::vector<int64_t>{12}));
  EXPECT_TRUE(follower.Next(reader, 2).empty());
  EXPECT_EQ(follower.position(), 12) << "an empty read keeps the position";
  reader.ids.push_back(13);
  EXPECT_EQ(IdsOf(follower.Next(reader, 2)), (std::vector<int64_t>{13}));
  follower.MoveTo(3);
  EXPECT_EQ(IdsOf(follower.Next(reader, 10)), (std::vector<int64_t>{4, 7, 9, 12, 13}));
}

TEST(PunchFollowerTest, NewsBetweenAReadAndTheWaitIsNotLost) {
  PunchSignal stored;
  FakeReader reader;
  PunchFollower follower(stored, 0);
  for (const bool from_another_thread : {false, true}) {
    ASSERT_TRUE(follower.Next(reader, 10).empty());
    std::jthread committer;
    if (from_another_thread) {
      committer = std::jthread([&] { stored.Stored(); });
    } else {
      stored.Stored();  // a commit after the read, before the wait
    }
    const auto start = Clock::now();
    follower.Wait(start + std::chrono::seconds(60));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30))
        << "the wait missed the news" << (from_another_thread ? " of another thread" : "");
  }
}

TEST(PunchFollowerTest, ForEachPunchUpToReadsPagesUpToTheLastIdOnly) {
  FakeReader reader;
  for (int64_t id = 1; id <= 25; ++id) reader.ids.push_back(id);
  struct Case {
    int64_t after, last;
    int page;
    std::vector<int64_t> ids;
  };
  const Case cases[] = {
      {0, 5, 2, {1, 2, 3, 4, 5}},
      {20, 30, 3, {21, 22, 23, 24, 25}},
      {7, 7, 3, {}},
      {9, 12, 100, {10, 11, 12}},
  };
  for (const Case& c : cases) {
    std::vector<int64_t> got;
    ForEachPunchUpTo(reader, c.after, c.last, c.page, [&](const PunchRow& row) {
      got.push_back(row.id);
    });
    EXPECT_EQ(got, c.ids) << "after " << c.after << " up to " << c.last;
  }
}

}  // namespace
}  // namespace tallygate::collector
