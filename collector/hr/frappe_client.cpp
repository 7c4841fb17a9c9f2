#include "collector/hr/frappe_client.h"

#include <utility>

namespace tallygate::collector {

FrappeClient::FrappeClient(HrSite site) : site_(std::move(site)) {}

HttpAnswer FrappeClient::Send(const std::string& method, const std::string& path,
                              const std::string& body, std::stop_token stop, size_t answer_kept) {
  HttpRequest request;
  request.method = method;
  request.url = JoinUrl(site_.url, path);
  request.body = body;
  request.timeout = site_.timeout;
  request.ca_file = site_.ca_file;
  request.stop = std::move(stop);
  request.answer_kept = answer_kept;
  request.headers = {"Authorization: token " + site_.api_key + ":" + site_.api_secret,
                     "Accept: application/json"};
  return client_.Send(request);
}

}  // namespace tallygate::collector
