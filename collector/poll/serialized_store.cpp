#include "collector/poll/serialized_store.h"

namespace tallygate::collector {

std::string SerializedStore::Describe() const {
  const std::lock_guard lock(mutex_);
  return store_->Describe();
}

void SerializedStore::SaveTerminal(const TerminalInfo& terminal) {
  const std::lock_guard lock(mutex_);
  store_->SaveTerminal(terminal);
}

bool SerializedStore::ClaimTerminal(const std::string& terminal) {
  const std::lock_guard lock(mutex_);
  return store_->ClaimTerminal(terminal);
}

Mark SerializedStore::LoadMark(const std::string& terminal) {
  const std::lock_guard lock(mutex_);
  return store_->LoadMark(terminal);
}

int64_t SerializedStore::BeginCollection(const Collection& collection) {
  const std::lock_guard lock(mutex_);
  return store_->BeginCollection(collection);
}

int32_t SerializedStore::StorePage(const std::string& terminal, int64_t collection,
                                   std::span<const Punch> punches, const Mark& mark) {
  const std::lock_guard lock(mutex_);
  return store_->StorePage(terminal, collection, punches, mark);
}

void SerializedStore::ResetMark(const std::string& terminal) {
  const std::lock_guard lock(mutex_);
  store_->ResetMark(terminal);
}

void SerializedStore::FinishCollection(int64_t id, const Collection& collection,
                                       std::optional<UtcTime> backoff_until) {
  const std::lock_guard lock(mutex_);
  store_->FinishCollection(id, collection, backoff_until);
}

void SerializedStore::ReplaceCards(const std::string& terminal, std::span<const CardEntry> cards,
                                   UtcTime collected) {
  const std::lock_guard lock(mutex_);
  store_->ReplaceCards(terminal, cards, collected);
}

std::vector<TerminalState> SerializedStore::States() {
  const std::lock_guard lock(mutex_);
  return store_->States();
}

std::vector<Collection> SerializedStore::Collections(const std::string& terminal, int limit) {
  const std::lock_guard lock(mutex_);
  return store_->Collections(terminal, limit);
}

PunchPage SerializedStore::SearchPunches(const PunchFilter& filter,
                                        const std::optional<PunchCursor>& after, int limit) {
  const std::lock_guard lock(mutex_);
  return store_->SearchPunches(filter, after, limit);
}

CardList SerializedStore::Cards(const std::string& terminal) {
  const std::lock_guard lock(mutex_);
  return store_->Cards(terminal);
}

void SerializedStore::ForEachPunch(const PunchFilter& filter,
                                   const std::function<void(const PunchRow&)>& row) {
  const std::lock_guard lock(mutex_);
  store_->ForEachPunch(filter, row);
}

void SerializedStore::Check() {
  const std::lock_guard lock(mutex_);
  store_->Check();
}

}  // namespace tallygate::collector
