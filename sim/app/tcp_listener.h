// The TCP side: one listening socket for one terminal, one client at a
// time. A new client replaces the one before it, whose connection is closed
// and whose unfinished frames and replies are forgotten.
#ifndef TALLYGATE_SIM_APP_TCP_LISTENER_H_
#define TALLYGATE_SIM_APP_TCP_LISTENER_H_

#include <cstdint>
#include <string>

#include "sim/app/event_loop.h"
#include "sim/app/output.h"
#include "sim/app/stream_pump.h"
#include "sim/app/unique_fd.h"
#include "sim/model/host_line.h"

namespace tallygate::sim {

class TcpListener final : public Channel {
 public:
  // Listens on `address` (IPv4 text) and `port` (0: a free port). Throws
  // std::system_error when the socket cannot be set up.
  TcpListener(const std::string& address, uint16_t port, Bus& bus, FaultPlan& faults,
              HostLineOptions options, Output& output);

  // The address and port actually listened on.
  const std::string& address() const { return address_; }
  uint16_t port() const { return port_; }
  bool has_client() const { return client_.valid(); }

  void Watch(std::vector<pollfd>& fds) override;
  void Service(std::span<const pollfd> fds, TimePoint now) override;
  std::optional<TimePoint> next_deadline() const override;

 private:
  void Accept();
  void DropClient(const char* why);

  Output& output_;
  UniqueFd listener_;
  UniqueFd client_;
  std::string address_;
  uint16_t port_ = 0;
  HostLine line_;
  StreamPump pump_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_TCP_LISTENER_H_
