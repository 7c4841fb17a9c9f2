#include "fakes/hr/fake_frappe.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tallygate::fakes {
namespace {

using Json = nlohmann::json;

constexpr const char* kMethod =
    ".hr.doctype.employee_checkin.employee_checkin.add_log_based_on_employee_field";

// Frappe's error answer for an exception of `type` with `message`.
void Throw(httplib::Response& response, int status, const std::string& type,
           const std::string& message) {
  response.status = status;
  const Json server_messages = Json::array({Json({{"message", message}, {"indicator", "red"},
                                                  {"raise_exception", 1}})
                                                .dump()});
  response.set_content(Json({{"exc_type", type},
                             {"exception", "frappe.exceptions." + type + ": " + message},
                             {"_server_messages", server_messages.dump()}})
                           .dump(),
                       "application/json");
}

}  // namespace

FakeFrappe::FakeFrappe(Home home, MissingMethod missing, std::string key, std::string secret)
    : home_(home), missing_(missing), token_("token " + key + ":" + secret) {
  server().Post(R"(/api/method/(.+))", [this](const httplib::Request& request,
                                              httplib::Response& response) {
    PostCheckin(request, response);
  });
  server().Put(R"(/api/resource/Shift Type/(.+))", [this](const httplib::Request& request,
                                                          httplib::Response& response) {
    ShiftType(request, response);
  });
  server().Get("/api/resource/Employee", [this](const httplib::Request& request,
                                                httplib::Response& response) {
    Employees(request, response);
  });
  server().Get("/api/method/frappe.client.get_count", [this](const httplib::Request& request,
                                                             httplib::Response& response) {
    const std::lock_guard lock(mutex());
    if (!Authorized(request, response)) return;
    if (request.get_param_value("doctype") != "Employee") {
      Throw(response, 404, "DoesNotExistError", "DocType not found");
      return;
    }
    response.set_content(Json({{"message", employees_.size()}}).dump(), "application/json");
  });
  Start();
}

FakeFrappe::~FakeFrappe() { Stop(); }

bool FakeFrappe::Authorized(const httplib::Request& request, httplib::Response& response) const {
  if (request.get_header_value("Authorization") == token_) return true;
  Throw(response, 401, "AuthenticationError", "Invalid Request");
  return false;
}

void FakeFrappe::PostCheckin(const httplib::Request& request, httplib::Response& response) {
  const std::lock_guard lock(mutex());
  if (!Authorized(request, response)) return;
  const std::string method = request.matches[1];
  const std::string here = (home_ == Home::kHrms ? "hrms" : "erpnext") + std::string(kMethod);
  if (method != here) {
    const std::string module = method.substr(0, method.find('.'));
    if (missing_ == MissingMethod::k404) {
      Throw(response, 404, "DoesNotExistError", "Method not found: " + method);
    } else {
      Throw(response, 417, "ValidationError",
            "Failed to get method for command " + method + " with No module named '" + module +
                ".hr'");
    }
    return;
  }
  const int fault = DrawFault();
  if (fault == 503) {
    response.status = 503;
    return;
  }
  const Json args = Json::parse(request.body, nullptr, false);
  if (!args.is_object() || !args.contains("employee_field_value") ||
      !args.contains("timestamp")) {
    Throw(response, 417, "ValidationError", "'employee_field_value' and 'timestamp' are required.");
    return;
  }
  const std::string field = args.value("employee_fieldname", "attendance_device_id");
  const std::string value = args["employee_field_value"].get<std::string>();
  const auto employee = std::find_if(employees_.begin(), employees_.end(), [&](const Employee& e) {
    const auto found = e.fields.find(field);
    return found != e.fields.end() && found->second == value;
  });
  if (employee == employees_.end()) {
    Throw(response, 417, "ValidationError",
          "No Employee found for the given employee field value. '" + field + "': " + value);
    return;
  }
  if (employee->status != "Active") {
    Throw(response, 417, "InactiveEmployeeStatusError",
          "Transactions cannot be created for an Inactive Employee " + employee->name + ".");
    return;
  }
  Checkin checkin{"EMP-CKIN-" + std::to_string(checkins_.size() + 1), employee->name,
                         args["timestamp"].get<std::string>(), args.value("device_id", ""),
                         args.value("log_type", "")};
  const bool twice = std::any_of(checkins_.begin(), checkins_.end(), [&](const Checkin& c) {
    return c.employee == checkin.employee && c.time == checkin.time &&
           c.log_type == checkin.log_type;
  });
  if (twice) {
    Throw(response, 417, "ValidationError",
          "This employee already has a log with the same timestamp.<Br><a href=\"/app/"
          "employee-checkin/x\">x</a>");
    return;
  }
  checkins_.push_back(checkin);
  if (fault == 502) {
    response.status = 502;
    return;
  }
  response.set_content(Json({{"message", {{"name", checkin.name}, {"employee", checkin.employee},
                                          {"time", checkin.time}}}})
                           .dump(),
                       "application/json");
}

void FakeFrappe::ShiftType(const httplib::Request& request, httplib::Response& response) {
  const std::lock_guard lock(mutex());
  if (!Authorized(request, response)) return;
  const std::string name = request.matches[1];
  const auto found = shift_types_.find(name);
  if (found == shift_types_.end()) {
    Throw(response, 404, "DoesNotExistError", "Shift Type " + name + " not found");
    return;
  }
  const Json values = Json::parse(request.body, nullptr, false);
  if (!values.is_object() || !values.contains("last_sync_of_checkin")) {
    Throw(response, 417, "ValidationError", "nothing to set");
    return;
  }
  found->second = values["last_sync_of_checkin"].get<std::string>();
  response.set_content(Json({{"data", {{"name", name}, {"last_sync_of_checkin", *found->second}}}})
                           .dump(),
                       "application/json");
}

void FakeFrappe::Employees(const httplib::Request& request, httplib::Response& response) {
  const std::lock_guard lock(mutex());
  if (!Authorized(request, response)) return;
  if (DrawFault() != 0) {
    response.status = 503;
    return;
  }
  const size_t start = request.has_param("limit_start")
                           ? std::stoul(request.get_param_value("limit_start")) : 0;
  const size_t length = request.has_param("limit_page_length")
                            ? std::stoul(request.get_param_value("limit_page_length")) : 20;
  Json data = Json::array();
  for (size_t i = start; i < employees_.size() && i < start + length; ++i) {
    Json row = {{"name", employees_[i].name}, {"status", employees_[i].status}};
    for (const auto& [key, value] : employees_[i].fields) row[key] = value;
    data.push_back(row);
  }
  response.set_content(Json({{"data", data}}).dump(), "application/json");
}

void FakeFrappe::AddEmployee(Employee employee) {
  const std::lock_guard lock(mutex());
  employees_.push_back(std::move(employee));
}

void FakeFrappe::SetStatus(const std::string& employee, const std::string& status) {
  const std::lock_guard lock(mutex());
  for (Employee& each : employees_) {
    if (each.name == employee) each.status = status;
  }
}

void FakeFrappe::SetField(const std::string& employee, const std::string& field,
                          const std::string& value) {
  const std::lock_guard lock(mutex());
  for (Employee& each : employees_) {
    if (each.name == employee) each.fields[field] = value;
  }
}

void FakeFrappe::AddShiftType(const std::string& name) {
  const std::lock_guard lock(mutex());
  shift_types_[name];
}

std::optional<std::string> FakeFrappe::ShiftSync(const std::string& name) const {
  const std::lock_guard lock(mutex());
  const auto found = shift_types_.find(name);
  return found == shift_types_.end() ? std::nullopt : found->second;
}

std::vector<FakeFrappe::Checkin> FakeFrappe::Checkins() const {
  const std::lock_guard lock(mutex());
  return checkins_;
}

}  // namespace tallygate::fakes
