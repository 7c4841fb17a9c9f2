// The keys of [[deliver]] sinks into HR systems: kind = "erpnext" (Frappe
// HR's Employee Checkin) and kind = "odoo" (hr.attendance).
#ifndef TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_
#define TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_

#include "collector/config/config.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

void ReadErpnext(const TableReader& reader, DeliverConfig& deliver);
void ReadOdoo(const TableReader& reader, DeliverConfig& deliver);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_HR_SINK_KEYS_H_
