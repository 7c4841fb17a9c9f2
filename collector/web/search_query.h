// The values of a punch search as a request carries them (from, to,
// terminal, card, name; after and limit for a page), checked: a value that
// is not one is a BadField naming the field and why.
#ifndef TALLYGATE_COLLECTOR_WEB_SEARCH_QUERY_H_
#define TALLYGATE_COLLECTOR_WEB_SEARCH_QUERY_H_

#include <httplib.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "collector/base/failure.h"
#include "collector/store/punch_reader.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// A request value that is not what its field takes.
class BadField : public InputError {
 public:
  BadField(std::string field, Msg reason, std::string value);
  // "card: \"12x\" is not a card number (...)" in `language`, as plain text.
  std::string Describe(Language language) const;

  const std::string& field() const { return field_; }

 private:
  std::string field_;
  Msg reason_;
  std::string value_;
};

// A request's value of `name`; absent when missing or empty (an empty
// form field filters nothing).
std::optional<std::string> Param(const httplib::Request& request, const char* name);

// The value of `name` as a whole number from 1 to 1000; `fallback` when
// absent.
int LimitParam(const httplib::Request& request, const char* name, int fallback);

struct SearchQuery {
  PunchFilter filter;
  std::optional<PunchCursor> after;
  int limit = 100;
};

// Reads from, to (included), terminal, card, name, and with `paged`
// after and limit (1 to 1000, default 100). Throws BadField.
SearchQuery ReadSearch(const httplib::Request& request, bool paged);

// The query string ("from=...&card=...") that repeats the search's
// filters as the request gave them; empty when none.
std::string FilterQuery(const httplib::Request& request);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_SEARCH_QUERY_H_
