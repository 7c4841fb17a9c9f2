// Counts and fetches a terminal's attendance records with the terminal API.
//
//   count_records --tcp HOST[:PORT] | --serial DEVICE  [--address N]
//
// Prints the terminal's record count, one line per record (position, card,
// time, flag, keep) and what was missed. Exit status: 0 every record came,
// 1 an error, 3 records are missing.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tallygate/terminal.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: count_records (--tcp HOST[:PORT] | --serial DEVICE) [--address N]\n");
  return 1;
}

// "2025-03-04 08:15:00", or "invalid" and the six date and time bytes.
std::string TimeText(const tallygate::AttendanceRecord& record) {
  char text[40];
  if (!record.time) {
    const auto b = record.time_bytes();
    std::snprintf(text, sizeof text, "invalid %02X %02X %02X %02X %02X %02X", b[0], b[1], b[2],
                  b[3], b[4], b[5]);
    return text;
  }
  const auto day = std::chrono::floor<std::chrono::days>(*record.time);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{*record.time - day};
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int{date.year()},
                unsigned{date.month()}, unsigned{date.day()},
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  tallygate::Endpoint endpoint;
  bool have_endpoint = false;
  int address = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--tcp") {
      tallygate::TcpEndpoint tcp{value};
      if (const auto colon = value.rfind(':'); colon != std::string::npos) {
        tcp.host = value.substr(0, colon);
        tcp.port = static_cast<uint16_t>(std::atoi(value.c_str() + colon + 1));
      }
      endpoint = tcp;
      have_endpoint = true;
    } else if (option == "--serial") {
      endpoint = tallygate::SerialEndpoint{value};
      have_endpoint = true;
    } else if (option == "--address") {
      address = std::atoi(value.c_str());
    } else {
      return Usage();
    }
  }
  if (!have_endpoint || argc % 2 == 0 || address < 0 || address > 255) return Usage();
  const auto terminal = static_cast<uint8_t>(address);

  auto line = tallygate::Line::Open(endpoint);
  if (!line) {
    std::fprintf(stderr, "%s\n", line.error().message().c_str());
    return 1;
  }
  const auto count = (*line)->RecordCount(terminal);
  if (!count) {
    std::fprintf(stderr, "%s\n", count.error().message().c_str());
    return 1;
  }
  std::printf("%s, terminal %d: %d records\n", (*line)->Name().c_str(), address, *count);

  tallygate::FetchOptions options;
  options.count = *count;  // asked just now: the fetch need not ask again
  const auto report = (*line)->FetchRecords(
      terminal, 0,
      [](const tallygate::AttendanceRecord& record) {
        std::printf("%6d  card %08X  %s  flag %02X  keep %02X\n", record.position, record.card,
                    TimeText(record).c_str(), record.flag, record.keep);
      },
      options);
  if (!report) {
    std::fprintf(stderr, "%s\n", report.error().message().c_str());
    return 1;
  }

  std::printf("delivered %d of %d\n", report->delivered, report->count - report->from);
  for (const tallygate::PageReport& page : report->pages) {
    if (page.missed.empty()) continue;
    std::printf("page %d: %zu of %d missed after %d attempts:", page.page, page.missed.size(),
                page.expected, page.attempts);
    for (const int32_t position : page.missed) std::printf(" %d", position);
    std::printf("\n");
  }
  if (report->stopped_early)
    std::printf("stopped after three lost pages; later pages not asked for\n");
  return report->complete() ? 0 : 3;
}
