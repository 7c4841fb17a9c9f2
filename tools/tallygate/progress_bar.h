// A one-line progress bar on a terminal, fed through the progress object a
// record collection reports to:
//
//   records [##############--------------------------]   1234/3000
//
// GatherData puts "Max" (the record count + 1), "Min" and "Value" (0) before
// the first record, then "Value" = the position of each record it stores; a
// page that is tried again stores its positions again. The bar counts the
// records stored so far (the highest position + 1, so a retry does not move
// it back) against the record count.
//
// The line is redrawn in place with a carriage return, at most once per
// `interval`: records come far faster than a person reads. Finish draws the
// last state and ends the line.
#ifndef TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_
#define TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tallygate/dispatch_ref.h"

namespace tallygate::cli {

class ProgressBar {
 public:
  // Draws on `out`, a line of `columns` - 1 characters (so that the
  // terminal never wraps it).
  ProgressBar(std::FILE* out, int columns,
              std::chrono::milliseconds interval = std::chrono::milliseconds(100));

  // A put of "Max", "Min" or "Value"; other names are ignored.
  void Put(std::string_view property, double value);

  // Draws the last state and ends the line, when anything was drawn.
  void Finish();

  // The line as it would be drawn now, without the carriage return.
  std::string Line() const;

  // Records stored so far, and the record count.
  int64_t stored() const { return stored_; }
  int64_t total() const;

 private:
  void Draw();

  std::FILE* out_;
  int columns_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_draw_{};
  bool started_ = false;        // a Max was put
  bool awaiting_reset_ = false; // the Value after Max is the reset, not a record
  bool drawn_ = false;
  int64_t max_ = 0;
  int64_t min_ = 0;
  int64_t stored_ = 0;
};

// The width of the terminal on `fd`, or 80 when it does not say.
int TerminalColumns(int fd);

// A progress object (tallygate/progress.h) whose puts go to `bar`, which
// must outlive it. Empty when out of memory.
DispatchRef MakeProgressObject(ProgressBar& bar);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PROGRESS_BAR_H_
