// The records a collection has stored so far, told from the puts GatherData
// makes: "Max" (the record count + 1), "Min" and "Value" (0) before the first
// record, then "Value" = the position of each record as it arrives. A page
// tried again puts its positions again; each counts once.
#ifndef TALLYGATE_TOOLS_TALLYGATE_RECORD_TALLY_H_
#define TALLYGATE_TOOLS_TALLYGATE_RECORD_TALLY_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace tallygate::cli {

class RecordTally {
 public:
  // A put; false for one that tells nothing (another name, or a Value before
  // any Max).
  bool Put(std::string_view property, double value);

  bool started() const { return started_; }
  // The record count, and the highest position stored + 1 (a retry does not
  // move it back).
  int64_t total() const;
  int64_t stored() const { return stored_; }
  // The positions of page `page` (1 to 128, 256 a page) stored so far.
  int32_t RecordsIn(int32_t page) const;

 private:
  bool started_ = false;         // a Max was put
  bool awaiting_reset_ = false;  // the Value after Max is the reset, not a record
  int64_t max_ = 0;
  int64_t min_ = 0;
  int64_t stored_ = 0;
  std::vector<bool> seen_;  // by position
};

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_RECORD_TALLY_H_
