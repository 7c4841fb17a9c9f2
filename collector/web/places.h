// A fixed number of places for the requests that hold a worker for long
// (CSV downloads, live feeds): however many clients ask (or stall), the
// pages, the API and /healthz have workers left. One asking when every
// place is taken is answered 503 at once rather than queued.
#ifndef TALLYGATE_COLLECTOR_WEB_PLACES_H_
#define TALLYGATE_COLLECTOR_WEB_PLACES_H_

#include <httplib.h>

#include <memory>
#include <semaphore>

#include "collector/web/messages.h"

namespace tallygate::collector::web {

using Places = std::counting_semaphore<>;

// A place held: given back when it goes.
class Place {
 public:
  explicit Place(std::shared_ptr<Places> places) : places_(std::move(places)) {}
  ~Place() { places_->release(); }
  Place(const Place&) = delete;
  Place& operator=(const Place&) = delete;

 private:
  std::shared_ptr<Places> places_;
};

// One of `places`, held as long as the result lives; null when all `count`
// are taken, after answering 503 with `reason` (filled with `count`) and
// Retry-After: `retry_seconds`.
std::shared_ptr<Place> TakePlace(const std::shared_ptr<Places>& places, size_t count,
                                 const httplib::Request& request, httplib::Response& response,
                                 Msg reason, int retry_seconds);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_PLACES_H_
