// Requests to a Frappe site (ERPNext / Frappe HR) with the API user's key
// and secret ("Authorization: token KEY:SECRET"), on one kept connection.
#ifndef TALLYGATE_COLLECTOR_HR_FRAPPE_CLIENT_H_
#define TALLYGATE_COLLECTOR_HR_FRAPPE_CLIENT_H_

#include <cstddef>
#include <stop_token>
#include <string>

#include "collector/config/config.h"
#include "collector/hr/http_client.h"

namespace tallygate::collector {

class FrappeClient {
 public:
  explicit FrappeClient(HrSite site);

  // METHOD (POST, PUT, GET) of `path` ("/api/method/...", with its query
  // for a GET) on the site, with a JSON body; up to `answer_kept` bytes of
  // the answer are kept.
  HttpAnswer Send(const std::string& method, const std::string& path, const std::string& body,
                  std::stop_token stop, size_t answer_kept = kAnswerKept);

 private:
  const HrSite site_;
  HttpClient client_;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_HR_FRAPPE_CLIENT_H_
