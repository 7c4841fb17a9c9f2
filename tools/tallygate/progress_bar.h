// A one-line progress bar on a terminal, fed through the progress object a
// record collection reports to:
//
//   records [##############--------------]   1234/3000 page 5/12, attempt 2, 1 lost page
//
// The bar counts the records stored so far (record_tally.h) against the
// record count. Once pages are reported it names the page being fetched,
// the attempt at it when it is being tried again, and the pages lost so far
// when there are any.
//
// The line is redrawn in place with a carriage return, at most once per
// `interval` for records (they come far faster than a person reads) and at
// every page report. Finish draws the last state and ends the line.
#ifndef TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_
#define TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/tallygate/progress_view.h"
#include "tools/tallygate/record_tally.h"

namespace tallygate::cli {

class ProgressBar final : public ProgressView {
 public:
  // Draws on `out`, a line of `columns` - 1 characters (so that the
  // terminal never wraps it) while the bar is wider than its narrowest.
  ProgressBar(std::FILE* out, int columns,
              std::chrono::milliseconds interval = std::chrono::milliseconds(100));

  void Put(std::string_view property, double value) override;
  void Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages, bool done) override;
  // Draws the last state and ends the line, when anything was drawn.
  void Finish() override;

  // The line as it would be drawn now, without the carriage return.
  std::string Line() const;

  // Records stored so far, and the record count.
  int64_t stored() const { return tally_.stored(); }
  int64_t total() const { return tally_.total(); }

 private:
  void Draw();

  std::FILE* out_;
  int columns_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_draw_{};
  bool drawn_ = false;
  RecordTally tally_;
  int32_t page_ = 0;  // 0 until a page is reported
  int32_t pages_ = 0;
  int32_t attempt_ = 0;
  int32_t lost_pages_ = 0;
};

// The width of the terminal on `fd`, or 80 when it does not say.
int TerminalColumns(int fd);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_
