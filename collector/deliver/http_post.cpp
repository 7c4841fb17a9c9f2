#include "collector/deliver/http_post.h"

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

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  if (body->size() < kAnswerKept) body->append(data, std::min(bytes, kAnswerKept - body->size()));
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

HttpAnswer Post(const HttpPost& post) {
  InitCurlOnce();
  HttpAnswer answer;
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
  if (!curl) {
    answer.error = "libcurl could not start a request";
    return answer;
  }
  curl_slist* list = nullptr;
  for (const std::string& header : post.headers) list = curl_slist_append(list, header.c_str());
  list = curl_slist_append(list, "Content-Type: application/json");
  list = curl_slist_append(list, "Expect:");  // no 100-continue round trip
  const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(list,
                                                                            curl_slist_free_all);
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, post.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, post.body.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(post.timeout.count() * 1000));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min<int64_t>(post.timeout.count(), 10) * 1000));
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "tallygate-collector");
  if (!post.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, post.ca_file.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &answer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, GiveUpOnStop);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &post.stop);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) {
    answer.status = 0;
    answer.error = error[0] != '\0' ? error : curl_easy_strerror(code);
    return answer;
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
  return answer;
}

}  // namespace tallygate::collector
