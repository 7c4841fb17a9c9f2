// Punches, cardholders and counts for the store tests.
#ifndef TALLYGATE_TESTS_COLLECTOR_STORE_STORE_TESTING_H_
#define TALLYGATE_TESTS_COLLECTOR_STORE_STORE_TESTING_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/store/store.h"

namespace tallygate::collector {

inline LocalTime At(int year, unsigned month, unsigned day, int hour, int minute = 0) {
  using namespace std::chrono;
  return local_days{std::chrono::year{year} / month / day} + hours{hour} + minutes{minute};
}

// A punch whose identity is `id`: its bytes and raw unit hold id and card.
inline Punch MakePunch(int id, uint32_t card = 100,
                       std::optional<LocalTime> local = At(2024, 3, 1, 8)) {
  Punch punch;
  punch.position = id;
  punch.card = card;
  punch.local = local;
  if (local) punch.utc = UtcTime{local->time_since_epoch() - std::chrono::hours{8}};
  punch.flag = static_cast<uint8_t>(id % 4);
  punch.keep = 1;
  for (size_t i = 0; i < 4; ++i) {
    punch.bytes[i] = static_cast<uint8_t>(id >> (8 * i));
    punch.bytes[4 + i] = static_cast<uint8_t>(card >> (8 * i));
    punch.raw[i] = punch.bytes[i];
    punch.raw[15 - i] = static_cast<uint8_t>(0xA0 + i);
  }
  return punch;
}

// Punches first .. first+count-1, at their ids' positions.
inline std::vector<Punch> Page(int first, int count) {
  std::vector<Punch> page;
  for (int id = first; id < first + count; ++id) page.push_back(MakePunch(id));
  return page;
}

inline Mark MarkAfter(const Punch& last) { return {last.position + 1, last.bytes, std::nullopt}; }

inline Collection CollectionOf(const std::string& terminal) {
  Collection collection;
  collection.terminal = terminal;
  return collection;
}

inline PunchFilter TerminalFilter(const std::string& terminal) {
  PunchFilter filter;
  filter.terminal = terminal;
  return filter;
}

// A cardholder of `card` whose staff number is the card's digits.
inline Cardholder MakeHolder(uint32_t card, std::string name, std::vector<std::string> where) {
  Cardholder holder;
  holder.card = card;
  holder.staff = std::to_string(card);
  holder.name = std::move(name);
  holder.where = std::move(where);
  return holder;
}

inline int64_t CountPunches(Store& store, const PunchFilter& filter = {}) {
  int64_t count = 0;
  store.ForEachPunch(filter, [&](const PunchRow&) { ++count; });
  return count;
}

}  // namespace tallygate::collector

#endif  // TALLYGATE_TESTS_COLLECTOR_STORE_STORE_TESTING_H_
