#include "tools/tallygate/page_words.h"

namespace tallygate::cli {
namespace {

std::string Counted(int32_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string PageOfPages(int32_t page, int32_t pages) {
  return "page " + std::to_string(page) + "/" + std::to_string(pages);
}

std::string LostPages(int32_t lost_pages) { return Counted(lost_pages, "lost page", "lost pages"); }

std::string Retries(int32_t retries) { return Counted(retries, "retry", "retries"); }

}  // namespace tallygate::cli
