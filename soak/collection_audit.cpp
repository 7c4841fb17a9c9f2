#include "soak/collection_audit.h"

#include <unordered_set>

#include "link/connect/text_file.h"
#include "link/protocol/command_table.h"
#include "link/protocol/units.h"
#include "sim/model/reply_builder.h"
#include "tallygate/record_line.h"

namespace tallygate::soak {

std::string CollectionAudit::Describe() const {
  std::string text = "held " + std::to_string(held) + ", exact " + std::to_string(exact) +
                     ", misplaced " + std::to_string(misplaced) + ", corrupted " +
                     std::to_string(corrupted) + ", lost " + std::to_string(lost);
  if (lost_without_description) text += "; LOST WITHOUT DESCRIPTION";
  if (wrong_count) text += "; BackRecordSum is not the file's line count";
  if (bad_description) text += "; unexpected description";
  if (touched_on_failure) text += "; file written by a failed call";
  return text;
}

std::vector<std::string> CollectedFileLines(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return {};
  return ReadTextLines(file);
}

std::vector<std::string> HeldRecordLines(const std::vector<sim::AttendanceRecord>& records) {
  constexpr uint8_t kTerminal = 1;
  std::vector<std::string> lines;
  lines.reserve(records.size());
  for (const sim::AttendanceRecord& record : records) {
    lines.push_back(RecordLine(kTerminal, sim::RecordUnit(kTerminal, command::kRecordPages.code, record),
                               false, false, {}));
  }
  return lines;
}

double CollectionBound(int32_t records, int attempts, int32_t sleep_date) {
  constexpr double kPagePause = 0.03;
  const int32_t pages = (records + kUnitsPerPage - 1) / kUnitsPerPage;
  return command::kRecordPages.timeout_seconds + pages * attempts * (kPagePause + 2.0 * sleep_date);
}

CollectionAudit AuditCollection(const std::vector<std::string>& held,
                                const CollectionOutcome& outcome) {
  CollectionAudit audit;
  audit.held = static_cast<int32_t>(held.size());
  if (!outcome.result) {
    // A failed call claims nothing; it must leave the file alone, and a
    // description, when it gives one, is the failure's own text.
    audit.described = true;
    audit.touched_on_failure = outcome.lines.has_value();
    audit.lost = audit.held;
    return audit;
  }
  audit.described = outcome.description == kPartLost;
  audit.bad_description = !outcome.description.empty() && !audit.described;
  audit.complete = outcome.description.empty();

  const std::vector<std::string> none;
  const std::vector<std::string>& lines = outcome.lines ? *outcome.lines : none;
  audit.wrong_count = outcome.back_record_sum != static_cast<int32_t>(lines.size());

  const std::unordered_set<std::string> records(held.begin(), held.end());
  for (size_t j = 0; j < lines.size(); ++j) {
    const std::string& line = lines[j];
    if (j < held.size() && line == held[j]) {
      ++audit.exact;
    } else if (line.empty()) {
      if (j >= held.size()) ++audit.corrupted;  // a line past the records
    } else if (records.count(line) != 0) {
      ++audit.misplaced;
    } else {
      ++audit.corrupted;
    }
  }
  audit.lost = audit.held - audit.exact;
  audit.lost_without_description = audit.complete && (audit.lost > 0 || audit.misplaced > 0);
  return audit;
}

}  // namespace tallygate::soak
