#include "tools/tallygate/page_log.h"

#include <string>

#include "tools/tallygate/page_words.h"

namespace tallygate::cli {

void PageLog::Page(int32_t page, int32_t pages, int32_t attempt, int32_t lost_pages, bool done) {
  std::string line = PageOfPages(page, pages) + ": ";
  if (done) {
    line += std::to_string(tally_.RecordsIn(page)) + " records, " + Retries(attempt - 1) + ", " +
            LostPages(lost_pages);
  } else if (attempt > 1) {
    line += "attempt " + std::to_string(attempt);
  } else {
    return;  // a first attempt is no news
  }
  line += '\n';
  std::fputs(line.c_str(), out_);
  std::fflush(out_);
}

}  // namespace tallygate::cli
