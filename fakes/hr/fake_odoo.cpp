#include "fakes/hr/fake_odoo.h"

#include <algorithm>
#include <stdexcept>

namespace tallygate::fakes {
namespace {

using Json = nlohmann::json;

constexpr int64_t kUid = 7;

// An exception of Odoo's, by its qualified name and the status JSON-2
// gives it.
struct OdooError : std::runtime_error {
  OdooError(std::string qualified, int http_status, const std::string& message)
      : std::runtime_error(message), name(std::move(qualified)), status(http_status) {}
  std::string name;
  int status;
};

[[noreturn]] void Invalid(const std::string& message) {
  throw OdooError("odoo.exceptions.ValidationError", 422, message);
}

bool Compare(const Json& have, const std::string& op, const Json& want) {
  if (op == "=") return have == want;
  if (op == "!=") return have != want;
  if (op == "in") return want.is_array() && std::find(want.begin(), want.end(), have) != want.end();
  if (!have.is_string() || !want.is_string()) return false;  // false (unset) compares with nothing
  const std::string a = have.get<std::string>();
  const std::string b = want.get<std::string>();
  if (op == "<") return a < b;
  if (op == "<=") return a <= b;
  if (op == ">") return a > b;
  if (op == ">=") return a >= b;
  throw OdooError("builtins.ValueError", 422, "Invalid leaf operator " + op);
}

bool Matches(const Json& record, const Json& domain) {
  for (const Json& leaf : domain) {
    if (!leaf.is_array() || leaf.size() != 3) Invalid("Invalid leaf " + leaf.dump());
    const std::string field = leaf[0].get<std::string>();
    if (!record.contains(field)) {
      throw OdooError("builtins.ValueError", 422, "Invalid field " + field + " in leaf");
    }
    if (!Compare(record[field], leaf[1].get<std::string>(), leaf[2])) return false;
  }
  return true;
}

Json AttendanceRecord(const FakeOdoo::Attendance& a) {
  return {{"id", a.id},
          {"employee_id", a.employee},
          {"check_in", a.check_in},
          {"check_out", a.check_out.empty() ? Json(false) : Json(a.check_out)}};
}

void ErrorAnswer(httplib::Response& response, const OdooError& error, bool json_rpc,
                 const Json& id) {
  const Json body = {{"name", error.name},
                     {"message", error.what()},
                     {"arguments", Json::array({error.what()})},
                     {"context", Json::object()},
                     {"debug", "Traceback (most recent call last): ..."}};
  if (json_rpc) {
    response.set_content(Json({{"jsonrpc", "2.0"},
                               {"id", id},
                               {"error", {{"code", 200}, {"message", "Odoo Server Error"},
                                          {"data", body}}}})
                             .dump(),
                         "application/json");
    return;
  }
  response.status = error.status;
  response.set_content(body.dump(), "application/json");
}

}  // namespace

FakeOdoo::FakeOdoo(Api api, std::string database, std::string user, std::string key)
    : api_(api), database_(std::move(database)), user_(std::move(user)), key_(std::move(key)) {
  if (api_ == Api::kJson2) {
    server().Post(R"(/json/2/([^/]+)/([^/]+))", [this](const httplib::Request& request,
                                                       httplib::Response& response) {
      Json2(request, response);
    });
  } else {
    server().Post("/jsonrpc", [this](const httplib::Request& request,
                                     httplib::Response& response) { JsonRpc(request, response); });
  }
  Start();
}

FakeOdoo::~FakeOdoo() { Stop(); }

void FakeOdoo::Json2(const httplib::Request& request, httplib::Response& response) {
  const std::lock_guard lock(mutex());
  try {
    if (request.get_header_value("Authorization") != "bearer " + key_) {
      throw OdooError("werkzeug.exceptions.Unauthorized", 401, "Invalid apikey");
    }
    if (request.has_header("X-Odoo-Database") &&
        request.get_header_value("X-Odoo-Database") != database_) {
      throw OdooError("werkzeug.exceptions.NotFound", 404, "database not found");
    }
    const int fault = DrawFault();
    if (fault == 503) {
      response.status = 503;
      return;
    }
    Json body = Json::parse(request.body, nullptr, false);
    if (!body.is_object()) {
      throw OdooError("werkzeug.exceptions.BadRequest", 400, "could not parse the body as json");
    }
    const Json ids = body.value("ids", Json::array());
    body.erase("ids");
    body.erase("context");
    const Json result = Execute(request.matches[1], request.matches[2], ids, body);
    if (fault == 502) {
      response.status = 502;
      return;
    }
    response.set_content(result.dump(), "application/json");
  } catch (const OdooError& error) {
    ErrorAnswer(response, error, false, nullptr);
  } catch (const Json::exception& error) {
    ErrorAnswer(response, OdooError("builtins.TypeError", 422, error.what()), false, nullptr);
  }
}

void FakeOdoo::JsonRpc(const httplib::Request& request, httplib::Response& response) {
  const std::lock_guard lock(mutex());
  const Json call = Json::parse(request.body, nullptr, false);
  const Json id = call.is_object() ? call.value("id", Json()) : Json();
  try {
    if (!call.is_object() || !call.contains("params")) Invalid("not a JSON-RPC call");
    const Json& params = call["params"];
    const std::string service = params.value("service", "");
    const std::string method = params.value("method", "");
    const Json args = params.value("args", Json::array());
    Json result;
    if (service == "common" && method == "login") {
      result = args.size() == 3 && args[0] == database_ && args[1] == user_ && args[2] == key_
                   ? Json(kUid) : Json(false);
    } else if (service == "object" && method == "execute_kw") {
      if (args.size() < 6 || args[0] != database_ || args[1] != kUid || args[2] != key_) {
        throw OdooError("odoo.exceptions.AccessDenied", 401, "Access Denied");
      }
      const int fault = DrawFault();
      if (fault == 503) {
        response.status = 503;
        return;
      }
      const std::string model = args[3].get<std::string>();
      const std::string name = args[4].get<std::string>();
      Json positional = args[5];
      Json kwargs = args.size() > 6 ? args[6] : Json::object();
      // Positional arguments as the methods name them.
      Json ids = Json::array();
      if (name == "write") {
        ids = positional.at(0);
        kwargs["vals"] = positional.at(1);
      } else if (name == "create") {
        kwargs["vals_list"] = positional.at(0);
      } else if ((name == "search_read" || name == "search_count") && !positional.empty()) {
        kwargs["domain"] = positional.at(0);
      }
      result = Execute(model, name, ids, kwargs);
      if (fault == 502) {
        response.status = 502;
        return;
      }
    } else {
      throw OdooError("werkzeug.exceptions.NotFound", 404, "no service " + service);
    }
    response.set_content(Json({{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}).dump(),
                         "application/json");
  } catch (const OdooError& error) {
    ErrorAnswer(response, error, true, id);
  } catch (const Json::exception& error) {
    ErrorAnswer(response, OdooError("builtins.TypeError", 422, error.what()), true, id);
  }
}

Json FakeOdoo::Execute(const std::string& model, const std::string& method, const Json& ids,
                       const Json& kwargs) {
  if (model != "hr.employee" && model != "hr.attendance") {
    throw OdooError("werkzeug.exceptions.NotFound", 404,
                    "the model '" + model + "' does not exist");
  }
  if (method == "search_read") return SearchRead(model, kwargs);
  if (method == "search_count") return SearchRead(model, kwargs).size();
  if (model == "hr.attendance" && method == "create") return Create(kwargs.at("vals_list"));
  if (model == "hr.attendance" && method == "write") return Write(ids, kwargs.at("vals"));
  throw OdooError("werkzeug.exceptions.NotFound", 404,
                  "The method '" + method + "' does not exist on the model '" + model + "'");
}

Json FakeOdoo::SearchRead(const std::string& model, const Json& kwargs) const {
  const Json domain = kwargs.value("domain", Json::array());
  const Json fields = kwargs.value("fields", Json::array());
  const size_t limit = kwargs.value("limit", size_t{0});
  const size_t offset = kwargs.value("offset", size_t{0});
  std::vector<Json> records;
  if (model == "hr.employee") {
    // Archived records are left out of a search unless its domain asks
    // for them by `active`, as Odoo's active_test does.
    const bool any_active = std::any_of(domain.begin(), domain.end(), [](const Json& leaf) {
      return leaf.is_array() && !leaf.empty() && leaf[0] == "active";
    });
    for (const Employee& e : employees_) {
      if (!e.active && !any_active) continue;
      Json record = {{"id", e.id}, {"name", e.name}, {"active", e.active}};
      for (const auto& [key, value] : e.fields) record[key] = value;
      if (Matches(record, domain)) records.push_back(record);
    }
  } else {
    for (const Attendance& a : attendances_) {
      const Json record = AttendanceRecord(a);
      if (Matches(record, domain)) records.push_back(record);
    }
    const std::string order = kwargs.value("order", "check_in desc");
    std::stable_sort(records.begin(), records.end(), [&](const Json& x, const Json& y) {
      return order == "check_in asc" ? x["check_in"] < y["check_in"]
                                     : x["check_in"] > y["check_in"];
    });
  }
  records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(offset, records.size())));
  if (limit > 0 && records.size() > limit) records.resize(limit);
  Json result = Json::array();
  for (const Json& record : records) {
    Json picked = Json::object();
    for (const Json& field : fields) {
      const std::string name = field.get<std::string>();
      picked[name] = record.value(name, Json(false));
    }
    result.push_back(fields.empty() ? record : picked);
  }
  return result;
}

void FakeOdoo::Check(const Attendance& a) const {
  if (!a.check_out.empty() && a.check_out < a.check_in) {
    Invalid("\"Check Out\" time cannot be earlier than \"Check In\" time.");
  }
  const Attendance* before = nullptr;  // the last begun at or before a's check-in
  const Attendance* open = nullptr;
  const Attendance* before_out = nullptr;
  for (const Attendance& other : attendances_) {
    if (other.id == a.id || other.employee != a.employee) continue;
    if (other.check_in <= a.check_in && (before == nullptr || other.check_in > before->check_in)) {
      before = &other;
    }
    if (other.check_out.empty() && (open == nullptr || other.check_in > open->check_in)) {
      open = &other;
    }
    if (!a.check_out.empty() && other.check_in < a.check_out &&
        (before_out == nullptr || other.check_in > before_out->check_in)) {
      before_out = &other;
    }
  }
  if (before != nullptr && !before->check_out.empty() && before->check_out > a.check_in) {
    Invalid("Cannot create new attendance record for employee " + std::to_string(a.employee) +
            ", the employee was already checked in on " + a.check_in);
  }
  if (a.check_out.empty()) {
    if (open != nullptr) {
      Invalid("Cannot create new attendance record for employee " + std::to_string(a.employee) +
              ", the employee hasn't checked out since " + open->check_in);
    }
  } else if (before_out != nullptr && before_out != before) {
    Invalid("Cannot create new attendance record for employee " + std::to_string(a.employee) +
            ", the employee was already checked in on " + before_out->check_in);
  }
}

Json FakeOdoo::Create(const Json& values) {
  const Json list = values.is_array() ? values : Json::array({values});
  Json ids = Json::array();
  std::vector<Attendance> made;
  for (const Json& each : list) {
    Attendance a;
    a.id = next_id_++;
    a.employee = each.at("employee_id").get<int64_t>();
    a.check_in = each.at("check_in").get<std::string>();
    if (each.contains("check_out") && each["check_out"].is_string()) {
      a.check_out = each["check_out"].get<std::string>();
    }
    Check(a);
    attendances_.push_back(a);
    ids.push_back(a.id);
  }
  return values.is_array() ? ids : ids[0];
}

Json FakeOdoo::Write(const Json& ids, const Json& values) {
  // The writes are checked together and kept only when all pass, as in
  // Odoo's transaction.
  std::vector<Attendance> after = attendances_;
  for (const Json& id : ids) {
    auto found = std::find_if(after.begin(), after.end(),
                              [&](const Attendance& a) { return a.id == id.get<int64_t>(); });
    if (found == after.end()) {
      throw OdooError("odoo.exceptions.MissingError", 404, "Record does not exist or has been"
                                                           " deleted.");
    }
    if (values.contains("check_in")) found->check_in = values["check_in"].get<std::string>();
    if (values.contains("check_out")) {
      found->check_out = values["check_out"].is_string() ? values["check_out"].get<std::string>()
                                                         : "";
    }
  }
  std::swap(attendances_, after);
  try {
    for (const Json& id : ids) {
      for (const Attendance& a : attendances_) {
        if (a.id == id.get<int64_t>()) Check(a);
      }
    }
  } catch (...) {
    std::swap(attendances_, after);
    throw;
  }
  return true;
}

void FakeOdoo::AddEmployee(Employee employee) {
  const std::lock_guard lock(mutex());
  employees_.push_back(std::move(employee));
}

void FakeOdoo::SetActive(int64_t employee, bool active) {
  const std::lock_guard lock(mutex());
  for (Employee& each : employees_) {
    if (each.id == employee) each.active = active;
  }
}

void FakeOdoo::AddAttendance(Attendance attendance) {
  const std::lock_guard lock(mutex());
  attendance.id = next_id_++;
  attendances_.push_back(std::move(attendance));
}

std::vector<FakeOdoo::Attendance> FakeOdoo::Attendances() const {
  const std::lock_guard lock(mutex());
  return attendances_;
}

}  // namespace tallygate::fakes
