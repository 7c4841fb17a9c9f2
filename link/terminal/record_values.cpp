#include "tallygate/record_values.h"

#include <algorithm>

#include "link/protocol/hex_text.h"
#include "link/protocol/units.h"
#include "link/text/card_name.h"

namespace tallygate {
namespace {

// The value of a BCD byte, or -1 when a nibble is above 9.
int FromBcd(uint8_t byte) {
  const int high = byte >> 4;
  const int low = byte & 0x0F;
  if (high > 9 || low > 9) return -1;
  return high * 10 + low;
}

}  // namespace

std::array<uint8_t, 6> AttendanceRecord::time_bytes() const {
  std::array<uint8_t, 6> bytes{};
  std::copy_n(raw.begin() + record_unit::kTime, bytes.size(), bytes.begin());
  return bytes;
}

std::array<uint8_t, 12> AttendanceRecord::record_bytes() const {
  std::array<uint8_t, 12> bytes{};
  static_assert(record_unit::kCard + bytes.size() == record_unit::kKeep + 1);
  std::copy_n(raw.begin() + record_unit::kCard, bytes.size(), bytes.begin());
  return bytes;
}

uint8_t BcdByte(int value) {
  return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}

std::array<uint8_t, 4> CardBytesOf(uint32_t card) {
  return {static_cast<uint8_t>(card >> 24), static_cast<uint8_t>(card >> 16),
          static_cast<uint8_t>(card >> 8), static_cast<uint8_t>(card)};
}

uint32_t CardNumberOf(std::span<const uint8_t, 4> bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
         uint32_t{bytes[3]};
}

std::optional<LocalDateTime> TimeFromBcd(std::span<const uint8_t, 6> bcd) {
  int values[6];
  for (size_t i = 0; i < 6; ++i) {
    values[i] = FromBcd(bcd[i]);
    if (values[i] < 0) return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(2000 + values[0]),
                                         std::chrono::month(static_cast<unsigned>(values[1])),
                                         std::chrono::day(static_cast<unsigned>(values[2]))};
  if (!date.ok() || values[3] > 23 || values[4] > 59 || values[5] > 59) return std::nullopt;
  return std::chrono::local_days(date) + std::chrono::hours(values[3]) +
         std::chrono::minutes(values[4]) + std::chrono::seconds(values[5]);
}

Result<std::array<uint8_t, 7>> BcdFromTime(LocalDateTime time) {
  const auto day = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::year_month_day date{day};
  const int year = static_cast<int>(date.year());
  if (year < 2000 || year > 2099) {
    return Error(ErrorCode::kInvalidArgument,
                 "year " + std::to_string(year) + " (a terminal keeps 2000 to 2099)");
  }
  const std::chrono::hh_mm_ss<std::chrono::seconds> clock{time - day};
  const unsigned weekday = std::chrono::weekday(day).iso_encoding();
  return std::array<uint8_t, 7>{BcdByte(year % 100),
                                BcdByte(static_cast<int>(static_cast<unsigned>(date.month()))),
                                BcdByte(static_cast<int>(static_cast<unsigned>(date.day()))),
                                BcdByte(static_cast<int>(clock.hours().count())),
                                BcdByte(static_cast<int>(clock.minutes().count())),
                                BcdByte(static_cast<int>(clock.seconds().count())),
                                BcdByte(static_cast<int>(weekday))};
}

AttendanceRecord RecordFromUnit(uint8_t address, int32_t position,
                                std::span<const uint8_t, 16> unit) {
  AttendanceRecord record;
  record.address = address;
  record.position = position;
  std::copy(unit.begin(), unit.end(), record.raw.begin());
  record.card = CardNumberOf(unit.subspan<record_unit::kCard, 4>());
  record.time = TimeFromBcd(unit.subspan<record_unit::kTime, record_unit::kTimeBytes>());
  record.flag = unit[record_unit::kFlag];
  record.keep = unit[record_unit::kKeep];
  return record;
}

CardEntry CardFromUnit(int32_t position, std::span<const uint8_t, 20> unit,
                       int16_t locale_class) {
  CardEntry entry;
  entry.position = position;
  std::copy(unit.begin(), unit.end(), entry.raw.begin());
  entry.card = CardNumberOf(unit.subspan<card_unit::kCard, 4>());
  entry.staff = BytesToHex(unit.subspan<card_unit::kStaff, card_unit::kStaffBytes>());
  const auto name = unit.subspan<card_unit::kName, card_unit::kNameBytes>();
  std::copy(name.begin(), name.end(), entry.name_raw.begin());
  entry.name = DecodeCardName(name, locale_class);
  return entry;
}

}  // namespace tallygate
