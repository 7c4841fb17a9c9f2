#include "collector/door/failed_sign_ins.h"

#include <algorithm>

#include "collector/base/log.h"

namespace tallygate::collector::door {
namespace {

// Clients remembered at most: a flood of addresses costs a bounded table.
constexpr size_t kMostClients = 10000;

}  // namespace

std::chrono::seconds FailedSignIns::HoldAfter(int failures) {
  if (failures <= kFreeFailures) return std::chrono::seconds{0};
  std::chrono::seconds hold{1};
  for (int n = kFreeFailures + 1; n < failures && hold < kLongestHold; ++n) hold *= 2;
  return std::min(hold, kLongestHold);
}

void FailedSignIns::MakeRoom(Clock::time_point now) {
  std::erase_if(clients_, [&](const auto& entry) { return now - entry.second.last > kMemory; });
  if (clients_.size() < kMostClients) return;
  clients_.erase(std::min_element(clients_.begin(), clients_.end(), [](const auto& a, const auto& b) {
    return a.second.last < b.second.last;
  }));
}

void FailedSignIns::Failed(const std::string& client, std::string_view how) {
  const Clock::time_point now = Clock::now();
  int failures = 0;
  {
    std::lock_guard lock(mutex_);
    if (!clients_.contains(client) && clients_.size() >= kMostClients) MakeRoom(now);
    Record& record = clients_[client];
    if (now - record.last > kMemory) record.failures = 0;
    record.failures += 1;
    record.last = now;
    failures = record.failures;
  }
  std::string text = "dashboard: a wrong token (" + std::string(how) + ") from " + client + ", " +
                     std::to_string(failures) + " in a row";
  if (const std::chrono::seconds hold = HoldAfter(failures); hold.count() > 0) {
    text += ": its requests wait " + std::to_string(hold.count()) + " s";
  }
  Log(LogLevel::kWarning, text);
}

void FailedSignIns::Succeeded(const std::string& client) {
  std::lock_guard lock(mutex_);
  clients_.erase(client);
}

FailedSignIns::Clock::time_point FailedSignIns::HoldUntil(const std::string& client) const {
  std::lock_guard lock(mutex_);
  const auto found = clients_.find(client);
  if (found == clients_.end()) return {};
  const Record& record = found->second;
  if (Clock::now() - record.last > kMemory) return {};
  return record.last + HoldAfter(record.failures);
}

}  // namespace tallygate::collector::door
