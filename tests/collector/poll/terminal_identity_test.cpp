// A terminal is known by its memory, not by its address: addresses swapped,
// rotated, one terminal under two names, a terminal moved, replaced, or
// cleared and refilled, against tallygate-sim over TCP and on a pty bus and a
// real SQLite file. Whatever the configuration says, each punch ends up
// stored once, under the terminal it came from, and no card goes where its
// holder does not belong.
#include <gtest/gtest.h>

#include <map>

#include "collector/store/store.h"
#include "collector/poll/fleet.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/held_records.h"
#include "tests/support/postgres_server.h"
#include "tests/support/temp_dir.h"

namespace tallygate::collector {
namespace {

using testing::SimProcess;
using namespace std::chrono_literals;

enum class Transport { kTcp, kBus };

constexpr uint32_t kGateOneCard = 0x00C0FFEE;

class TerminalIdentityTest : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
    // Three terminals of 20 records, each with a memory of its own.
    if (GetParam() == Transport::kTcp) {
      sim_.emplace(std::vector<std::string>{"--tcp-terminals", "3", "--tcp-port", "0",
                                            "--records", "20", "--quiet"});
    } else {
      sim_.emplace(std::vector<std::string>{"--pty", "--address", "1", "--address", "2",
                                            "--address", "3", "--records", "20", "--quiet"});
    }
    store_ = OpenStore("sqlite:" + (dir_ / "punches.db").string());
  }

  std::string Target(int slot) const {
    return GetParam() == Transport::kTcp ? "#" + std::to_string(slot) : std::to_string(slot);
  }
  Endpoint EndpointOf(int slot) const {
    if (GetParam() == Transport::kTcp) {
      return TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(sim_->tcp_ports()[slot - 1])};
    }
    return SerialEndpoint{sim_->pty_path()};
  }
  uint8_t AddressOf(int slot) const {
    return GetParam() == Transport::kTcp ? 1 : static_cast<uint8_t>(slot);
  }

  // Polls once with `terminals` (name, simulated terminal) configured, as a
  // collector started afresh with that configuration.
  std::map<std::string, Collection> Once(const std::vector<std::pair<std::string, int>>& terminals,
                                         bool card_list = false) {
    return OnceOn(*store_, terminals, card_list);
  }
  std::map<std::string, Collection> OnceOn(Store& store,
                                           const std::vector<std::pair<std::string, int>>& terminals,
                                           bool card_list = false) {
    CollectorConfig config;
    config.tcp_parallel = 1;  // one terminal under two names: one at a time
    for (const auto& [name, slot] : terminals) {
      TerminalConfig terminal;
      terminal.name = name;
      terminal.endpoint = EndpointOf(slot);
      terminal.address = AddressOf(slot);
      terminal.time_zone = "Asia/Shanghai";
      terminal.unit_wait = 500ms;
      terminal.card_list = card_list;
      config.terminals.push_back(terminal);
    }
    Fleet fleet(config, store);
    const std::vector<Collection> collections = fleet.PollOnce({});
    last_status_ = OnceStatus(collections);
    std::map<std::string, Collection> by_name;
    for (const Collection& collection : collections) by_name[collection.terminal] = collection;
    return by_name;
  }

  void Sim(const std::string& command, int slot) {
    const std::string answer = sim_->Control(command + " " + Target(slot));
    ASSERT_EQ(answer.rfind("ok", 0), 0u) << answer;
  }

  // Each terminal's punches are exactly what the simulated terminal named
  // beside it held (or `expected`), each stored once; no other is stored.
  void ExpectStored(const std::map<std::string, std::set<PunchBytes>>& expected) {
    ExpectStoredIn(*store_, expected);
  }
  void ExpectStoredIn(Store& store, const std::map<std::string, std::set<PunchBytes>>& expected) {
    std::map<std::string, std::map<PunchBytes, int>> stored;
    store.ForEachPunch({}, [&](const PunchRow& row) { ++stored[row.terminal][row.punch.bytes]; });
    for (const auto& [name, held] : expected) {
      std::set<PunchBytes> mine;
      for (const auto& [bytes, times] : stored[name]) {
        EXPECT_EQ(times, 1) << name << " has a punch twice";
        mine.insert(bytes);
      }
      EXPECT_EQ(mine, held) << name << ": " << mine.size() << " stored, " << held.size()
                            << " expected";
      stored.erase(name);
    }
    for (const auto& [name, punches] : stored) {
      EXPECT_TRUE(punches.empty()) << name << " should have no punches";
    }
  }
  std::set<PunchBytes> Held(int slot) { return testing::EverHeld(*sim_, Target(slot)); }

  bool HoldsCard(int slot, uint32_t card) {
    Result<std::unique_ptr<Line>> line = Line::Open(EndpointOf(slot));
    EXPECT_TRUE(line) << line.error().message();
    if (!line) return false;
    bool held = false;
    const Result<FetchReport> fetched = (*line)->FetchCards(
        AddressOf(slot), 0, [&](const tallygate::CardEntry& entry) { held |= entry.card == card; });
    EXPECT_TRUE(fetched && fetched->complete());
    return held;
  }

  testing::TempDir dir_;
  std::optional<SimProcess> sim_;
  std::unique_ptr<Store> store_;
  int last_status_ = -1;
};

void ExpectOutcomes(const std::map<std::string, Collection>& got,
                    const std::map<std::string, Outcome>& want) {
  for (const auto& [name, outcome] : want) {
    ASSERT_TRUE(got.contains(name)) << name;
    EXPECT_EQ(OutcomeName(got.at(name).outcome), std::string(OutcomeName(outcome)))
        << name << ": " << got.at(name).error;
  }
}

// Addresses swapped (DHCP, a re-cabled port): both terminals are held,
// nothing is stored under the wrong name and gate-1's card is not written
// onto gate-2; swapped back, each goes on from its own mark.
TEST_P(TerminalIdentityTest, SwappedAddressesAreHeldUntilEachAnswersWithItsOwnMemory) {
  store_->ChangeCardholders({{Cardholder{kGateOneCard, "1", "Ann", {}, {}, {"g1"}, {}}}, {}, false},
                            "test", std::chrono::floor<std::chrono::seconds>(
                                        std::chrono::system_clock::now()));
  ExpectOutcomes(Once({{"g1", 1}, {"g2", 2}}, true),
                 {{"g1", Outcome::kComplete}, {"g2", Outcome::kComplete}});
  ASSERT_TRUE(HoldsCard(1, kGateOneCard));

  const auto swapped = Once({{"g1", 2}, {"g2", 1}}, true);
  ExpectOutcomes(swapped, {{"g1", Outcome::kWrongTerminal}, {"g2", Outcome::kWrongTerminal}});
  EXPECT_EQ(swapped.at("g1").error, "g1 answers with the memory of g2 (address changed?)");
  EXPECT_EQ(last_status_, 4);
  EXPECT_FALSE(HoldsCard(2, kGateOneCard)) << "gate-1's card was written onto gate-2";

  Sim("add-records 2", 1);
  Sim("add-records 3", 2);
  ExpectOutcomes(Once({{"g1", 1}, {"g2", 2}}, true),
                 {{"g1", Outcome::kComplete}, {"g2", Outcome::kComplete}});
  ExpectStored({{"g1", Held(1)}, {"g2", Held(2)}});
}

// Three addresses rotated: every one is held.
TEST_P(TerminalIdentityTest, RotatedAddressesAreEachHeld) {
  Once({{"g1", 1}, {"g2", 2}, {"g3", 3}});
  ExpectOutcomes(Once({{"g1", 2}, {"g2", 3}, {"g3", 1}}),
                 {{"g1", Outcome::kWrongTerminal},
                  {"g2", Outcome::kWrongTerminal},
                  {"g3", Outcome::kWrongTerminal}});
  ExpectStored({{"g1", Held(1)}, {"g2", Held(2)}, {"g3", Held(3)}});
}

// One terminal under a second name (a second entry reaching it): the second
// name, with nothing stored yet, is held at its first poll.
TEST_P(TerminalIdentityTest, ASecondNameForOneTerminalIsHeld) {
  Once({{"g1", 1}});
  Sim("add-records 1", 1);
  const auto polled = Once({{"g1", 1}, {"g1-again", 1}});
  ExpectOutcomes(polled, {{"g1", Outcome::kComplete}, {"g1-again", Outcome::kWrongTerminal}});
  ExpectStored({{"g1", Held(1)}, {"g1-again", {}}});
}

// A terminal that moved to a new address under a new name is held until
// carried over; then it continues from the old mark with the old history.
TEST_P(TerminalIdentityTest, AMovedTerminalIsCarriedOverUnderItsNewName) {
  Once({{"g1", 1}, {"g2", 2}});
  ExpectOutcomes(Once({{"g9", 1}, {"g2", 2}}), {{"g9", Outcome::kWrongTerminal}});
  store_->MoveTerminal("g1", "g9");
  Sim("add-records 2", 1);
  ExpectOutcomes(Once({{"g9", 1}, {"g2", 2}}), {{"g9", Outcome::kComplete}});
  ExpectStored({{"g9", Held(1)}, {"g2", Held(2)}, {"g1", {}}});
  EXPECT_EQ(store_->LoadMark("g9").positions, 22);
}

// A terminal replaced by one that holds another's memory, accepted as its
// own: what was stored stays where it was, the new records come under it.
TEST_P(TerminalIdentityTest, AnAcceptedMemoryGoesOnFromWhereTheStoreHasIt) {
  Once({{"g1", 1}, {"g2", 2}});
  const std::set<PunchBytes> before = Held(2);
  ExpectOutcomes(Once({{"g1", 2}}), {{"g1", Outcome::kWrongTerminal}});
  store_->AcceptMemory("g1");
  Sim("add-records 2", 2);
  ExpectOutcomes(Once({{"g1", 2}}), {{"g1", Outcome::kComplete}});
  std::set<PunchBytes> taken = Held(1);
  for (const PunchBytes& bytes : Held(2)) {
    if (!before.contains(bytes)) taken.insert(bytes);
  }
  ExpectStored({{"g1", taken}, {"g2", before}});
}

// A genuine clear is collected, from position 0, and said at warning with
// the counts: a terminal replaced by an empty one, and one cleared and
// refilled past its mark.
TEST_P(TerminalIdentityTest, AGenuineClearIsCollectedAndSaidWithItsCounts) {
  struct Case {
    const char* refill;  // after the clear
    const char* says;
  };
  const Case cases[] = {
      {"add-records 0", "0 records, fewer than the 20 stored: the terminal was cleared"},
      {"add-records 25",
       "the record at position 19 is not the one stored (25 records on the terminal, 20 stored):"
       " the terminal was cleared and refilled; collecting from position 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refill);
    Once({{"g1", 1}, {"g2", 2}});
    Sim("set-records 0", 1);
    Sim(c.refill, 1);
    ::testing::internal::CaptureStderr();
    const auto polled = Once({{"g1", 1}, {"g2", 2}});
    const std::string log = ::testing::internal::GetCapturedStderr();
    ExpectOutcomes(polled, {{"g1", Outcome::kComplete}});
    EXPECT_NE(log.find(std::string("warning g1: ") + c.says), std::string::npos) << log;
    Sim("add-records 1", 1);
    ExpectOutcomes(Once({{"g1", 1}, {"g2", 2}}), {{"g1", Outcome::kComplete}});
    ExpectStored({{"g1", Held(1)}, {"g2", Held(2)}});
    Sim("set-records 20", 1);  // as it began, for the next case
    store_->ResetMark("g1");
  }
}

// Collectors sharing a PostgreSQL database recognise the terminals each
// other polls, not only those in their own configuration; a terminal is
// moved onto a new name only once no collector polls the old one.
TEST_P(TerminalIdentityTest, CollectorsSharingADatabaseRecogniseEachOthersTerminals) {
  if (testing::PostgresServer::Programs().empty()) GTEST_SKIP() << "PostgreSQL is not installed";
  testing::PostgresServer server;
  auto first = OpenStore(server.Uri());
  const std::unique_ptr<Store> second_opened = OpenStore(server.Uri());
  Store& second = *second_opened;
  ExpectOutcomes(OnceOn(*first, {{"g1", 1}}), {{"g1", Outcome::kComplete}});
  const auto held = OnceOn(second, {{"g9", 1}});
  ExpectOutcomes(held, {{"g9", Outcome::kWrongTerminal}});
  EXPECT_EQ(held.at("g9").error, "g9 answers with the memory of g1 (address changed?)");
  EXPECT_FALSE(second.ClaimTerminal("g1")) << "the first collector still polls g1";

  first.reset();  // g1 leaves the first collector's configuration
  // The server lets go of the closed session's claims as its backend ends.
  ASSERT_TRUE(testing::WaitUntil([&] { return second.ClaimTerminal("g1"); }, 10s));
  second.MoveTerminal("g1", "g9");
  Sim("add-records 1", 1);
  ExpectOutcomes(OnceOn(second, {{"g9", 1}}), {{"g9", Outcome::kComplete}});
  ExpectStoredIn(second, {{"g9", Held(1)}, {"g1", {}}});
}

INSTANTIATE_TEST_SUITE_P(Transports, TerminalIdentityTest,
                         ::testing::Values(Transport::kTcp, Transport::kBus),
                         [](const auto& test) {
                           return test.param == Transport::kTcp ? std::string("Tcp")
                                                                : std::string("Bus");
                         });

}  // namespace
}  // namespace tallygate::collector
