#include "bench/card_rollout.h"

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace tallygate::bench {

using collector::CardChange;
using collector::CardOutcome;
using collector::Outcome;
using collector::PendingCount;
using collector::TerminalState;
using Clock = std::chrono::steady_clock;

std::string Convergence::Text() const {
  return std::to_string(pending) + " changes pending, " + std::to_string(done) + " of " +
         std::to_string(wanted) + " done" + (first_error.empty() ? "" : "; " + first_error);
}

CardRollout::CardRollout(const std::filesystem::path& folder,
                         std::vector<RolloutTerminal> terminals, int tcp_parallel,
                         const std::string& more_config)
    : folder_(folder), config_(folder / "collector.toml"), terminals_(std::move(terminals)) {
  std::ofstream out(config_);
  out << "database = \"sqlite:" << (folder_ / "cards.db").string() << "\"\n"
      << "poll_interval = \"1h\"\ntcp_parallel = " << tcp_parallel << "\n";
  for (const RolloutTerminal& terminal : terminals_) {
    out << "\n[[terminal]]\nname = \"" << terminal.name << "\"\n" << terminal.endpoint
        << "\naddress = " << terminal.address << "\ntime_zone = \"Asia/Shanghai\"\n";
  }
  out << more_config;
}

CardRollout::~CardRollout() { Stop(); }

int CardRollout::Cards(const std::vector<std::string>& words) {
  std::vector<std::string> command = {"cards"};
  command.insert(command.end(), words.begin(), words.end());
  ++commands_;
  testing::Collector cards(config_.string(), command,
                           (folder_ / ("cards-" + std::to_string(commands_) + ".log")).string());
  return cards.WaitForExit(std::chrono::minutes(2)).value_or(-1);
}

std::string CardRollout::CardsLog() const {
  std::stringstream text;
  text << std::ifstream(folder_ / ("cards-" + std::to_string(commands_) + ".log")).rdbuf();
  return text.str();
}

bool CardRollout::Start(std::chrono::seconds limit) {
  service_ = std::make_unique<testing::Collector>(config_.string(), "run",
                                                  (folder_ / "service.log").string());
  const auto polled = [&] {
    if (!store_) store_ = collector::OpenStore("sqlite:" + (folder_ / "cards.db").string());
    size_t complete = 0;
    for (const TerminalState& state : store_->States()) {
      complete += state.last_outcome == Outcome::kComplete;
    }
    return complete == terminals_.size();
  };
  // The service makes the store; until then there is none to read.
  return testing::WaitUntil(
             [&] {
               try {
                 return polled();
               } catch (const collector::StoreError&) {
                 store_.reset();
                 return false;
               }
             },
             limit)
      .has_value();
}

void CardRollout::Stop() {
  if (!service_) return;
  service_->Signal(SIGTERM);
  service_->WaitForExit(std::chrono::seconds(30));
  service_.reset();
}

Convergence CardRollout::Look(const std::vector<uint32_t>& cards, CardChange change) {
  Convergence now;
  now.wanted = static_cast<int64_t>(terminals_.size() * cards.size());
  for (const PendingCount& count : store_->PendingCardCounts()) now.pending += count.count;
  // The outcomes are read only once nothing is pending: a fleet still at
  // work is not slowed by reading thousands of them.
  if (now.pending > 0) return now;
  const std::set<uint32_t> wanted(cards.begin(), cards.end());
  const std::optional<uint32_t> one =
      cards.size() == 1 ? std::optional<uint32_t>(cards.front()) : std::nullopt;
  for (const CardOutcome& outcome : store_->CardOutcomes("", one)) {
    if (!wanted.contains(outcome.card) || outcome.change != change) continue;
    if (outcome.error.empty()) {
      ++now.done;
    } else if (now.first_error.empty()) {
      now.first_error = outcome.terminal + ", card " + std::to_string(outcome.card) + ": " +
                        outcome.error;
    }
  }
  return now;
}

std::optional<Clock::time_point> CardRollout::WaitFor(const std::vector<uint32_t>& cards,
                                                      CardChange change,
                                                      std::chrono::milliseconds every,
                                                      std::chrono::seconds limit,
                                                      Convergence& last) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;
       std::this_thread::sleep_for(every)) {
    last = Look(cards, change);
    if (last.reached()) return Clock::now();
  }
  return std::nullopt;
}

}  // namespace tallygate::bench
