// The C++ side of python_bench.py: FetchRecords of every record of the
// terminal at HOST:PORT, each handed to a callback, as the Python module's
// records() is measured against. Prints one line per run:
//
//   <seconds> <records delivered> <complete: 1 or 0>
//
// The time covers the fetch alone (the count query included), not opening
// the line.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <string>

#include "common/cli/command_line.h"
#include "tallygate/terminal.h"

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 0;
  int address = 1;
  int runs = 1;
  CLI::App app("Times the terminal API's FetchRecords of a whole terminal over TCP.",
               "python_bench_fetch");
  tallygate::command_line::Prepare(app);
  app.add_option("--host", host, "the terminal's host");
  app.add_option("--port", port, "the terminal's TCP port")->required();
  app.add_option("--address", address, "the terminal's address")->check(CLI::Range(0, 255));
  app.add_option("--runs", runs, "fetches, one after the other")->check(CLI::Range(1, 100));
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;

  auto line = tallygate::Line::Open(tallygate::TcpEndpoint{host, static_cast<uint16_t>(port)});
  if (!line) {
    std::fprintf(stderr, "python_bench_fetch: %s\n", line.error().message().c_str());
    return 1;
  }
  for (int run = 0; run < runs; ++run) {
    int32_t records = 0;
    uint32_t cards = 0;  // keeps the callback's work from being optimised away
    const auto start = std::chrono::steady_clock::now();
    const auto report = (*line)->FetchRecords(static_cast<uint8_t>(address), 0,
                                              [&](const tallygate::AttendanceRecord& record) {
                                                ++records;
                                                cards ^= record.card;
                                              });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!report) {
      std::fprintf(stderr, "python_bench_fetch: %s\n", report.error().message().c_str());
      return 1;
    }
    std::printf("%.6f %d %d\n", seconds, records, report->complete() ? 1 : 0);
    std::fflush(stdout);
    if (cards == 0xFFFFFFFFu) std::fprintf(stderr, "(card xor %08X)\n", cards);
  }
  return 0;
}
