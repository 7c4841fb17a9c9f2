#include "collector/config/sink_keys.h"

#include <curl/curl.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "collector/base/failure.h"
#include "collector/config/shown_url.h"

namespace tallygate::collector {

std::string CheckUrl(const std::string& text) {
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url) throw InputError("no memory to read the URL");
  if (const CURLUcode code = curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0);
      code != CURLUE_OK) {
    throw InputError("\"" + ShownUrl(text) + "\" is not a URL: " + curl_url_strerror(code));
  }
  char* scheme = nullptr;
  curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0);
  const std::string got = scheme != nullptr ? scheme : "";
  curl_free(scheme);
  if (got != "http" && got != "https") {
    throw InputError("\"" + ShownUrl(text) + "\" must start with https:// or http://");
  }
  return text;
}

std::string ReadSecretFile(const TableReader& reader, std::string_view key) {
  const std::string file = reader.String(key).value_or("");
  const std::string named = std::string(key) + " \"" + file + "\"";
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) reader.Fail(key, named + " cannot be read");
  std::string secret = text.str();
  while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) secret.pop_back();
  if (secret.empty()) reader.Fail(key, named + " is empty");
  return secret;
}

HttpTarget ReadHttpTarget(const TableReader& reader, const char* what, const char* example) {
  HttpTarget target;
  const auto url = reader.Parsed("url", CheckUrl);
  if (!url) reader.Fail("url", std::string(what) + " needs url = \"" + example + "\"");
  target.url = *url;
  target.ca_file = reader.String("ca_file").value_or("");
  if (!target.ca_file.empty() && !std::ifstream(target.ca_file)) {
    reader.Fail("ca_file", "ca_file \"" + target.ca_file + "\" cannot be read");
  }
  target.timeout = reader.Duration("timeout", std::chrono::seconds(1)).value_or(target.timeout);
  return target;
}

}  // namespace tallygate::collector
