// The store's operations written once in SQL for both databases; SQLite and
// PostgreSQL differ in their session, their schema and a few hooks below.
#ifndef TALLYGATE_COLLECTOR_STORE_SQL_STORE_H_
#define TALLYGATE_COLLECTOR_STORE_SQL_STORE_H_

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "collector/store/sql_session.h"
#include "collector/store/store.h"

namespace tallygate::collector {

struct PunchQuery;

class SqlStore : public Store {
 public:
  std::string Describe() const override { return described_; }
  void Tell(StoreEvents events) override { events_ = std::move(events); }
  void SaveTerminal(const TerminalInfo& terminal) override;
  Mark LoadMark(const std::string& terminal) override;
  int64_t BeginCollection(const Collection& collection) override;
  int32_t StorePage(const std::string& terminal, int64_t collection, std::span<const Punch> punches,
                    const Mark& mark) override;
  void ResetMark(const std::string& terminal) override;
  void FinishCollection(int64_t id, const Collection& collection,
                        std::optional<UtcTime> backoff_until) override;
  int64_t RecordCollection(const Collection& collection,
                           std::optional<UtcTime> backoff_until) override;
  void RecordAnswer(const std::string& terminal, UtcTime asked, UtcTime answered) override;
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
  void KeepSourceRead(const SourceRead& read) override;
  std::vector<SourceRead> SourceReads() override;
  std::vector<PunchRow> PunchesAfter(int64_t after, int limit) override;
  int64_t LastPunchId() override;
  SinkBacklog Backlog(int64_t after) override;
  bool ClaimSink(const std::string&) override { return true; }
  // One collector per store unless the database says otherwise.
  void ReleaseTerminal(const std::string&) override {}
  bool JoinCollectors(const std::string&, const std::string&) override { return false; }
  CollectorClaims Claims(std::span<const std::string>) override { return {}; }
  std::optional<SinkState> LoadSink(const std::string& sink) override;
  void SaveSink(const SinkState& state) override;
  std::vector<SinkState> Sinks() override;
  bool ResumeSink(const std::string& sink) override;
  void KeepRefusals(const std::string& sink, const std::vector<RefusedPunch>& refused) override;
  void ForgetRefusals(const std::string& sink, const std::vector<int64_t>& punches) override;
  std::vector<std::pair<PunchRow, RefusedPunch>> Refusals(const std::string& sink,
                                                          bool again_only, int limit) override;
  std::vector<std::pair<std::string, int64_t>> RefusalCounts() override;
  int64_t AskAgain(const std::string& sink, std::optional<uint32_t> card) override;
  std::vector<std::pair<std::string, UtcTime>> OldestAfter(int64_t after) override;
  void Check() override;

 protected:
  SqlStore(std::unique_ptr<SqlSession> session, std::string described);

  // Brings the schema to the last of `versions` (the statements that make
  // version 1, then those from 1 to 2, ...) in one transaction; refuses a
  // database whose version is beyond them.
  void Migrate(std::span<const std::string_view> versions);

  // Runs `work` as the operation `what`: alone on the session (the threads
  // sharing a store take turns here), after the session is ready, and with a
  // failure's reason told as "STORE: WHAT: REASON".
  template <class Work>
  auto Run(const std::string& what, Work&& work) -> decltype(work());

  SqlSession& session() { return *session_; }

  // Hooks for what the databases do differently.
  // Throws when this process may not write `terminal`'s mark.
  virtual void RequireClaim(const std::string& terminal) { (void)terminal; }
  // The session was made again: take again what the old one held.
  virtual void Reconnected() {}
  // An SQL condition that holds while this session holds the claim on
  // `sink`, with its values added to `params` (numbered after them).
  virtual std::string SinkClaimHeld(const std::string& sink, std::vector<SqlValue>& params) {
    (void)sink;
    (void)params;
    return "true";
  }
  // Inside the migration's transaction, before the version is read.
  virtual void LockSchema() {}
  // Inside ChangeCardholders' transaction, before the holders are read.
  virtual void LockCardholders() {}
  // Inside StorePage's transaction, before any punch is inserted: waits
  // until no other transaction is storing punches, so that ids are
  // committed in their order.
  virtual void LockPunches() {}
  // Inside StorePage's transaction, after `added` (> 0) punches were
  // inserted: tells other processes when it commits.
  virtual void AnnouncePunches() {}
  // Inside StorePage's transaction: inserts the punches not stored yet.
  virtual int32_t InsertPunches(const std::string& terminal, int64_t collection,
                                std::span<const Punch> punches);
  // Inside ReplaceCards' transaction, after the old list is gone.
  virtual void InsertCards(const std::string& terminal, std::span<const CardEntry> cards,
                           UtcTime collected);

 private:
  // Inside a transaction: a new collections row, and the end of one (the
  // row's figures and the terminal's state).
  int64_t InsertCollection(const Collection& collection);
  void EndCollection(int64_t id, const Collection& collection,
                     std::optional<UtcTime> backoff_until);
  // The holders `where` selects ("" or "WHERE card = $1"), by card.
  std::vector<Cardholder> ReadCardholders(const std::string& where,
                                          const std::vector<SqlValue>& params);
  // The first `count` punches `filter` selects after `after`, newest first.
  std::vector<PunchRow> SearchRows(const PunchFilter& filter,
                                   const std::optional<PunchCursor>& after, int64_t count);
  // The same, walking an index for the dated punches, then for the undated.
  std::vector<PunchRow> SearchWalk(const PunchFilter& filter,
                                   const std::optional<PunchCursor>& after, int64_t count);
  // Calls `row` for each row of `query` (punch_query.h's columns).
  void StreamPunches(const PunchQuery& query, const std::function<void(const PunchRow&)>& row);

  // The same, with the query's row for columns after the punch's.
  void StreamPunchRows(const PunchQuery& query,
                       const std::function<void(const PunchRow&, const SqlRow&)>& row);
  // A call answered, or did not (StoreEvents::answered, ::unanswered).
  void Answered();
  void Unanswered(const StoreTimeout& error);

  // Recursive: an operation may be made of others.
  std::recursive_mutex mutex_;
  std::unique_ptr<SqlSession> session_;
  const std::string described_;
  StoreEvents events_;
  bool unanswered_ = false;  // since the last StoreTimeout, until a call answers
};

template <class Work>
auto SqlStore::Run(const std::string& what, Work&& work) -> decltype(work()) {
  const std::lock_guard one_at_a_time(mutex_);
  try {
    if (session_->Ready()) Reconnected();
    if constexpr (std::is_void_v<decltype(work())>) {
      work();
      Answered();
    } else {
      auto result = work();
      Answered();
      return result;
    }
  } catch (const StoreError&) {
    try {
      RethrowStoreError(described_ + ": " + what + ": ");
    } catch (const StoreTimeout& error) {
      Unanswered(error);
      throw;
    }
  }
}

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_STORE_SQL_STORE_H_
