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

void ReadHttpTarget(const TableReader& reader, DeliverConfig& deliver, const char* what,
                    const char* example) {
  const auto url = reader.Parsed("url", CheckUrl);
  if (!url) reader.Fail("url", std::string(what) + " needs url = \"" + example + "\"");
  deliver.url = *url;
  deliver.ca_file = reader.String("ca_file").value_or("");
  if (!deliver.ca_file.empty() && !std::ifstream(deliver.ca_file)) {
    reader.Fail("ca_file", "ca_file \"" + deliver.ca_file + "\" cannot be read");
  }
  deliver.timeout = reader.Duration("timeout", std::chrono::seconds(1)).value_or(deliver.timeout);
}

}  // namespace tallygate::collector
