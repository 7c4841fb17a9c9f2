// Checks a collection's outcome against what the terminal held.
//
// Only one outcome may claim completeness: true with an empty description,
// and then the file must hold every record, each at its position. Any other
// outcome must say so: false, or true with "Net Err,Part data lose". Lines
// that are in the file must be records the terminal holds, whatever the
// outcome.
#ifndef TALLYGATE_SOAK_COLLECTION_AUDIT_H_
#define TALLYGATE_SOAK_COLLECTION_AUDIT_H_

#include <cstdint>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/model/terminal_state.h"

namespace tallygate::soak {

inline constexpr const char* kPartLost = "Net Err,Part data lose";

struct CollectionOutcome {
  bool result = false;
  std::string description;
  int32_t back_record_sum = 0;
  // The file's lines without their CR LF; nothing when the call left the
  // file as it was before (the soak puts a marker file there first).
  std::optional<std::vector<std::string>> lines;
};

struct CollectionAudit {
  int32_t held = 0;       // records the terminal held
  int32_t exact = 0;      // lines equal to the record at their position
  int32_t misplaced = 0;  // lines holding another of the terminal's records
  int32_t corrupted = 0;  // lines holding no record the terminal has
  int32_t lost = 0;       // records without their line (empty, or past the end)
  bool complete = false;  // true with an empty description
  bool described = false; // the outcome says the collection is not whole

  // What must never happen.
  bool lost_without_description = false;  // complete claimed, records missing
  bool wrong_count = false;               // BackRecordSum is not the file's lines
  bool bad_description = false;           // neither empty nor the loss text
  bool touched_on_failure = false;        // false, yet the file was written

  bool Violated() const {
    return lost_without_description || wrong_count || bad_description || touched_on_failure ||
           corrupted > 0;
  }
  // A short account of what broke, for the report.
  std::string Describe() const;
};

// The lines of a collected file (CR LF line ends), or none when it is
// missing.
std::vector<std::string> CollectedFileLines(const std::filesystem::path& file);

// The lines a collection from terminal 1 with the default options writes for
// `records`: the library's record line of each unit the terminal sends.
std::vector<std::string> HeldRecordLines(const std::vector<sim::AttendanceRecord>& records);

// The longest a collection of `records` may take: the count query's wait,
// then for every page all its `attempts`, each ended by two missed units of
// `sleep_date` seconds.
double CollectionBound(int32_t records, int attempts, int32_t sleep_date);

CollectionAudit AuditCollection(const std::vector<std::string>& held,
                                const CollectionOutcome& outcome);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_COLLECTION_AUDIT_H_
