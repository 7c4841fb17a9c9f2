// How the progress of a collection's pages is worded, on the bar and in the
// page log alike.
#ifndef TALLYGATE_TOOLS_TALLYGATE_PAGE_WORDS_H_
#define TALLYGATE_TOOLS_TALLYGATE_PAGE_WORDS_H_

#include <cstdint>
#include <string>

namespace tallygate::cli {

// "page 3/128"
std::string PageOfPages(int32_t page, int32_t pages);
// "1 lost page", "0 lost pages"
std::string LostPages(int32_t lost_pages);
// "1 retry", "2 retries"
std::string Retries(int32_t retries);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_PAGE_WORDS_H_
