#include "sim/model/synthetic_data.h"

#include <chrono>

#include "sim/model/bcd_time.h"

namespace tallygate::sim {
namespace {

using namespace std::chrono;

// GB2312 codes of common surname and given-name characters.
constexpr std::array<std::array<uint8_t, 2>, 12> kHanzi{{
    {0xD5, 0xC5}, {0xCD, 0xF5}, {0xC0, 0xEE}, {0xD5, 0xD4}, {0xC1, 0xF5}, {0xB3, 0xC2},
    {0xD1, 0xEE}, {0xBB, 0xC6}, {0xC3, 0xF7}, {0xBB, 0xAA}, {0xCE, 0xB0}, {0xC8, 0xFD},
}};

std::array<uint8_t, 8> SyntheticName(std::mt19937& rng) {
  std::array<uint8_t, 8> name{};
  size_t at = 0;
  auto put_hanzi = [&] {
    const auto& code = kHanzi[Draw(rng, kHanzi.size())];
    name[at++] = code[0];
    name[at++] = code[1];
  };
  put_hanzi();
  switch (Draw(rng, 3)) {
    case 0:  // two characters
      put_hanzi();
      break;
    case 1:  // three characters
      put_hanzi();
      put_hanzi();
      break;
    default:  // a character and ASCII letters
      for (uint32_t n = 1 + Draw(rng, 5); n > 0; --n) name[at++] = static_cast<uint8_t>('A' + Draw(rng, 26));
      break;
  }
  return name;
}

}  // namespace

uint32_t Draw(std::mt19937& rng, uint32_t below) { return static_cast<uint32_t>(rng() % below); }

uint8_t DrawFlag(std::mt19937& rng) {
  constexpr std::array<uint8_t, 3> kFlags{0x01, 0x02, 0xFF};
  return kFlags[Draw(rng, kFlags.size())];
}

std::array<uint8_t, 4> SyntheticCardNumber(size_t index) {
  const auto card = static_cast<uint32_t>(0x00100000 + index * 977);
  return {static_cast<uint8_t>(card >> 24), static_cast<uint8_t>(card >> 16),
          static_cast<uint8_t>(card >> 8), static_cast<uint8_t>(card)};
}

std::vector<AttendanceRecord> SyntheticRecords(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<AttendanceRecord> records;
  records.reserve(count);
  // Each seed's first swipe at its own second: two terminals seeded apart
  // never hold the same first record, as two real ones do not.
  sys_seconds when = sys_days{year{2024} / 1 / 1} + hours{7} + seconds{(seed - 1) % 3600};
  for (size_t i = 0; i < count; ++i) {
    AttendanceRecord record;
    record.card = SyntheticCardNumber(Draw(rng, kSyntheticCardsSwiped));
    record.time = BcdTime(when);
    record.flag = DrawFlag(rng);
    record.keep = 0x99;
    records.push_back(record);
    when += seconds{1 + Draw(rng, 900)};
  }
  return records;
}

std::vector<CardEntry> SyntheticCards(size_t count, uint32_t seed) {
  std::mt19937 rng(seed ^ 0x5A5A5A5Au);
  std::vector<CardEntry> cards;
  cards.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    CardEntry entry;
    entry.card = SyntheticCardNumber(i);
    const auto staff = static_cast<unsigned>((i + 1) % 100'000'000);
    entry.staff = {Bcd(staff / 1'000'000 % 100), Bcd(staff / 10'000 % 100), Bcd(staff / 100 % 100),
                   Bcd(staff % 100)};
    entry.name = SyntheticName(rng);
    cards.push_back(entry);
  }
  return cards;
}

}  // namespace tallygate::sim
