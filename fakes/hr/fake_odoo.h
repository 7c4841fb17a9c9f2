// An Odoo database as its external API documentation and public source
// describe it, for hr.employee and hr.attendance:
//  - JSON-2 (Odoo 19): POST /json/2/MODEL/METHOD, "Authorization: bearer
//    KEY", arguments by name; errors as a status (401 bad key, 404 unknown
//    model or method, 422 a UserError or ValidationError) and a JSON object
//    with name and message;
//  - JSON-RPC (before): POST /jsonrpc, service "common" login and service
//    "object" execute_kw; errors as HTTP 200 with an "error" whose data
//    names the exception.
// search_read takes a domain of [field, operator, value] (=, !=, <, <=, >,
// >=, in, all ANDed), fields, order ("check_in asc|desc"), offset and limit;
// search_count the domain; archived employees are left out unless the
// domain names `active`, as Odoo's active_test does. create and write check
// attendances as hr.attendance's constraints do: a check-out before the
// check-in, an attendance overlapping another, and a second open one are
// refused with Odoo's messages.
#ifndef TALLYGATE_FAKES_HR_FAKE_ODOO_H_
#define TALLYGATE_FAKES_HR_FAKE_ODOO_H_

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fakes/hr/fake_site.h"

namespace tallygate::fakes {

class FakeOdoo final : public FakeSite {
 public:
  enum class Api { kJson2, kJsonRpc };

  struct Employee {
    int64_t id = 0;
    std::string name;
    std::map<std::string, std::string> fields;  // barcode, pin, ...
    bool active = true;
  };
  struct Attendance {
    int64_t id = 0;
    int64_t employee = 0;
    std::string check_in;   // "YYYY-MM-DD HH:MM:SS" UTC
    std::string check_out;  // empty: open
  };

  FakeOdoo(Api api, std::string database = "hr", std::string user = "api@example.com",
           std::string key = "the-key");
  ~FakeOdoo() override;

  void AddEmployee(Employee employee);
  void SetActive(int64_t employee, bool active);
  void AddAttendance(Attendance attendance);  // one made by hand in Odoo
  std::vector<Attendance> Attendances() const;

 private:
  // The method's result, or throws an error of its exception name.
  nlohmann::json Execute(const std::string& model, const std::string& method,
                         const nlohmann::json& ids, const nlohmann::json& kwargs);
  nlohmann::json SearchRead(const std::string& model, const nlohmann::json& kwargs) const;
  nlohmann::json Create(const nlohmann::json& values);
  nlohmann::json Write(const nlohmann::json& ids, const nlohmann::json& values);
  // hr.attendance's _check_validity and _check_validity_check_in_check_out.
  void Check(const Attendance& attendance) const;
  void Json2(const httplib::Request& request, httplib::Response& response);
  void JsonRpc(const httplib::Request& request, httplib::Response& response);

  const Api api_;
  const std::string database_;
  const std::string user_;
  const std::string key_;
  std::vector<Employee> employees_;
  std::vector<Attendance> attendances_;
  int64_t next_id_ = 1;
};

}  // namespace tallygate::fakes

#endif  // TALLYGATE_FAKES_HR_FAKE_ODOO_H_
