// tallygate-fake-hr KIND EMPLOYEES: serves a fake HR system on 127.0.0.1
// until SIGTERM or SIGINT, with EMPLOYEES employees whose staff numbers are
// 00000001 up (attendance_device_id on Frappe HR, barcode on Odoo). KIND is
// erpnext, odoo-json2 or odoo-jsonrpc. Prints "url URL", then, when
// stopped, what it holds: "checkins N" or "attendances N".
#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "fakes/hr/fake_frappe.h"
#include "fakes/hr/fake_odoo.h"

namespace {

std::string Staff(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%08d", n);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tallygate::fakes;
  const std::string kind = argc > 1 ? argv[1] : "";
  const int employees = argc > 2 ? std::atoi(argv[2]) : 0;
  if (kind != "erpnext" && kind != "odoo-json2" && kind != "odoo-jsonrpc") {
    std::fprintf(stderr, "usage: tallygate-fake-hr erpnext|odoo-json2|odoo-jsonrpc EMPLOYEES\n");
    return 2;
  }
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before the server's threads start
  std::unique_ptr<FakeFrappe> frappe;
  std::unique_ptr<FakeOdoo> odoo;
  if (kind == "erpnext") {
    frappe = std::make_unique<FakeFrappe>();
    frappe->AddShiftType("Day shift");
    for (int n = 1; n <= employees; ++n) {
      frappe->AddEmployee({"HR-EMP-" + Staff(n), {{"attendance_device_id", Staff(n)}}, "Active"});
    }
    std::printf("url %s\n", frappe->url().c_str());
  } else {
    odoo = std::make_unique<FakeOdoo>(kind == "odoo-json2" ? FakeOdoo::Api::kJson2
                                                           : FakeOdoo::Api::kJsonRpc);
    for (int n = 1; n <= employees; ++n) {
      odoo->AddEmployee({n, "Employee " + std::to_string(n), {{"barcode", Staff(n)}}, true});
    }
    std::printf("url %s\n", odoo->url().c_str());
  }
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  if (frappe) std::printf("checkins %zu\n", frappe->Checkins().size());
  if (odoo) std::printf("attendances %zu\n", odoo->Attendances().size());
  return 0;
}
