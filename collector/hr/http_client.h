// HTTP requests with libcurl, bounded: the whole request within its
// timeout, the answer's body read up to a limit (the rest is read and
// dropped), redirects not followed. Proxies come from the usual environment
// variables (https_proxy, http_proxy, no_proxy), as libcurl reads them.
//
// An HttpClient keeps its connection between requests, so that a sink
// sending a request per punch does not pay a TCP (and TLS) handshake for
// each. It is used by one thread at a time.
#ifndef TALLYGATE_COLLECTOR_DELIVER_HTTP_CLIENT_H_
#define TALLYGATE_COLLECTOR_DELIVER_HTTP_CLIENT_H_

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
  std::string body;          // its first `answer_kept` bytes
  std::optional<std::chrono::seconds> retry_after;  // from Retry-After
};

struct HttpRequest {
  std::string method = "POST";       // POST, PUT or GET
  std::string url;
  std::string body;                  // JSON; none for GET
  std::vector<std::string> headers;  // "Name: value"
  std::chrono::seconds timeout{30};
  std::string ca_file;               // empty: the system's CA store
  std::stop_token stop;              // given up at once when requested
  size_t answer_kept = kAnswerKept;
};

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpAnswer Send(const HttpRequest& request);

 private:
  void* curl_;  // CURL*, kept for its connection
};

// `site` (a URL, with or without a slash at its end) and `path` ("/...").
std::string JoinUrl(const std::string& site, const std::string& path);

// `text` with every byte but unreserved ones %-escaped, for a URL's path.
std::string UrlEscape(const std::string& text);

// One request on a connection of its own.
HttpAnswer Post(const HttpRequest& request);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_HTTP_CLIENT_H_
