// What a reply wait costs while no terminal answers: ClearRecord waits 10
// seconds for its reply. Measured over a pseudo-terminal, over a loopback TCP
// connection that never answers, with a host event pump installed, and
// through the terminal API with a stop token that could end it.
// Prints wall time, CPU time and the share of one core for each.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "common/cli/command_line.h"
#include "tallygate/connect_v70.h"
#include "tallygate/host_services.h"
#include "tallygate/terminal.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Measure(const char* name, const std::function<bool()>& call) {
  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const bool result = call();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = CpuSeconds() - cpu0;
  std::printf("%-34s result %-5s wall %6.2f s  cpu %7.4f s  %6.3f%% of a core (target < 1%%)\n",
              name, result ? "true" : "false", wall, cpu, 100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("What a 10-second reply wait costs while no terminal answers: wall time,\n"
               "CPU time and the share of one core, over a pseudo-terminal, TCP and the terminal API.",
               "reply_wait_bench");
  tallygate::command_line::Prepare(app);
  if (const auto status = tallygate::command_line::Parse(app, argc, argv)) return *status;
  char folder[] = "/tmp/tallygate-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  setenv("TALLYGATE_HOME", folder, 1);
  setenv("TALLYGATE_SYSTEM_LOCALE", "C", 1);

  // A pseudo-terminal whose other end never answers.
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
  setenv("TALLYGATE_COM9", ptsname(master), 1);

  // A listener that accepts and never answers.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 1;
  }
  const int port = ntohs(address.sin_port);

  std::printf("A ClearRecord that no terminal answers (10 s reply wait):\n");
  {
    tallygate::Connect_v70 link;
    if (!link.SetPort(9)) return 1;
    Measure("serial, pseudo-terminal", [&] { return link.ClearRecord(1); });
    tg_host_services services{};
    services.pump_events = [](void*) {};
    tg_set_host_services(&services);
    Measure("serial, host event pump (20 ms)", [&] { return link.ClearRecord(1); });
    tg_set_host_services(nullptr);
  }
  {
    tallygate::Connect_v70 link;
    link.Mode(1);
    if (!link.Connect_Net("127.0.0.1", port)) return 1;
    Measure("TCP, loopback", [&] { return link.ClearRecord(1); });
    link.Disconnect_Net();
  }
  {
    // The terminal API with a stop token: the wait looks at it every 50 ms.
    auto line = tallygate::Line::Open(tallygate::TcpEndpoint{"127.0.0.1", static_cast<uint16_t>(port)});
    if (!line) return 1;
    std::stop_source stop;
    Measure("terminal API, TCP, stop token", [&] {
      return (*line)->ClearRecords(1, tallygate::CallOptions{std::nullopt, stop.get_token()}).ok();
    });
  }
  close(listener);
  close(master);
  std::filesystem::remove_all(folder);
  return 0;
}
