// The progress of a record collection as plain lines, for a standard error
// that is not a terminal (a log): one line as a page is tried again, one
// line as each page is done, so that a log shows why a collection took long.
//
//   page 3/128: attempt 2
//   page 3/128: 256 records, 1 retry, 0 lost pages
//
// "records" counts the page's positions that came (record_tally.h); "lost
// pages" the pages done so far that lack records.
#ifndef TALLYGATE_TOOLS_TALLYGATE_PAGE_LOG_H_
#define TALLYGATE_TOOLS_TALLYGATE_PAGE_LOG_H_

#include <cstdio>

#include "tools/tallygate/progress_view.h"
#include "tools/tallygate/record_tally.h"

namespace tallygate::cli {

class PageLog final : public ProgressView {
 public:
  explicit PageLog(std::FILE* out) : out_(out) {}

  void Put(std::string_view property, double value) override { tally_.Put(property, value); }
  void Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages, bool done) override;
  void Finish() override {}

 private:
  std::FILE* out_;
  RecordTally tally_;
};

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PAGE_LOG_H_
