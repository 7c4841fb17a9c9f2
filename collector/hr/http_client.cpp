#include "collector/hr/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <mutex>

namespace tallygate::collector {
namespace {

// libcurl's global set-up is not thread-safe: done once, before any sink's
// thread makes a handle.
void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where an answer's body goes: up to `limit` bytes are kept.
struct BodySink {
  std::string* body;
  size_t limit;
};

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const size_t bytes = size * count;
  if (sink->body->size() < sink->limit) {
    sink->body->append(data, std::min(bytes, sink->limit - sink->body->size()));
  }
  return bytes;
}

// Retry-After as seconds or as an HTTP date.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string value) {
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  const size_t start = value.find_first_not_of(' ');
  if (start == std::string::npos) return std::nullopt;
  value.erase(0, start);
  if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    if (value.size() > 9) return std::chrono::hours(24);
    return std::chrono::seconds(std::stol(value));
  }
  const time_t when = curl_getdate(value.c_str(), nullptr);
  if (when < 0) return std::nullopt;
  return std::chrono::seconds(std::max<time_t>(0, when - std::time(nullptr)));
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto* answer = static_cast<HttpAnswer*>(user);
  const std::string line(data, size * count);
  constexpr std::string_view kName = "retry-after:";
  if (line.size() > kName.size()) {
    std::string name = line.substr(0, kName.size());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == kName) answer->retry_after = ParseRetryAfter(line.substr(kName.size()));
  }
  return size * count;
}

int GiveUpOnStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::stop_token*>(user)->stop_requested() ? 1 : 0;
}

}  // namespace

HttpClient::HttpClient() : curl_(nullptr) {
  InitCurlOnce();
  curl_ = curl_easy_init();
}

HttpClient::~HttpClient() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

HttpAnswer HttpClient::Send(const HttpRequest& request) {
  HttpAnswer answer;
  CURL* c = static_cast<CURL*>(curl_);
  if (c == nullptr) {
    answer.error = "libcurl could not start a request";
    return answer;
  }
  // Every option is set again: what one request set must not carry over to
  // the next, only the connection does.
  curl_easy_reset(c);
  curl_slist* list = nullptr;
  for (const std::string& header : request.headers) list = curl_slist_append(list, header.c_str());
  if (request.method != "GET") list = curl_slist_append(list, "Content-Type: application/json");
  list = curl_slist_append(list, "Expect:");  // no 100-continue round trip
  const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list,
                                                                            curl_slist_free_all);
  char error[CURL_ERROR_SIZE] = {};
  BodySink body{&answer.body, request.answer_kept};
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  if (request.method == "GET") {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    if (request.method != "POST") {
      curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
  }
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count() * 1000));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min<int64_t>(request.timeout.count(), 10) * 1000));
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "tallygate-collector");
  if (!request.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request.ca_file.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &answer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, GiveUpOnStop);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &request.stop);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) {
    answer.status = 0;
    answer.error = error[0] != '\0' ? error : curl_easy_strerror(code);
    return answer;
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

HttpAnswer Post(const HttpRequest& request) { return HttpClient().Send(request); }

std::string JoinUrl(const std::string& site, const std::string& path) {
  std::string url = site;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url + path;
}

std::string UrlEscape(const std::string& text) {
  std::string escaped;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      escaped += static_cast<char>(c);
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    }
  }
  return escaped;
}

}  // namespace tallygate::collector
