#include "collector/web/places.h"

#include "collector/web/responses.h"

namespace tallygate::collector::web {

std::shared_ptr<Place> TakePlace(const std::shared_ptr<Places>& places, size_t count,
                                 const httplib::Request& request, httplib::Response& response,
                                 Msg reason, int retry_seconds) {
  if (places->try_acquire()) return std::make_shared<Place>(places);
  response.set_header("Retry-After", std::to_string(retry_seconds));
  // A client that heeds this closes at once: an idle connection kept
  // alive holds a worker too.
  response.set_header("Connection", "close");
  SendError(request, response, 503, Fill(LanguageOf(request), reason, {std::to_string(count)}));
  return nullptr;
}

}  // namespace tallygate::collector::web
