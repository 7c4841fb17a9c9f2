// A store shared by the collector's threads: each call runs alone, under
// one lock (a Store is used by one thread at a time). A store that stops
// answering (StoreTimeout) is logged once, as a warning naming it, and
// again when it answers; Describe() never waits for a call. A page that
// added punches is told to `stored`, when given, once it is committed.
#ifndef TALLYGATE_COLLECTOR_POLL_SERIALIZED_STORE_H_
#define TALLYGATE_COLLECTOR_POLL_SERIALIZED_STORE_H_

#include <memory>
#include <mutex>

#include "collector/feed/punch_signal.h"
#include "collector/store/store.h"

namespace tallygate::collector {

class SerializedStore final : public Store {
 public:
  explicit SerializedStore(std::unique_ptr<Store> store, PunchSignal* stored = nullptr)
      : store_(std::move(store)), described_(store_->Describe()), stored_(stored) {}

  std::string Describe() const override;
  void SaveTerminal(const TerminalInfo& terminal) override;
  bool ClaimTerminal(const std::string& terminal) override;
  void ReleaseTerminal(const std::string& terminal) override;
  bool JoinCollectors(const std::string& name, const std::string& fleet) override;
  CollectorClaims Claims(std::span<const std::string> terminals) override;
  Mark LoadMark(const std::string& terminal) override;
  int64_t BeginCollection(const Collection& collection) override;
  int32_t StorePage(const std::string& terminal, int64_t collection,
                    std::span<const Punch> punches, const Mark& mark) override;
  void ResetMark(const std::string& terminal) override;
  int64_t RecordCollection(const Collection& collection,
                           std::optional<UtcTime> backoff_until) override;
  void RecordAnswer(const std::string& terminal, UtcTime answered) override;
  void FinishCollection(int64_t id, const Collection& collection,
                        std::optional<UtcTime> backoff_until) override;
  void ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                    UtcTime collected) override;
  std::vector<TerminalState> States() override;
  std::vector<Collection> Collections(const std::string& terminal, int limit) override;
  PunchPage SearchPunches(const PunchFilter& filter, const std::optional<PunchCursor>& after,
                          int limit) override;
  CardList Cards(const std::string& terminal) override;
  void ForEachPunch(const PunchFilter& filter,
                    const std::function<void(const PunchRow&)>& row) override;
  void ForEachHolderPunch(const PunchFilter& filter,
                          const std::function<void(const PunchRow&)>& row) override;
  std::vector<HourCount> PunchesPerHour(const std::string& terminal, LocalTime from,
                                        LocalTime to) override;
  KnownMemories Memories(const std::string& terminal) override;
  void AdoptMemory(const std::string& terminal, const Mark& mark) override;
  void AcceptMemory(const std::string& terminal) override;
  void MoveTerminal(const std::string& from, const std::string& to) override;
  std::vector<Cardholder> Cardholders() override;
  std::optional<Cardholder> FindCardholder(uint32_t card) override;
  std::vector<CardAudit> ChangeCardholders(const CardholderChanges& changes, const std::string& by,
                                           UtcTime when) override;
  std::vector<CardAudit> CardAudits(std::optional<uint32_t> card, int limit) override;
  int64_t CardholdersVersion() override;
  void SetPendingCards(const std::string& terminal, std::span<const PendingCard> pending) override;
  std::vector<PendingCard> PendingCards(const std::string& terminal,
                                        std::optional<uint32_t> card) override;
  std::vector<PendingCount> PendingCardCounts() override;
  void FinishCardChanges(std::span<const CardOutcome> outcomes) override;
  std::vector<CardOutcome> CardOutcomes(const std::string& terminal,
                                        std::optional<uint32_t> card) override;
  std::vector<CardOutcome> CardHistory(uint32_t card, int limit) override;
  std::vector<CardTrace> CardTraces(std::span<const uint32_t> cards) override;
  std::vector<PunchRow> PunchesAfter(int64_t after, int limit) override;
  int64_t LastPunchId() override;
  SinkBacklog Backlog(int64_t after) override;
  bool ClaimSink(const std::string& sink) override;
  std::optional<SinkState> LoadSink(const std::string& sink) override;
  void SaveSink(const SinkState& state) override;
  std::vector<SinkState> Sinks() override;
  bool ResumeSink(const std::string& sink) override;
  void Check() override;

 private:
  template <class Call>
  decltype(auto) Locked(Call&& call);

  std::mutex mutex_;
  std::unique_ptr<Store> store_;
  const std::string described_;
  PunchSignal* const stored_;
  bool unanswered_ = false;  // since the last StoreTimeout, until a call succeeds
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_POLL_SERIALIZED_STORE_H_
