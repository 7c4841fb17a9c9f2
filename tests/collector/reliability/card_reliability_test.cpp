// The wanted card lists carried out whatever happens: replies dropped,
// terminals stopped and started again, the collector killed with SIGKILL at
// random moments, the lists changed all the while through the program and
// through the store. Throughout, no terminal holds a card that never
// belonged to it, and no revoked card is shown as taken off a terminal that
// still holds it; at the end every terminal holds exactly its wanted cards
// (staff and name as wanted) and the unknown cards it keeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

#include "collector/poll/fleet.h"
#include "sim/client/sim_process.h"
#include "tests/collector/each_store.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/terminal_cards.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::Collector;
using testing::PostgresServer;
using testing::SimCards;
using testing::SimProcess;
using testing::TempDir;
using testing::WaitUntil;
using namespace std::chrono_literals;

constexpr int kTerminals = 10;
constexpr int kRemovesUnknown = 7;  // unknown_cards = "remove"
const std::set<int> kNoUnknownCards = {2, 5, 9};

std::string Name(int k) { return "t" + std::to_string(k); }
std::string GroupOf(int k) { return k <= 4 ? "gates" : k <= 7 ? "canteen" : "office"; }

using List = testing::TerminalCards;

List ReadList(int port) {
  return testing::CardsOnTerminal(TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(port)});
}

// `tallygate-collector --config CONFIG cards ARGS...`; its exit status.
int CardsCommand(const std::string& config, const std::vector<std::string>& args,
                 const std::string& log) {
  std::vector<std::string> words = {TALLYGATE_COLLECTOR_PATH, "--config", config, "cards"};
  words.insert(words.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

UtcTime NowUtc() {
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::string Staff8(const std::string& staff) { return std::string(8 - staff.size(), '0') + staff; }

class CardReliabilityTest : public testing::EachStoreTest {
 protected:
  CardReliabilityTest() : EachStoreTest("cards.db") {}
};

// 10 terminals in three groups, 5 % of replies dropped, 36 random changes of
// the lists, terminals stopped for a few changes, the collector killed three
// times; the poll interval (10 s) is long next to the changes, which the
// wake-ups carry.
TEST_P(CardReliabilityTest, ListsEndExactlyAsWantedAndNothingForeignOrFalselyDone) {
  SimProcess fleet({"--tcp-terminals", std::to_string(kTerminals), "--tcp-port", "0", "--records",
                    "20", "--cards", "3", "--seed", "41", "--quiet"});
  for (int k : kNoUnknownCards) {
    ASSERT_EQ(fleet.Control("set-cards 0 #" + std::to_string(k)).rfind("ok", 0), 0u);
  }
  const auto port = [&](int k) { return fleet.tcp_ports()[static_cast<size_t>(k - 1)]; };
  List unknown[kTerminals + 1];  // as seeded: nobody asked for them
  std::set<uint32_t> ever[kTerminals + 1];  // every card that ever belonged on the terminal
  for (int k = 1; k <= kTerminals; ++k) {
    unknown[k] = ReadList(port(k));
    ASSERT_EQ(unknown[k].size(), kNoUnknownCards.count(k) ? 0u : 3u);
    for (const auto& [card, text] : unknown[k]) ever[k].insert(card);
  }
  ASSERT_EQ(fleet.Control("fault any:5%:drop").rfind("ok", 0), 0u);

  const std::string config = (dir_ / "collector.toml").string();
  {
    std::ofstream text(config);
    text << "database = \"" << database_ << "\"\npoll_interval = 10\ntcp_parallel = 4\n";
    for (int k = 1; k <= kTerminals; ++k) {
      text << "[[terminal]]\nname = \"" << Name(k) << "\"\ntcp = \"127.0.0.1:" << port(k)
           << "\"\ntime_zone = \"Asia/Shanghai\"\ngroups = [\"" << GroupOf(k) << "\"]\n";
      if (k == kRemovesUnknown) text << "unknown_cards = \"remove\"\n";
    }
  }
  const std::string cli_log = (dir_ / "cards.log").string();

  // The lists as wanted: live holders and revoked cards.
  std::map<uint32_t, Cardholder> live;
  std::set<uint32_t> revoked;
  const auto covers = [](const Cardholder& holder, int k) {
    for (const std::string& where : holder.where) {
      if (where == kEveryTerminal || where == Name(k) || where == GroupOf(k)) return true;
    }
    return false;
  };
  std::mt19937 random(GetParam() == testing::StoreKind::kSqlite ? 7001 : 7002);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  uint32_t next_card = 0xC00001;
  const auto new_holder = [&](uint32_t card) {
    Cardholder holder;
    holder.card = card;
    holder.staff = std::to_string(1000 + pick(9000));
    holder.name = (pick(3) == 0 ? "李四" : "Ann") + std::to_string(pick(100));
    const std::vector<std::vector<std::string>> places = {
        {"gates"}, {"canteen"}, {"office"}, {Name(1 + pick(kTerminals))}, {"*"},
        {"canteen", Name(1 + pick(kTerminals))}};
    holder.where = places[static_cast<size_t>(pick(static_cast<int>(places.size())))];
    return holder;
  };
  // Noted as belonging before it is written: the collector may act at once.
  const auto note = [&](const Cardholder& holder) {
    for (int k = 1; k <= kTerminals; ++k) {
      if (covers(holder, k)) ever[k].insert(holder.card);
    }
  };

  // The initial import.
  {
    std::ofstream csv(dir_ / "holders.csv");
    csv << "card,staff,name,terminals\n";
    for (int i = 0; i < 5; ++i) {
      const Cardholder holder = new_holder(next_card++);
      note(holder);
      live[holder.card] = holder;
      csv << holder.card << "," << holder.staff << "," << holder.name << "," << WhereText(holder.where)
          << "\n";
    }
  }
  ASSERT_EQ(CardsCommand(config, {"import", (dir_ / "holders.csv").string()}, cli_log), 0);
  const std::unique_ptr<Store> store = OpenStore(database_);

  // Through the program or through the store, at random.
  const auto put = [&](const Cardholder& holder) {
    note(holder);
    live[holder.card] = holder;
    if (pick(2) == 0) {
      ASSERT_FALSE(store->ChangeCardholders({{holder}, {}, false}, "test", NowUtc()).empty());
    } else {
      ASSERT_EQ(CardsCommand(config,
                             {"add", std::to_string(holder.card), "--staff", holder.staff, "--name",
                              holder.name, "--terminals", WhereText(holder.where)},
                             cli_log),
                0);
    }
  };
  const auto revoke = [&](uint32_t card) {
    live.erase(card);
    revoked.insert(card);
    if (pick(2) == 0) {
      ASSERT_FALSE(store->ChangeCardholders({{}, {card}, false}, "test", NowUtc()).empty());
    } else {
      ASSERT_EQ(CardsCommand(config, {"remove", std::to_string(card)}, cli_log), 0);
    }
  };

  // Every terminal as the simulator holds it now, against the store.
  int samples = 0, cut_short = 0;
  const auto sample = [&] {
    ++samples;
    for (int k = 1; k <= kTerminals; ++k) {
      // The store first: a revoked card taken off stays off.
      std::set<uint32_t> pending, shown_off;
      for (const PendingCard& change : store->PendingCards(Name(k), std::nullopt)) pending.insert(change.card);
      for (const CardOutcome& outcome : store->CardOutcomes(Name(k), std::nullopt)) {
        if (revoked.count(outcome.card) && outcome.change == CardChange::kRemove &&
            outcome.error.empty() && !pending.count(outcome.card)) {
          shown_off.insert(outcome.card);
        }
      }
      const std::optional<std::set<uint32_t>> held = SimCards(fleet, k);
      if (!held) {
        ++cut_short;
        continue;
      }
      for (uint32_t card : *held) {
        EXPECT_TRUE(ever[k].count(card)) << Name(k) << " holds card " << card << ", never its";
        EXPECT_FALSE(shown_off.count(card))
            << Name(k) << " holds revoked card " << card << ", shown as taken off";
      }
    }
  };

  std::optional<Collector> collector;
  int runs = 0;
  const auto start = [&] {
    // At debug every poll is logged, one with nothing new too.
    collector.emplace(config, std::vector<std::string>{"--log-level", "debug", "run"},
                      (dir_ / ("run" + std::to_string(++runs) + ".log")).string());
  };
  start();
  std::map<int, int> stopped;  // terminal, the step to start it again
  for (int step = 1; step <= 36 && !HasFatalFailure(); ++step) {
    const int what = pick(100);
    if (live.size() < 3 || (what < 35 && live.size() < 8)) {
      put(new_holder(next_card++));
    } else {
      auto chosen = live.begin();
      std::advance(chosen, pick(static_cast<int>(live.size())));
      if (what < 60) {  // re-assigned
        Cardholder moved = new_holder(chosen->first);
        moved.staff = chosen->second.staff;
        moved.name = chosen->second.name;
        put(moved);
      } else if (what < 75) {  // the same terminals, another name
        Cardholder renamed = chosen->second;
        renamed.name = "Bob" + std::to_string(pick(100));
        put(renamed);
      } else {
        revoke(chosen->first);
      }
    }
    if (step % 9 == 8 && step < 30) {  // killed amid the work of the change
      std::this_thread::sleep_for(std::chrono::milliseconds(pick(1500)));
      collector->Signal(SIGKILL);
      ASSERT_EQ(collector->WaitForExit(10s), -1) << "the collector ended before it was killed";
      start();
    }
    for (auto it = stopped.begin(); it != stopped.end();) {
      if (it->second > step) {
        ++it;
        continue;
      }
      ASSERT_EQ(fleet.Control("start #" + std::to_string(it->first)).rfind("ok", 0), 0u);
      it = stopped.erase(it);
    }
    if (stopped.size() < 2 && pick(4) == 0) {
      const int k = 1 + pick(kTerminals);
      if (!stopped.count(k)) {
        ASSERT_EQ(fleet.Control("stop #" + std::to_string(k)).rfind("ok", 0), 0u);
        stopped[k] = step + 2 + pick(3);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200 + pick(1000)));
    sample();
  }
  ASSERT_FALSE(HasFatalFailure());

  // Quiet: no faults, every terminal answering. A last card for every
  // terminal wakes them all, whatever their backoff; the run that has been
  // carrying the changes carries it, with the lists it knows.
  ASSERT_EQ(fleet.Control("clear-faults").rfind("ok", 0), 0u);
  for (const auto& [k, until] : stopped) {
    ASSERT_EQ(fleet.Control("start #" + std::to_string(k)).rfind("ok", 0), 0u);
  }
  const size_t quiet = collector->Log().size();
  Cardholder last = new_holder(next_card++);
  last.where = {kEveryTerminal};
  put(last);
  const auto settled = [&] {
    const std::string log = collector->Log();
    for (int k = 1; k <= kTerminals; ++k) {
      if (log.find(" " + Name(k) + ": complete", quiet) == std::string::npos) return false;
    }
    return store->PendingCards("", std::nullopt).empty();
  };
  // Twice, 3 s apart: a change planned meanwhile would show as pending.
  bool done = WaitUntil(settled, 90s).has_value();
  std::this_thread::sleep_for(3s);
  done = done && settled();
  sample();
  collector->Signal(SIGTERM);
  EXPECT_EQ(collector->WaitForExit(15s), 0);
  for (const PendingCard& change : store->PendingCards("", std::nullopt)) {
    ADD_FAILURE() << change.terminal << ": card " << change.card << " still pending ("
                  << CardChangeName(change.change) << "): " << change.error;
  }
  ASSERT_TRUE(done) << "changes still pending after 90 s\n" << collector->Log();

  size_t wanted_total = 0;
  for (int k = 1; k <= kTerminals; ++k) {
    List expected = k == kRemovesUnknown ? List{} : unknown[k];
    for (const auto& [card, holder] : live) {
      if (covers(holder, k)) expected[card] = Staff8(holder.staff) + " " + holder.name;
    }
    wanted_total += expected.size();
    EXPECT_EQ(ReadList(port(k)), expected) << Name(k);
  }
  std::printf("%zu cards on %d terminals as wanted; %zu live, %zu revoked; %d samples (%d lists "
              "cut short), %d collector runs\n",
              wanted_total, kTerminals, live.size(), revoked.size(), samples, cut_short, runs);
}

TALLYGATE_ON_EACH_STORE(CardReliabilityTest);

}  // namespace
}  // namespace tallygate::collector
