// A Frappe HR site as its documentation and public source describe it:
//  - POST /api/method/hrms.hr.doctype.employee_checkin.employee_checkin.
//    add_log_based_on_employee_field (or erpnext.hr... on a site from
//    before Frappe HR was its own app), which finds the employee by a
//    field and inserts an Employee Checkin, refusing an employee that is
//    missing or not Active, and a second log of one employee with the same
//    time and log type;
//  - PUT /api/resource/Shift Type/NAME, setting last_sync_of_checkin;
//  - GET /api/resource/Employee, paged (limit_start, limit_page_length), and
//    GET /api/method/frappe.client.get_count?doctype=Employee;
//  - "Authorization: token KEY:SECRET" on every request (401 otherwise);
// errors as Frappe answers them: the HTTP status of the exception (417 for
// a ValidationError) and a JSON body with exc_type, exception and
// _server_messages.
#ifndef TALLYGATE_FAKES_HR_FAKE_FRAPPE_H_
#define TALLYGATE_FAKES_HR_FAKE_FRAPPE_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fakes/hr/fake_site.h"

namespace tallygate::fakes {

class FakeFrappe final : public FakeSite {
 public:
  // Where the check-in method lives; a site without it at the path asked
  // answers as its version does: 404, or (older Frappe) 417 "Failed to get
  // method for command ...".
  enum class Home { kHrms, kErpnext };
  enum class MissingMethod { k404, k417 };

  struct Employee {
    std::string name;                            // "HR-EMP-00001"
    std::map<std::string, std::string> fields;   // attendance_device_id, ...
    std::string status = "Active";               // or "Left", "Inactive", "Suspended"
  };
  struct Checkin {
    std::string name;
    std::string employee;
    std::string time;  // "YYYY-MM-DD HH:MM:SS"
    std::string device_id;
    std::string log_type;
  };

  FakeFrappe(Home home = Home::kHrms, MissingMethod missing = MissingMethod::k404,
             std::string key = "the-key", std::string secret = "the-secret");
  ~FakeFrappe() override;

  void AddEmployee(Employee employee);
  void SetStatus(const std::string& employee, const std::string& status);
  void SetField(const std::string& employee, const std::string& field, const std::string& value);
  void AddShiftType(const std::string& name);
  // The Shift Type's last_sync_of_checkin; absent when never set.
  std::optional<std::string> ShiftSync(const std::string& name) const;
  std::vector<Checkin> Checkins() const;

 private:
  void PostCheckin(const httplib::Request& request, httplib::Response& response);
  void ShiftType(const httplib::Request& request, httplib::Response& response);
  void Employees(const httplib::Request& request, httplib::Response& response);
  bool Authorized(const httplib::Request& request, httplib::Response& response) const;

  const Home home_;
  const MissingMethod missing_;
  const std::string token_;
  std::vector<Employee> employees_;
  std::map<std::string, std::optional<std::string>> shift_types_;
  std::vector<Checkin> checkins_;
};

}  // namespace tallygate::fakes

#endif  // TALLYGATE_FAKES_HR_FAKE_FRAPPE_H_
