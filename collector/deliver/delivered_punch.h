// A punch as it is delivered onward: the export's columns with the punch's
// stable id first and its raw record last, so that a receiver can keep the
// ids it has and take each punch once.
//
//   {"id":41,"terminal":"gate-1","card_hex":"0012D687","card":1234567,
//    "staff":"00001234","name":"张三","local_time":"2026-12-01 08:59:12",
//    "utc_time":"2026-12-01T00:59:12Z","flag":0,"keep":0,"position":40,
//    "raw":"87d612000c0108003b0c0000000000a1"}
#ifndef TALLYGATE_COLLECTOR_DELIVER_DELIVERED_PUNCH_H_
#define TALLYGATE_COLLECTOR_DELIVER_DELIVERED_PUNCH_H_

#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "collector/store/punch_reader.h"

namespace tallygate::collector {

nlohmann::ordered_json DeliveredPunch(const PunchRow& row);

// A webhook's body: {"delivery": ID, "punches": [...]}.
std::string DeliveryBody(const std::string& delivery, std::span<const PunchRow> rows);

// A folder's file: CSV (the export's header and rows after an id column)
// or JSON lines of DeliveredPunch.
std::string FileHeader(bool json_lines);
std::string FileRow(const PunchRow& row, bool json_lines);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_DELIVERED_PUNCH_H_
