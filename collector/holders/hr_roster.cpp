#include "collector/holders/hr_roster.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "collector/base/value_text.h"
#include "collector/hr/frappe_client.h"
#include "collector/hr/hr_answer.h"
#include "collector/hr/odoo_rpc.h"

namespace tallygate::collector {
namespace {

using Json = nlohmann::json;

// A page of a thousand employees with their fields is well under this.
constexpr size_t kPageKept = 8 << 20;

// A field's value as text: a string, a number, a link ([id, "name"] in
// Odoo) by its name; false, null or absent: empty.
std::string Text(const Json& record, const std::string& field) {
  if (field.empty() || !record.is_object()) return "";
  const auto found = record.find(field);
  if (found == record.end() || found->is_null() || found->is_boolean()) return "";
  if (found->is_string()) return found->get<std::string>();
  if (found->is_number_integer()) return std::to_string(found->get<int64_t>());
  if (found->is_array() && found->size() == 2 && (*found)[1].is_string()) {
    return (*found)[1].get<std::string>();
  }
  return found->dump();
}

std::optional<LocalDay> Day(const Json& record, const std::string& field, const Employee& who) {
  const std::string text = Text(record, field);
  if (text.empty()) return std::nullopt;
  const std::optional<LocalDay> day = ParseDay(text.substr(0, 10));
  if (!day) throw RosterError("employee " + who.id + ": " + field + " \"" + text + "\" is no date");
  return day;
}

// The fields asked for, each once.
std::vector<std::string> Fields(const HolderSourceConfig& source, const char* id,
                                const char* state) {
  std::vector<std::string> fields = {id, state};
  for (const std::string* field : {&source.card_field, &source.staff_field, &source.name_field,
                                   &source.group_field, &source.valid_from_field,
                                   &source.valid_until_field}) {
    if (!field->empty() && std::find(fields.begin(), fields.end(), *field) == fields.end()) {
      fields.push_back(*field);
    }
  }
  return fields;
}

Employee FromRecord(const Json& record, const HolderSourceConfig& source, const char* id) {
  Employee employee;
  employee.id = Text(record, id);
  employee.card = Text(record, source.card_field);
  employee.staff = Text(record, source.staff_field);
  employee.name = Text(record, source.name_field);
  employee.group = Text(record, source.group_field);
  employee.valid_from = Day(record, source.valid_from_field, employee);
  employee.valid_until = Day(record, source.valid_until_field, employee);
  return employee;
}

// The pages together hold as many employees as were counted: a page that
// came back short (a filter, a limit of the site's) is a partial read.
void CheckWhole(const std::vector<Employee>& employees, int64_t counted) {
  if (static_cast<int64_t>(employees.size()) != counted) {
    throw RosterError("read " + std::to_string(employees.size()) + " employees of the " +
                      std::to_string(counted) + " counted: a partial read changes nothing");
  }
}

// ---- ERPNext: GET /api/resource/Employee, paged ----

int64_t FrappeCount(FrappeClient& site, std::stop_token stop) {
  const HttpAnswer answer = site.Send(
      "GET", "/api/method/frappe.client.get_count?doctype=Employee", "", std::move(stop));
  if (answer.status != 200) {
    throw RosterError("counting the employees: " +
                      AnswerText(answer, answer.status == 0 ? "" : FrappeMessage(answer.body)));
  }
  const Json body = Json::parse(answer.body, nullptr, false);
  if (!body.is_object() || !body.contains("message") || !body["message"].is_number_integer()) {
    throw RosterError("counting the employees: the answer is no count");
  }
  return body["message"].get<int64_t>();
}

std::vector<Employee> ReadFrappe(const HolderSourceConfig& source, std::stop_token stop) {
  FrappeClient site(source.site);
  const int64_t before = FrappeCount(site, stop);
  const std::string fields = UrlEscape(Json(Fields(source, "name", "status")).dump());
  std::vector<Employee> employees;
  for (size_t start = 0;; start += static_cast<size_t>(source.page_size)) {
    const HttpAnswer answer = site.Send(
        "GET",
        "/api/resource/Employee?fields=" + fields + "&order_by=name%20asc&limit_start=" +
            std::to_string(start) + "&limit_page_length=" + std::to_string(source.page_size),
        "", stop, kPageKept);
    if (answer.status != 200) {
      throw RosterError("reading employees from " + std::to_string(start) + ": " +
                        AnswerText(answer, answer.status == 0 ? "" : FrappeMessage(answer.body)));
    }
    const Json body = Json::parse(answer.body, nullptr, false);
    if (!body.is_object() || !body.contains("data") || !body["data"].is_array()) {
      throw RosterError("reading employees from " + std::to_string(start) +
                        ": the answer has no list of employees");
    }
    for (const Json& record : body["data"]) {
      Employee employee = FromRecord(record, source, "name");
      const std::string status = Text(record, "status");
      employee.active = std::find(source.active.begin(), source.active.end(), status) !=
                        source.active.end();
      employees.push_back(std::move(employee));
    }
    if (body["data"].size() < static_cast<size_t>(source.page_size)) break;
  }
  if (FrappeCount(site, stop) != before) {
    throw RosterError("the employees changed while they were read: read again at the next time");
  }
  CheckWhole(employees, before);
  return employees;
}

// ---- Odoo: hr.employee, archived ones too ----

const Json kEveryEmployee = Json::array({Json::array({"active", "in", Json::array({true, false})})});

int64_t OdooCount(OdooRpc& rpc, std::stop_token stop) {
  const OdooReply reply =
      rpc.Call("hr.employee", "search_count", {}, {{"domain", kEveryEmployee, true}}, stop);
  if (!reply.ok() || !reply.result.is_number_integer()) {
    throw RosterError("counting the employees: " + (reply.ok() ? "the answer is no count"
                                                               : reply.Text()));
  }
  return reply.result.get<int64_t>();
}

std::vector<Employee> ReadOdoo(const HolderSourceConfig& source, std::stop_token stop) {
  OdooRpc rpc(source.site);
  const int64_t before = OdooCount(rpc, stop);
  std::vector<Employee> employees;
  for (int64_t offset = 0;; offset += source.page_size) {
    const OdooReply reply = rpc.Call(
        "hr.employee", "search_read", {},
        {{"domain", kEveryEmployee, true},
         {"fields", Fields(source, "id", "active"), false},
         {"order", "id asc", false},
         {"offset", offset, false},
         {"limit", source.page_size, false}},
        stop);
    if (!reply.ok() || !reply.result.is_array()) {
      throw RosterError("reading employees from " + std::to_string(offset) + ": " +
                        (reply.ok() ? "the answer has no list of employees" : reply.Text()));
    }
    for (const Json& record : reply.result) {
      Employee employee = FromRecord(record, source, "id");
      employee.active = record.value("active", false);
      employees.push_back(std::move(employee));
    }
    if (reply.result.size() < static_cast<size_t>(source.page_size)) break;
  }
  if (OdooCount(rpc, stop) != before) {
    throw RosterError("the employees changed while they were read: read again at the next time");
  }
  CheckWhole(employees, before);
  return employees;
}

}  // namespace

std::vector<Employee> ReadRoster(const HolderSourceConfig& source, std::stop_token stop) {
  std::vector<Employee> employees = source.kind == HolderSourceConfig::Kind::kErpnext
                                        ? ReadFrappe(source, stop)
                                        : ReadOdoo(source, stop);
  // Paging by offset while records come and go could give one twice.
  std::set<std::string> ids;
  for (const Employee& employee : employees) {
    if (!ids.insert(employee.id).second) {
      throw RosterError("employee " + employee.id + " was read twice: read again at the next time");
    }
  }
  std::sort(employees.begin(), employees.end(),
            [](const Employee& a, const Employee& b) { return a.id < b.id; });
  return employees;
}

}  // namespace tallygate::collector
