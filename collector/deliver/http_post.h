// One POST of a JSON body with libcurl, bounded: the whole request within
// its timeout, the answer's body read up to kAnswerKept bytes (the rest is
// read and dropped), redirects not followed. Proxies come from the usual
// environment variables (https_proxy, http_proxy, no_proxy), as libcurl
// reads them.
#ifndef TALLYGATE_COLLECTOR_DELIVER_HTTP_POST_H_
#define TALLYGATE_COLLECTOR_DELIVER_HTTP_POST_H_

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace tallygate::collector {

inline constexpr size_t kAnswerKept = 4096;

struct HttpAnswer {
  long status = 0;           // 0: no answer (`error` says why)
  std::string error;         // libcurl's reason: refused, reset, timed out ...
  std::string body;          // its first kAnswerKept bytes
  std::optional<std::chrono::seconds> retry_after;  // from Retry-After
};

struct HttpPost {
  std::string url;
  std::string body;
  std::vector<std::string> headers;  // "Name: value"
  std::chrono::seconds timeout{30};
  std::string ca_file;               // empty: the system's CA store
  std::stop_token stop;              // given up at once when requested
};

HttpAnswer Post(const HttpPost& post);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_HTTP_POST_H_
