#include "collector/deliver/erpnext_placer.h"

#include <nlohmann/json.hpp>

#include <utility>

#include "collector/base/log.h"
#include "collector/base/time_text.h"
#include "collector/deliver/employee_value.h"
#include "collector/hr/hr_answer.h"

namespace tallygate::collector {
namespace {

using Verdict = Placement::Verdict;

constexpr std::string_view kDuplicate = "already has a log with the same timestamp";

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// What every request's failure of the site as a whole comes to, or nothing
// when the answer concerns the request alone.
std::optional<Placement> SiteFailure(const HttpAnswer& answer, const std::string& message) {
  if (Passing(answer)) return Placement{Verdict::kRetry, AnswerText(answer, message),
                                        answer.retry_after};
  if (answer.status == 401 || answer.status == 403) {
    return Placement{Verdict::kStop,
                     AnswerText(answer, message) +
                         " (check api_key_file and api_secret_file, and the API user's roles)",
                     std::nullopt};
  }
  if (answer.status >= 300 && answer.status < 400) {
    return Placement{Verdict::kStop,
                     AnswerText(answer, message) +
                         " (redirects are not followed: set url to where it leads)",
                     std::nullopt};
  }
  return std::nullopt;
}

}  // namespace

ErpnextPlacer::ErpnextPlacer(DeliverConfig config, std::vector<SyncTerminal> terminals)
    : config_(std::move(config)), terminals_(std::move(terminals)), site_(config_.hr.site) {}

Placement ErpnextPlacer::Judge(const HttpAnswer& answer, bool& missing) const {
  missing = false;
  if (answer.status >= 200 && answer.status < 300) return {};
  const std::string message = answer.status == 0 ? "" : FrappeMessage(answer.body);
  if (std::optional<Placement> failed = SiteFailure(answer, message)) return *failed;
  // A method that is not there: 404, or (Frappe before 15) a
  // ValidationError saying it could not be imported.
  if (answer.status == 404 || Contains(message, "Failed to get method") ||
      Contains(message, "No module named")) {
    missing = true;
    return {Verdict::kStop, AnswerText(answer, message), std::nullopt};
  }
  if (Contains(message, kDuplicate)) return {};  // placed before
  return {Verdict::kRefused, AnswerText(answer, message), std::nullopt};
}

Placement ErpnextPlacer::Place(const PunchRow& row, std::stop_token stop) {
  const HrDeliverConfig& hr = config_.hr;
  const std::optional<std::string> value = EmployeeValue(row, hr);
  if (!value) return {Verdict::kRefused, NoEmployeeValue(row), std::nullopt};
  if (!row.punch.local) {
    return {Verdict::kRefused, "the punch has no valid date and time", std::nullopt};
  }
  nlohmann::json body = {{"employee_field_value", *value},
                         {"timestamp", LocalTimeText(*row.punch.local)},
                         {"device_id", hr.device_id.empty() ? row.terminal : hr.device_id},
                         {"employee_fieldname", hr.employee_field}};
  const Direction direction = DirectionOf(row, hr);
  if (direction != Direction::kUnknown) body["log_type"] = direction == Direction::kIn ? "IN" : "OUT";
  const std::string text = body.dump();
  bool missing = false;
  if (method_ >= 0) {
    const Placement placement =
        Judge(site_.Send("POST", std::string("/api/method/") + kCheckinMethods[method_], text, stop),
              missing);
    if (!missing) return placement;
    method_ = -1;  // the site changed (an upgrade): found again below
  }
  std::string tried;
  for (int i = 0; i < static_cast<int>(std::size(kCheckinMethods)); ++i) {
    const Placement placement =
        Judge(site_.Send("POST", std::string("/api/method/") + kCheckinMethods[i], text, stop), missing);
    if (!missing) {
      method_ = i;
      Log(LogLevel::kInfo, "sink " + config_.name + ": check-ins go to " + kCheckinMethods[i]);
      return placement;
    }
    tried += (tried.empty() ? "" : "; ") + placement.reason;
  }
  return {Verdict::kStop,
          "the site has no check-in method at either path (" + tried +
              "): is Frappe HR installed, and url the site's address?",
          std::nullopt};
}

Placement ErpnextPlacer::SetShiftSync(const std::string& shift_type, LocalTime time,
                                      std::stop_token stop) {
  const nlohmann::json body = {{"last_sync_of_checkin", LocalTimeText(time)}};
  const HttpAnswer answer =
      site_.Send("PUT", "/api/resource/Shift%20Type/" + UrlEscape(shift_type), body.dump(), stop);
  if (answer.status >= 200 && answer.status < 300) return {};
  const std::string message = answer.status == 0 ? "" : FrappeMessage(answer.body);
  if (std::optional<Placement> failed = SiteFailure(answer, message)) return *failed;
  return {Verdict::kStop,
          "Shift Type \"" + shift_type + "\": " + AnswerText(answer, message) +
              (answer.status == 404 ? " (is it named so on the site?)" : ""),
          std::nullopt};
}

Placement ErpnextPlacer::Follow(PunchReader& punches, SinkState& state, std::stop_token stop) {
  follow_due_ = std::chrono::steady_clock::now() + kShiftSyncEvery;
  if (config_.hr.shift_types.empty()) return {};
  const ShiftSync sync =
      ShiftSyncTime(terminals_, punches.States(), punches.OldestAfter(state.position));
  if (!sync.time || (state.shift_sync && *sync.time <= *state.shift_sync)) return {};
  for (const std::string& shift_type : config_.hr.shift_types) {
    const Placement placement = SetShiftSync(shift_type, *sync.time, stop);
    if (placement.verdict != Verdict::kPlaced) return placement;
  }
  state.shift_sync = sync.time;
  Log(LogLevel::kInfo, "sink " + config_.name + ": Shift Types' last sync of check-ins moved to " +
                           LocalTimeText(*sync.time) + " (held by " + sync.held_by + ")");
  return {};
}

std::chrono::steady_clock::time_point ErpnextPlacer::FollowDue() const {
  if (config_.hr.shift_types.empty()) return std::chrono::steady_clock::time_point::max();
  return follow_due_;
}

}  // namespace tallygate::collector
