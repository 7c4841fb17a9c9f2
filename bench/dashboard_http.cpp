#include "bench/dashboard_http.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "bench/dashboard_collector.h"
#include "bench/process_usage.h"

namespace tallygate::bench {
namespace {

using namespace std::chrono_literals;

constexpr double kCsvTargetMb = 64;

// As httplib's client and curl ask, no compression; as a browser asks over
// http and over https (brotli there only): cpp-httplib's server compresses
// what the request accepts, brotli before gzip.
struct Asking {
  const char* label;
  httplib::Headers headers;
};
const Asking kPlain = {"", {}};
const Asking kGzip = {"+gzip", {{"Accept-Encoding", "gzip, deflate"}}};
const Asking kBrotli = {"+br", {{"Accept-Encoding", "gzip, deflate, br"}}};

enum class Kind { kHtml, kJson };

struct Page {
  size_t rows = 0;
  std::optional<std::string> next;
};

std::string PagePath(Kind kind, std::multimap<std::string, std::string> query,
                     const std::optional<std::string>& after) {
  if (after) query.emplace("after", *after);
  if (kind == Kind::kHtml) return httplib::append_query_params("/punches", query);
  query.emplace("limit", std::to_string(kPageRows));
  return httplib::append_query_params("/api/punches", query);
}

std::string Fetch(httplib::Client& client, const std::string& path, const Asking& asking = kPlain) {
  const httplib::Result result = client.Get(path, asking.headers);
  if (!result) throw std::runtime_error(path + ": " + httplib::to_string(result.error()));
  if (result->status != 200) {
    throw std::runtime_error(path + ": status " + std::to_string(result->status) + ": " +
                             result->body.substr(0, 300));
  }
  return result->body;
}

Page ReadJson(const std::string& body) {
  const nlohmann::json json = nlohmann::json::parse(body);
  Page page{json.at("punches").size(), std::nullopt};
  if (json.at("next").is_string()) page.next = json["next"].get<std::string>();
  return page;
}

size_t HtmlRows(const std::string& body) {
  static const std::string kRow = "<tr class=\"punch\">";
  size_t rows = 0;
  for (size_t at = body.find(kRow); at != std::string::npos; at = body.find(kRow, at + 1)) ++rows;
  return rows;
}

// The first page and a deep one (the cursor followed through /api/punches'
// "next"), each as the page and as JSON; the first page also compressed.
void TimePages(httplib::Client& client, const HttpSearch& search, Table& table) {
  for (const bool deep : {false, true}) {
    std::optional<std::string> after;
    size_t before = 0;
    if (deep) {
      Page page = ReadJson(Fetch(client, PagePath(Kind::kJson, search.query, after)));
      for (int i = 0; i < kDeepPages && page.next; ++i) {
        after = page.next;
        before += page.rows;
        page = ReadJson(Fetch(client, PagePath(Kind::kJson, search.query, after)));
      }
      if (!after) return;  // one page holds them all
    }
    std::vector<std::pair<Kind, const Asking*>> forms = {{Kind::kHtml, &kPlain},
                                                         {Kind::kJson, &kPlain}};
    if (!deep) forms.insert(forms.end(), {{Kind::kHtml, &kGzip}, {Kind::kHtml, &kBrotli}});
    for (const auto& [kind, asking] : forms) {
      const std::string path = PagePath(kind, search.query, after);
      std::string body;
      const double ms = MedianMs([&] { body = Fetch(client, path, *asking); });
      const size_t rows = kind == Kind::kHtml ? HtmlRows(body) : ReadJson(body).rows;
      table.Row(search.what + (deep ? ", deep, " : ", first, ") +
                    (kind == Kind::kHtml ? "HTML" : "JSON") + asking->label,
                rows, ms, deep ? "   after " + std::to_string(before) + " rows" : "");
    }
  }
}

// The month's CSV, counted as it arrives and not kept; then the collector's
// peak resident memory.
void TimeCsv(httplib::Client& client, pid_t collector, const CsvMonth& month, const Asking& asking,
             Table& table) {
  const double peak_before = StatusMb(collector, "VmHWM");
  const std::string path =
      httplib::append_query_params("/punches.csv", {{"from", month.from}, {"to", month.to}});
  int64_t bytes = 0;
  int64_t lines = 0;
  const auto start = std::chrono::steady_clock::now();
  double first_byte = 0;  // seconds: the rows are read whole before the first is sent
  const httplib::Result result =
      client.Get(path, asking.headers, [&](const char* data, size_t size) {
        if (bytes == 0) {
          first_byte =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        bytes += static_cast<int64_t>(size);
        lines += std::count(data, data + size, '\n');
        return true;
      });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result) throw std::runtime_error(path + ": " + httplib::to_string(result.error()));
  if (result->status != 200) {
    throw std::runtime_error(path + ": status " + std::to_string(result->status));
  }
  const double peak = StatusMb(collector, "VmHWM");
  const int64_t rows = lines - 1;  // the header line
  const std::string encoding = result->get_header_value("Content-Encoding");
  const std::string accept = asking.headers.empty()
                                 ? "no Accept-Encoding"
                                 : "Accept-Encoding: " + asking.headers.begin()->second;
  char line[400];
  std::snprintf(line, sizeof line,
                "  GET %s (%s)\n    %lld rows (the fill put %lld in the month), %.1f MB of CSV%s\n"
                "    in %.2f s (the first byte after %.2f s): %.1f MB/s, %.0f rows/s",
                path.c_str(), accept.c_str(), static_cast<long long>(rows),
                static_cast<long long>(month.punches), static_cast<double>(bytes) / 1e6,
                encoding.empty() ? "" : (", sent as " + encoding).c_str(), seconds, first_byte,
                static_cast<double>(bytes) / 1e6 / seconds, static_cast<double>(rows) / seconds);
  table.Line(line, rows == month.punches);
  std::snprintf(line, sizeof line,
                "  collector's peak resident memory (VmHWM) after it: %.1f MB (%.1f MB before "
                "it; target < %g MB)",
                peak, peak_before, kCsvTargetMb);
  table.Line(line, peak >= 0 && peak < kCsvTargetMb);
}

}  // namespace

void TimeDashboard(const std::string& program, const std::string& database,
                   const std::filesystem::path& folder, const std::vector<HttpSearch>& searches,
                   const CsvMonth& month, Table& table) {
  std::filesystem::create_directories(folder);
  DashboardCollector collector(program, database, folder);
  std::printf(
      "  tallygate-collector run --http 127.0.0.1:%d (pid %d); each the median of %d round\n"
      "  trips on one keep-alive connection on loopback, an upper bound of the server's\n"
      "  time (target < %g ms). Asked with no Accept-Encoding; +gzip: as a browser asks\n"
      "  over http (gzip, deflate); +br: as over https (gzip, deflate, br)\n",
      collector.port(), static_cast<int>(collector.pid()), kRuns, kTargetMs);
  httplib::Client client("127.0.0.1", collector.port());
  client.set_keep_alive(true);
  client.set_read_timeout(600s);
  for (const HttpSearch& search : searches) TimePages(client, search, table);
  for (const Asking* asking : {&kPlain, &kGzip, &kBrotli}) {
    TimeCsv(client, collector.pid(), month, *asking, table);
  }
  client.stop();
  const std::string ended = collector.Stop();
  table.Line("  stopped with SIGTERM: " + ended, ended == "exit status 0");
}

}  // namespace tallygate::bench
