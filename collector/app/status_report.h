// `tallygate-collector status`: per terminal its last poll, last success,
// count on the terminal, punches stored, backoff and last error; as a table
// or as JSON.
#ifndef TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_
#define TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_

#include <string>
#include <vector>

#include "collector/store/punch.h"

namespace tallygate::collector {

std::string StatusTable(const std::vector<TerminalState>& states);
std::string StatusJson(const std::vector<TerminalState>& states);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_APP_STATUS_REPORT_H_
