#include "collector/poll/serialized_store.h"

#include <type_traits>

#include "collector/poll/log.h"

namespace tallygate::collector {

template <class Call>
decltype(auto) SerializedStore::Locked(Call&& call) {
  const std::lock_guard lock(mutex_);
  const auto answered = [this] {
    if (!unanswered_) return;
    unanswered_ = false;
    Log(LogLevel::kInfo, "the store answers again: " + described_);
  };
  try {
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      answered();
    } else {
      auto result = call();
      answered();
      return result;
    }
  } catch (const StoreTimeout& error) {
    if (!unanswered_) {
      unanswered_ = true;
      Log(LogLevel::kWarning, std::string("the store does not answer: ") + error.what() +
                                  "; polls are tried again with backoff, and no terminal is"
                                  " cleared until the store has committed all its records");
    }
    throw;
  }
}

std::string SerializedStore::Describe() const { return described_; }

void SerializedStore::SaveTerminal(const TerminalInfo& terminal) {
  Locked([&] { return store_->SaveTerminal(terminal); });
}

bool SerializedStore::ClaimTerminal(const std::string& terminal) {
  return Locked([&] { return store_->ClaimTerminal(terminal); });
}

void SerializedStore::ReleaseTerminal(const std::string& terminal) {
  Locked([&] { store_->ReleaseTerminal(terminal); });
}

bool SerializedStore::JoinCollectors(const std::string& name, const std::string& fleet) {
  return Locked([&] { return store_->JoinCollectors(name, fleet); });
}

CollectorClaims SerializedStore::Claims(std::span<const std::string> terminals) {
  return Locked([&] { return store_->Claims(terminals); });
}

Mark SerializedStore::LoadMark(const std::string& terminal) {
  return Locked([&] { return store_->LoadMark(terminal); });
}

int64_t SerializedStore::BeginCollection(const Collection& collection) {
  return Locked([&] { return store_->BeginCollection(collection); });
}

int32_t SerializedStore::StorePage(const std::string& terminal, int64_t collection,
                                   std::span<const Punch> punches, const Mark& mark) {
  const int32_t added =
      Locked([&] { return store_->StorePage(terminal, collection, punches, mark); });
  if (added > 0 && stored_ != nullptr) stored_->Stored();
  return added;
}

void SerializedStore::ResetMark(const std::string& terminal) {
  Locked([&] { return store_->ResetMark(terminal); });
}

void SerializedStore::FinishCollection(int64_t id, const Collection& collection,
                                       std::optional<UtcTime> backoff_until) {
  Locked([&] { return store_->FinishCollection(id, collection, backoff_until); });
}

int64_t SerializedStore::RecordCollection(const Collection& collection,
                                          std::optional<UtcTime> backoff_until) {
  return Locked([&] { return store_->RecordCollection(collection, backoff_until); });
}

void SerializedStore::RecordAnswer(const std::string& terminal, UtcTime answered) {
  Locked([&] { store_->RecordAnswer(terminal, answered); });
}

void SerializedStore::ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                                   UtcTime collected) {
  Locked([&] { return store_->ReplaceCards(terminal, cards, collected); });
}

std::vector<TerminalState> SerializedStore::States() {
  return Locked([&] { return store_->States(); });
}

std::vector<Collection> SerializedStore::Collections(const std::string& terminal, int limit) {
  return Locked([&] { return store_->Collections(terminal, limit); });
}

PunchPage SerializedStore::SearchPunches(const PunchFilter& filter,
                                        const std::optional<PunchCursor>& after, int limit) {
  return Locked([&] { return store_->SearchPunches(filter, after, limit); });
}

CardList SerializedStore::Cards(const std::string& terminal) {
  return Locked([&] { return store_->Cards(terminal); });
}

void SerializedStore::ForEachPunch(const PunchFilter& filter,
                                   const std::function<void(const PunchRow&)>& row) {
  Locked([&] { return store_->ForEachPunch(filter, row); });
}

void SerializedStore::ForEachHolderPunch(const PunchFilter& filter,
                                         const std::function<void(const PunchRow&)>& row) {
  Locked([&] { return store_->ForEachHolderPunch(filter, row); });
}

std::vector<HourCount> SerializedStore::PunchesPerHour(const std::string& terminal, LocalTime from,
                                                       LocalTime to) {
  return Locked([&] { return store_->PunchesPerHour(terminal, from, to); });
}

KnownMemories SerializedStore::Memories(const std::string& terminal) {
  return Locked([&] { return store_->Memories(terminal); });
}

void SerializedStore::AdoptMemory(const std::string& terminal, const Mark& mark) {
  Locked([&] { store_->AdoptMemory(terminal, mark); });
}

void SerializedStore::AcceptMemory(const std::string& terminal) {
  Locked([&] { store_->AcceptMemory(terminal); });
}

void SerializedStore::MoveTerminal(const std::string& from, const std::string& to) {
  Locked([&] { store_->MoveTerminal(from, to); });
}

std::vector<Cardholder> SerializedStore::Cardholders() {
  return Locked([&] { return store_->Cardholders(); });
}

std::optional<Cardholder> SerializedStore::FindCardholder(uint32_t card) {
  return Locked([&] { return store_->FindCardholder(card); });
}

std::vector<CardAudit> SerializedStore::ChangeCardholders(const CardholderChanges& changes,
                                                          const std::string& by, UtcTime when) {
  return Locked([&] { return store_->ChangeCardholders(changes, by, when); });
}

std::vector<CardAudit> SerializedStore::CardAudits(std::optional<uint32_t> card, int limit) {
  return Locked([&] { return store_->CardAudits(card, limit); });
}

int64_t SerializedStore::CardholdersVersion() {
  return Locked([&] { return store_->CardholdersVersion(); });
}

void SerializedStore::SetPendingCards(const std::string& terminal,
                                      std::span<const PendingCard> pending) {
  Locked([&] { return store_->SetPendingCards(terminal, pending); });
}

std::vector<PendingCard> SerializedStore::PendingCards(const std::string& terminal,
                                                       std::optional<uint32_t> card) {
  return Locked([&] { return store_->PendingCards(terminal, card); });
}

std::vector<PendingCount> SerializedStore::PendingCardCounts() {
  return Locked([&] { return store_->PendingCardCounts(); });
}

void SerializedStore::FinishCardChanges(std::span<const CardOutcome> outcomes) {
  Locked([&] { return store_->FinishCardChanges(outcomes); });
}

std::vector<CardOutcome> SerializedStore::CardOutcomes(const std::string& terminal,
                                                       std::optional<uint32_t> card) {
  return Locked([&] { return store_->CardOutcomes(terminal, card); });
}

std::vector<CardOutcome> SerializedStore::CardHistory(uint32_t card, int limit) {
  return Locked([&] { return store_->CardHistory(card, limit); });
}

std::vector<CardTrace> SerializedStore::CardTraces(std::span<const uint32_t> cards) {
  return Locked([&] { return store_->CardTraces(cards); });
}

std::vector<PunchRow> SerializedStore::PunchesAfter(int64_t after, int limit) {
  return Locked([&] { return store_->PunchesAfter(after, limit); });
}

int64_t SerializedStore::LastPunchId() {
  return Locked([&] { return store_->LastPunchId(); });
}

SinkBacklog SerializedStore::Backlog(int64_t after) {
  return Locked([&] { return store_->Backlog(after); });
}

bool SerializedStore::ClaimSink(const std::string& sink) {
  return Locked([&] { return store_->ClaimSink(sink); });
}

std::optional<SinkState> SerializedStore::LoadSink(const std::string& sink) {
  return Locked([&] { return store_->LoadSink(sink); });
}

void SerializedStore::SaveSink(const SinkState& state) {
  Locked([&] { return store_->SaveSink(state); });
}

std::vector<SinkState> SerializedStore::Sinks() {
  return Locked([&] { return store_->Sinks(); });
}

bool SerializedStore::ResumeSink(const std::string& sink) {
  return Locked([&] { return store_->ResumeSink(sink); });
}

void SerializedStore::Check() {
  Locked([&] { return store_->Check(); });
}

}  // namespace tallygate::collector
