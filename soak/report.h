// The figures of a reliability run as Markdown, for the terminal and for
// docs/reliability.md.
#ifndef TALLYGATE_SOAK_REPORT_H_
#define TALLYGATE_SOAK_REPORT_H_

#include <optional>
#include <string>
#include <vector>

#include "soak/device_loss.h"
#include "soak/hostile_runs.h"
#include "soak/soak_run.h"

namespace tallygate::soak {

std::string SoakReport(const std::vector<SoakFigures>& transports, double fault_rate);
std::string HostileReport(const HostileFigures& figures);
std::string DeviceLossReport(const DeviceLossFigures& figures);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_REPORT_H_
