// One store shared by the poller's threads: their calls take turns on the
// store's one connection, nothing is lost or stored twice, and every commit
// that added punches is told after it is committed, so that whoever is told
// finds the punches on a connection of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/collector/store/store_fixture.h"

namespace tallygate::collector {
namespace {

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, StoreKinds(), StoreKindName);

// The terminal a thread stores pages of, and how many of its punches it has
// committed: what the store's news must let another connection see.
thread_local std::string this_terminal;
thread_local int64_t this_committed = 0;

TEST_P(StoreTest, ThreadsSharingAStoreLoseNothingAndCommitsAreToldAfterwards) {
  constexpr int kThreads = 4;
  constexpr int kPages = 20;
  constexpr int kEach = 5;
  const std::unique_ptr<Store> reader = Open();  // another connection
  std::atomic<int> told = 0;
  std::atomic<int> unseen = 0;  // told before the punches could be read
  StoreEvents events;
  events.stored = [&] {
    ++told;
    this_committed += kEach;
    if (CountPunches(*reader, TerminalFilter(this_terminal)) < this_committed) ++unseen;
  };
  store_->Tell(std::move(events));
  std::vector<std::string> names;
  for (int t = 0; t < kThreads; ++t) {
    names.push_back("shared-" + std::to_string(t));
    store_->SaveTerminal({names.back(), "tcp://192.0.2.1:1001", 1, "UTC"});
    ASSERT_TRUE(store_->ClaimTerminal(names.back()));
  }
  std::vector<std::jthread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      this_terminal = names[t];
      const int64_t id = store_->BeginCollection(CollectionOf(names[t]));
      for (int p = 0; p < kPages; ++p) {
        const int first = 1 + p * kEach;
        std::vector<Punch> page = Page(first, kEach);
        store_->StorePage(names[t], id, page, MarkAfter(page.back()));
        // The same page again adds nothing, and is not told.
        store_->StorePage(names[t], id, page, MarkAfter(page.back()));
      }
    });
  }
  threads.clear();
  for (const std::string& name : names) {
    EXPECT_EQ(CountPunches(*reader, TerminalFilter(name)), kPages * kEach) << name;
  }
  EXPECT_EQ(told.load(), kThreads * kPages);
  EXPECT_EQ(unseen.load(), 0);
}

}  // namespace
}  // namespace tallygate::collector
