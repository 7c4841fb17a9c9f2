#include "collector/deliver/odoo_placer.h"

#include <algorithm>
#include <utility>

#include "collector/base/time_text.h"
#include "collector/base/time_zone.h"
#include "collector/deliver/employee_value.h"

namespace tallygate::collector {
namespace {

using Json = nlohmann::json;
using Verdict = Placement::Verdict;

constexpr std::chrono::minutes kEmployeeKept{5};
constexpr const char* kAttendance = "hr.attendance";

// Odoo's datetime text of a UTC time.
std::string OdooTime(UtcTime time) { return LocalTimeText(LocalTime{time.time_since_epoch()}); }

// A reply that failed for every punch alike (no answer, authentication, a
// field that is not there) ends the try; `refusable` replies of one record
// (Odoo's validation of that write) refuse the punch.
Placement Failed(const OdooReply& reply, bool refusable) {
  if (reply.status == 0 || reply.status == 408 || reply.status == 429 || reply.status >= 500) {
    return {Verdict::kRetry, reply.Text(), reply.retry_after};
  }
  if (refusable && reply.status == 422) return {Verdict::kRefused, reply.Text(), std::nullopt};
  std::string reason = reply.Text();
  if (reply.status == 401 || reply.status == 403) {
    reason += " (check api_key_file, and that the API user may read employees and write"
              " attendances)";
  }
  return {Verdict::kStop, reason, std::nullopt};
}

std::string TextOf(const Json& value) { return value.is_string() ? value.get<std::string>() : ""; }

}  // namespace

OdooPlacer::OdooPlacer(DeliverConfig config, std::vector<SyncTerminal> terminals,
                       std::chrono::minutes day_starts)
    : config_(std::move(config)),
      terminals_(std::move(terminals)),
      day_starts_(day_starts),
      rpc_(config_.hr.site) {}

std::variant<int64_t, Placement> OdooPlacer::Employee(const std::string& value,
                                                      std::stop_token stop) {
  const auto now = std::chrono::steady_clock::now();
  if (const auto kept = employees_.find(value);
      kept != employees_.end() && now - kept->second.second < kEmployeeKept) {
    return kept->second.first;
  }
  const std::string& field = config_.hr.employee_field;
  const OdooReply reply = rpc_.Call(
      "hr.employee", "search_read", {},
      {{"domain", Json::array({Json::array({field, "=", value})}), true},
       {"fields", Json::array({"id"}), false},
       {"limit", 2, false}},
      stop);
  if (!reply.ok()) return Failed(reply, false);
  if (!reply.result.is_array() || reply.result.empty()) {
    return Placement{Verdict::kRefused,
                     "no active employee has " + field + " = \"" + value + "\"", std::nullopt};
  }
  if (reply.result.size() > 1) {
    return Placement{Verdict::kRefused,
                     "two employees have " + field + " = \"" + value + "\"", std::nullopt};
  }
  const int64_t id = reply.result[0].value("id", int64_t{0});
  employees_[value] = {id, now};
  return id;
}

std::variant<std::vector<OdooPlacer::Found>, Placement> OdooPlacer::Search(
    Json domain, const char* order, int limit, std::stop_token stop) {
  const OdooReply reply = rpc_.Call(
      kAttendance, "search_read", {},
      {{"domain", std::move(domain), true},
       {"fields", Json::array({"id", "check_in", "check_out"}), false},
       {"order", order, false},
       {"limit", limit, false}},
      stop);
  if (!reply.ok()) return Failed(reply, false);
  std::vector<Found> found;
  if (!reply.result.is_array()) return found;
  for (const Json& record : reply.result) {
    if (!record.is_object()) continue;
    found.push_back({record.value("id", int64_t{0}), TextOf(record.value("check_in", Json())),
                     TextOf(record.value("check_out", Json()))});
  }
  return found;
}

Placement OdooPlacer::Write(std::vector<int64_t> ids, Json values, std::stop_token stop) {
  const OdooReply reply =
      ids.empty()
          ? rpc_.Call(kAttendance, "create", {}, {{"vals_list", std::move(values), true}}, stop)
          : rpc_.Call(kAttendance, "write", ids, {{"vals", std::move(values), true}}, stop);
  if (!reply.ok()) return Failed(reply, true);
  return {};
}

Placement OdooPlacer::Place(const PunchRow& row, std::stop_token stop) {
  const std::optional<std::string> value = EmployeeValue(row, config_.hr);
  if (!value) return {Verdict::kRefused, NoEmployeeValue(row), std::nullopt};
  if (!row.punch.utc || !row.punch.local) {
    return {Verdict::kRefused, "the punch has no valid date and time", std::nullopt};
  }
  std::variant<int64_t, Placement> employee = Employee(*value, stop);
  if (auto* ended = std::get_if<Placement>(&employee)) return *ended;
  const int64_t id = std::get<int64_t>(employee);
  const std::string at = OdooTime(*row.punch.utc);
  return config_.hr.flags_mapped() ? Directed(row, id, at, stop) : Daily(row, id, at, stop);
}

Placement OdooPlacer::Directed(const PunchRow& row, int64_t employee, const std::string& at,
                               std::stop_token stop) {
  const Direction direction = DirectionOf(row, config_.hr);
  if (direction == Direction::kUnknown) {
    return {Verdict::kRefused,
            "flag " + std::to_string(row.punch.flag) + " is in neither in_flags nor out_flags",
            std::nullopt};
  }
  const bool in = direction == Direction::kIn;
  // Placed before: an attendance begun (or ended) at this very time.
  auto done = Search(Json::array({Json::array({"employee_id", "=", employee}),
                                  Json::array({in ? "check_in" : "check_out", "=", at})}),
                     "check_in desc", 1, stop);
  if (auto* ended = std::get_if<Placement>(&done)) return *ended;
  if (!std::get<std::vector<Found>>(done).empty()) return {};
  auto open = Search(Json::array({Json::array({"employee_id", "=", employee}),
                                  Json::array({"check_out", "=", false})}),
                     "check_in desc", 1, stop);
  if (auto* ended = std::get_if<Placement>(&open)) return *ended;
  const std::vector<Found>& opened = std::get<std::vector<Found>>(open);
  if (in) {
    if (!opened.empty()) return {};  // an IN while one is open belongs to it
    return Write({}, {{"employee_id", employee}, {"check_in", at}}, stop);
  }
  if (opened.empty() || opened.front().check_in > at) {
    return {Verdict::kRefused, "an OUT at " + at + " UTC with no attendance open before it",
            std::nullopt};
  }
  return Write({opened.front().id}, {{"check_out", at}}, stop);
}

Placement OdooPlacer::Daily(const PunchRow& row, int64_t employee, const std::string& at,
                            std::stop_token stop) {
  // The working day the punch counts on, on its terminal's clock, in UTC.
  std::string zone = "UTC";
  for (const SyncTerminal& terminal : terminals_) {
    if (terminal.name == row.terminal) zone = terminal.time_zone;
  }
  const LocalDay day = std::chrono::floor<std::chrono::days>(*row.punch.local - day_starts_);
  const LocalTime start = day + day_starts_;
  const std::optional<UtcTime> from = ToUtc(start, zone);
  const std::optional<UtcTime> to = ToUtc(start + std::chrono::days(1), zone);
  if (!from || !to) return {Verdict::kRefused, "unknown time zone " + zone, std::nullopt};
  auto found = Search(Json::array({Json::array({"employee_id", "=", employee}),
                                   Json::array({"check_in", ">=", OdooTime(*from)}),
                                   Json::array({"check_in", "<", OdooTime(*to)})}),
                      "check_in asc", 1, stop);
  if (auto* ended = std::get_if<Placement>(&found)) return *ended;
  const std::vector<Found>& days = std::get<std::vector<Found>>(found);
  if (days.empty()) {
    return Write({}, {{"employee_id", employee}, {"check_in", at}, {"check_out", at}}, stop);
  }
  const Found& attendance = days.front();
  const std::string last = std::max(attendance.check_in, attendance.check_out);
  if (at < attendance.check_in) {
    // An earlier punch came late: it begins the day, the old beginning may end it.
    return Write({attendance.id}, {{"check_in", at}, {"check_out", last}}, stop);
  }
  if (at > last) return Write({attendance.id}, {{"check_out", at}}, stop);
  return {};  // within the day's attendance already
}

}  // namespace tallygate::collector
