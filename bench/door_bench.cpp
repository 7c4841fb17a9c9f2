// What the dashboard's front door holds off: tallygate-collector `run` as a
// child process, serving an empty store on loopback.
//   1. A POST of 2 GB of zeros to /login, with a same-origin Origin, sent
//      as fast as the collector takes it: the collector's peak resident
//      memory before and after, and how much it took before it refused.
//   2. /healthz asked 200 times, one connection each, from 127.0.0.2: alone,
//      then while 64 clients send a header line every second and 16 more
//      send a body's first bytes and no more (from four other addresses):
//      the median, 99th percentile and longest answer.
// Each figure stands beside its target; a missed one says MISSED.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/dashboard_collector.h"
#include "bench/figures.h"
#include "bench/process_usage.h"
#include "common/cli/command_line.h"
#include "tests/support/temp_dir.h"

namespace tallygate::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint64_t kHugeBody = 2ull << 30;
constexpr int kAsks = 200;
constexpr int kTricklers = 64;
constexpr int kSilentBodies = 16;

// A connection to the collector from `from` (a loopback address); -1 when
// it cannot be made.
int Connect(int port, const char* from) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in source{};
  source.sin_family = AF_INET;
  inet_pton(AF_INET, from, &source.sin_addr);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval limit{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// The status line of the answer on `fd`; empty when none came.
std::string StatusLine(int fd) {
  std::string answer;
  char buffer[4096];
  while (answer.find("\r\n") == std::string::npos) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    answer.append(buffer, static_cast<size_t>(got));
  }
  return answer.substr(0, answer.find("\r\n"));
}

void HugePost(const DashboardCollector& collector, Figures& figures) {
  const double before = StatusMb(collector.pid(), "VmHWM");
  const int fd = Connect(collector.port(), "127.0.0.1");
  const std::string origin = "http://127.0.0.1:" + std::to_string(collector.port());
  SendAll(fd, "POST /login HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(collector.port()) +
                  "\r\nOrigin: " + origin +
                  "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                  std::to_string(kHugeBody) + "\r\n\r\n");
  const std::string zeros(1 << 20, '\0');
  uint64_t sent = 0;
  const auto started = Clock::now();
  while (sent < kHugeBody && SendAll(fd, zeros)) sent += zeros.size();
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  const std::string status = StatusLine(fd);
  ::close(fd);
  const double after = StatusMb(collector.pid(), "VmHWM");
  std::printf("a 2 GB POST /login: answered \"%s\" after %.1f MB sent in %.2f s\n", status.c_str(),
              static_cast<double>(sent) / (1 << 20), seconds);
  figures.Print("  collector's peak memory before it", before, "MB", 64);
  figures.Print("  collector's peak memory after it", after, "MB", before + 16);
  if (status.find(" 413 ") == std::string::npos) figures.Failed("the POST was not refused 413");
}

// /healthz latencies in ms, each on a connection of its own from 127.0.0.2.
std::vector<double> AskHealth(int port) {
  std::vector<double> ms;
  const std::string request = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  for (int i = 0; i < kAsks; ++i) {
    const auto started = Clock::now();
    const int fd = Connect(port, "127.0.0.2");
    const bool answered = fd >= 0 && SendAll(fd, request) && !StatusLine(fd).empty();
    if (fd >= 0) ::close(fd);
    ms.push_back(answered ? std::chrono::duration<double, std::milli>(Clock::now() - started).count()
                          : 30000.0);
  }
  std::sort(ms.begin(), ms.end());
  return ms;
}

void PrintLatencies(const std::string& what, const std::vector<double>& ms, Figures& figures) {
  std::printf("/healthz %s: median %.2f ms, p99 %.2f ms\n", what.c_str(), ms[ms.size() / 2],
              ms[ms.size() * 99 / 100]);
  figures.Print("  longest answer " + what, ms.back(), "ms", 1000);
}

void Stalled(const DashboardCollector& collector, Figures& figures) {
  PrintLatencies("alone", AskHealth(collector.port()), figures);
  std::vector<int> stalling;
  const char* const kFrom[] = {"127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13", "127.0.0.14"};
  for (int i = 0; i < kTricklers; ++i) {
    const int fd = Connect(collector.port(), kFrom[i % 4]);
    if (fd >= 0 && SendAll(fd, "GET /terminals HTTP/1.1\r\n")) stalling.push_back(fd);
  }
  const size_t tricklers = stalling.size();
  for (int i = 0; i < kSilentBodies; ++i) {
    const int fd = Connect(collector.port(), kFrom[4]);
    if (fd >= 0 && SendAll(fd, "POST /login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000\r\n\r\nto")) {
      stalling.push_back(fd);
    }
  }
  std::atomic<bool> done = false;
  std::thread trickle([&] {
    for (int line = 0; !done; ++line) {
      for (size_t i = 0; i < tricklers; ++i) SendAll(stalling[i], "X-Line-" + std::to_string(line) + ": 1\r\n");
      for (int tenth = 0; tenth < 10 && !done; ++tenth) std::this_thread::sleep_for(100ms);
    }
  });
  std::this_thread::sleep_for(1s);
  std::printf("%zu clients stalling\n", stalling.size());
  PrintLatencies("while they stall", AskHealth(collector.port()), figures);
  done = true;
  trickle.join();
  for (const int fd : stalling) ::close(fd);
}

}  // namespace
}  // namespace tallygate::bench

int main(int argc, char** argv) {
  using namespace tallygate::bench;
  CLI::App app{"door_bench: what the dashboard's front door holds off"};
  tallygate::command_line::Prepare(app);
  std::string collector_program = TALLYGATE_COLLECTOR_PATH;
  app.add_option("--collector", collector_program, "tallygate-collector to run");
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  tallygate::testing::TempDir folder;
  Figures figures;
  try {
    DashboardCollector collector(collector_program, "sqlite:" + (folder / "punches.db").string(),
                                 folder.path());
    HugePost(collector, figures);
    Stalled(collector, figures);
    std::printf("collector: %s\n", collector.Stop().c_str());
    if (!figures.all_met()) std::printf("some targets MISSED\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "door_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
