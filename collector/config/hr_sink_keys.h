// The keys of [[deliver]] sinks into HR systems: kind = "erpnext" (Frappe
// HR's Employee Checkin) and kind = "odoo" (hr.attendance).
#ifndef TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_
#define TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_

#include "collector/config/config.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

void ReadErpnext(const TableReader& reader, DeliverConfig& deliver);
void ReadOdoo(const TableReader& reader, DeliverConfig& deliver);

// The site's keys of a table reaching ERPNext (url, ca_file, timeout,
// api_key_file, api_secret_file) or Odoo (url, ca_file, timeout,
// api_key_file, database, protocol, user); `what` names the table in
// messages ("an erpnext sink").
HrSite ReadErpnextSite(const TableReader& reader, const char* what);
HrSite ReadOdooSite(const TableReader& reader, const char* what);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_
