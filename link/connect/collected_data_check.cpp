#include "link/connect/collected_data_check.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <string_view>

#include "link/connect/connect_v70_state.h"
#include "link/connect/paged_collection.h"
#include "link/connect/record_counts.h"
#include "link/connect/text_file.h"
#include "link/transport/wait.h"
#include "tallygate/host.h"
#include "tallygate/record_line.h"

namespace tallygate {
namespace {

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AllHexDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// The value of a field of digits.
int Number(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

std::string Decimal(int64_t value) { return std::to_string(value); }

}  // namespace

CivilSeconds ToCivilSeconds(int year, int month, int day, int hour, int minute, int second) {
  using namespace std::chrono;
  const sys_days date = year_month_day(std::chrono::year(year), std::chrono::month(unsigned(month)),
                                       std::chrono::day(unsigned(day)));
  return date.time_since_epoch().count() * 86400LL + hour * 3600LL + minute * 60LL + second;
}

CivilSeconds LocalNow() {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return ToCivilSeconds(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec);
}

std::optional<CivilSeconds> RecordLineTime(const std::string& line, bool decimal_card,
                                           bool full_year) {
  const RecordLineFields fields = ParseRecordLine(line, {decimal_card, full_year});
  if (!fields.complete) return std::nullopt;

  // The card field is read but not used: a field that is no number of its
  // form means the line is not a record line at all.
  const std::string_view card = fields.card;
  const bool card_ok = decimal_card ? AllDigits(card.starts_with('-') ? card.substr(1) : card)
                                    : AllHexDigits(card);
  if (!card_ok) throw BasicError(err::kTypeMismatch);

  const std::string_view parts[] = {fields.year, fields.month,  fields.day,
                                    fields.hour, fields.minute, fields.second};
  if (!std::all_of(std::begin(parts), std::end(parts), AllDigits)) return std::nullopt;
  const int year = full_year ? Number(fields.year) : 2000 + Number(fields.year);
  const int month = Number(fields.month);
  const int day = Number(fields.day);
  const int hour = Number(fields.hour);
  const int minute = Number(fields.minute);
  const int second = Number(fields.second);
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(unsigned(month)),
                                         std::chrono::day(unsigned(day))};
  if (!date.ok() || year < 100 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return ToCivilSeconds(year, month, day, hour, minute, second);
}

std::string ChineseGeneralDate(CivilSeconds time) {
  const int64_t days = time >= 0 ? time / 86400 : (time - 86399) / 86400;
  const int64_t seconds = time - days * 86400;
  const std::chrono::year_month_day date{
      std::chrono::sys_days(std::chrono::days(static_cast<int>(days)))};
  std::string text = Decimal(static_cast<int>(date.year())) + "/" +
                     Decimal(static_cast<unsigned>(date.month())) + "/" +
                     Decimal(static_cast<unsigned>(date.day()));
  if (seconds != 0) {
    char clock[16];
    std::snprintf(clock, sizeof clock, " %d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    text += clock;
  }
  return text;
}

CheckResult CheckRecordLines(const std::vector<std::string>& lines, int32_t terminal_count,
                             int16_t delay_hours, bool decimal_card, bool full_year,
                             CivilSeconds now) {
  CheckResult result{-1, std::nullopt};
  CivilSeconds previous = std::numeric_limits<CivilSeconds>::min();
  CivilSeconds last = previous;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line_number = Decimal(static_cast<int64_t>(i) + 1);
    const std::optional<CivilSeconds> time = RecordLineTime(lines[i], decimal_card, full_year);
    if (!time) return {2, "有乱数据,第" + line_number + "行 "};
    last = *time;
    if (*time < previous) {
      // Out of order does not end the reading: a later fault replaces it.
      result = {4, "没有按递增顺序,位置：" + line_number};
    } else {
      previous = *time;
    }
  }
  if (static_cast<int64_t>(lines.size()) < terminal_count) {
    return {1, "文本文件中的总条数小于机器内的总条数，文件内" + Decimal(static_cast<int64_t>(lines.size())) +
                   "条，机器内" + Decimal(terminal_count) + "条"};
  }
  // 64-bit arithmetic: any delay in hours fits.
  if (!lines.empty() && last + int64_t{delay_hours} * 3600 < now) {
    return {3, "最后一条数据的时间距离现在超过" + Decimal(delay_hours) + "小时，最后时间为：" +
                   ChineseGeneralDate(last)};
  }
  if (result.code == -1) result.code = 0;
  return result;
}

int16_t Connect_v70::CheckData(int16_t varAddr, const std::string& VarFilePath,
                               const std::string& VarFileName, std::string& VarDescription,
                               int16_t intDelay, int32_t phStrCardFlg, bool IsFullYear) {
  return RunCall(
      *state_, int16_t{-1},
      [&](int16_t& result) {
        Pause(2000);
        host::PumpEvents();
        int32_t count = 0;
        std::string holder = "ok";
        bool counted = false;
        try {
          counted = QueryCount(*state_, varAddr, command::kRecordPages, count, &holder);
        } catch (const BasicError&) {
          counted = false;
        }
        if (!counted) {
          VarDescription = "采集总条数失败 ";
          return;
        }
        if (count <= 0) {
          result = 1;
          VarDescription = "采集出的总条数是0 ";
          return;
        }
        const std::filesystem::path file = CollectionFile(VarFilePath, VarFileName);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
          VarDescription = "文件找不到," + file.string();
          return;
        }
        const CheckResult checked = CheckRecordLines(ReadTextLines(file), count, intDelay,
                                                     phStrCardFlg != 0, IsFullYear, LocalNow());
        result = checked.code;
        if (checked.description) VarDescription = *checked.description;
      },
      [&](int16_t& result, const BasicError& error) {
        result = -1;
        VarDescription = error.description();
      });
}

}  // namespace tallygate
