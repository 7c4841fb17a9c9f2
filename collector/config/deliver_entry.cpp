#include "collector/config/deliver_entry.h"

#include <curl/curl.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>

#include "collector/base/failure.h"
#include "collector/config/duration_text.h"
#include "collector/config/shown_url.h"

namespace tallygate::collector {
namespace {

constexpr std::chrono::seconds kDay = std::chrono::hours(24);

// An http:// or https:// URL with a host, as libcurl will read it.
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

// "1h", "1d", or any duration from a second up that divides a day, so that
// periods start at the same times every day.
std::chrono::seconds ParseEvery(const std::string& text) {
  const std::chrono::seconds every = text == "1d" ? kDay : ParseDurationText(text);
  if (every.count() < 1 || every > kDay || kDay % every != std::chrono::seconds(0)) {
    throw InputError("\"" + text + "\" must divide a day: \"1h\", \"1d\", \"15m\" ...");
  }
  return every;
}

// The secret, without the line end a text editor leaves.
std::string ReadSecret(const TableReader& reader, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    reader.Fail("secret_file", "secret_file \"" + file + "\" cannot be read");
  }
  std::string secret = text.str();
  while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) secret.pop_back();
  if (secret.empty()) reader.Fail("secret_file", "secret_file \"" + file + "\" is empty");
  return secret;
}

// A webhook's URL, its CA bundle and signing secret, and how it is sent.
void ReadWebhook(const TableReader& reader, DeliverConfig& deliver) {
  const auto url = reader.Parsed("url", CheckUrl);
  if (!url) reader.Fail("url", "a webhook needs url = \"https://...\"");
  deliver.url = *url;
  deliver.ca_file = reader.String("ca_file").value_or("");
  if (!deliver.ca_file.empty() && !std::ifstream(deliver.ca_file)) {
    reader.Fail("ca_file", "ca_file \"" + deliver.ca_file + "\" cannot be read");
  }
  deliver.secret_file = reader.String("secret_file").value_or("");
  if (reader.Find("secret_file")) deliver.secret = ReadSecret(reader, deliver.secret_file);
  deliver.timeout = reader.Duration("timeout", std::chrono::seconds(1)).value_or(deliver.timeout);
  deliver.batch = static_cast<int>(reader.Integer("batch", 1, 10000).value_or(deliver.batch));
}

// A drop folder that is there, the files' format and their period.
void ReadFolder(const TableReader& reader, DeliverConfig& deliver) {
  deliver.path = reader.String("path").value_or("");
  std::error_code error;
  if (deliver.path.empty()) reader.Fail("path", "a folder needs path = \"/the/drop/folder\"");
  if (!std::filesystem::is_directory(deliver.path, error)) {
    reader.Fail("path", "path \"" + deliver.path.string() + "\" is not a folder");
  }
  const std::string format = reader.String("format").value_or("csv");
  if (format != "csv" && format != "jsonl") {
    reader.Fail("format", "format must be \"csv\" or \"jsonl\", not \"" + format + "\"");
  }
  deliver.json_lines = format == "jsonl";
  deliver.every = reader.Parsed("every", ParseEvery).value_or(deliver.every);
}

DeliverConfig ReadDeliver(const toml::table& table, const std::string& source) {
  const TableReader reader(table, "[[deliver]]",
                           {"name", "kind", "url", "ca_file", "secret_file", "timeout", "batch",
                            "path", "format", "every", "start"},
                           source);
  DeliverConfig deliver;
  deliver.line = static_cast<int>(table.source().begin.line);
  deliver.name = reader.String("name").value_or("");
  if (deliver.name.empty()) reader.Fail("name", "each [[deliver]] needs a name = \"...\"");
  // It names the sink's files and its place in the store.
  if (deliver.name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789._-") != std::string::npos) {
    reader.Fail("name", "name \"" + deliver.name + "\" may hold only letters, digits, . _ -");
  }
  const std::string kind = reader.String("kind").value_or("");
  if (kind == "folder") {
    deliver.kind = DeliverConfig::Kind::kFolder;
  } else if (kind != "webhook") {
    reader.Fail("kind", "kind must be \"webhook\" or \"folder\", not \"" + kind + "\"");
  }
  const bool webhook = deliver.kind == DeliverConfig::Kind::kWebhook;
  for (std::string_view key : {"url", "ca_file", "secret_file", "timeout", "batch"}) {
    if (!webhook && reader.Find(key)) reader.Fail(key, std::string(key) + " is for a webhook");
  }
  for (std::string_view key : {"path", "format", "every"}) {
    if (webhook && reader.Find(key)) reader.Fail(key, std::string(key) + " is for a folder");
  }
  if (const auto start = reader.String("start")) {
    if (*start != "first" && *start != "new") {
      reader.Fail("start", "start must be \"first\" (every punch stored) or \"new\"");
    }
    deliver.from_first = *start == "first";
  }
  if (webhook) {
    ReadWebhook(reader, deliver);
  } else {
    ReadFolder(reader, deliver);
  }
  return deliver;
}

}  // namespace

std::vector<DeliverConfig> ReadDeliveries(const toml::node& node, const TableReader& top,
                                          const std::string& source) {
  const toml::array* array = node.as_array();
  if (array == nullptr) {
    top.Fail("deliver", "deliver must be an array of tables, each written [[deliver]]");
  }
  std::vector<DeliverConfig> deliveries;
  std::set<std::string> names;
  for (const toml::node& element : *array) {
    if (!element.is_table()) {
      FailAt(source, element.source(), "each deliver must be a table ([[deliver]])");
    }
    DeliverConfig deliver = ReadDeliver(*element.as_table(), source);
    if (!names.insert(deliver.name).second) {
      FailAt(source, element.source(), "a second [[deliver]] named \"" + deliver.name + "\"");
    }
    deliveries.push_back(std::move(deliver));
  }
  return deliveries;
}

}  // namespace tallygate::collector
