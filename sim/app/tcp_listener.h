// The TCP side: one listening socket for one terminal, one client at a
// time. A new client replaces the one before it, whose connection is closed
// and whose unfinished frames and replies are forgotten. Stopping closes the
// listening socket and the client, as a terminal switched off would, until
// the listener is started again on the same port.
#ifndef TALLYGATE_SIM_APP_TCP_LISTENER_H_
#define TALLYGATE_SIM_APP_TCP_LISTENER_H_

#include <cstddef>
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
  // Listens on `address` (IPv4 text) and `port` (0: a free port); every log
  // line starts with `log_prefix`. Throws std::system_error when the socket
  // cannot be set up.
  TcpListener(const std::string& address, uint16_t port, Bus& bus, FaultPlan& faults,
              HostLineOptions options, Output& output, std::string log_prefix = {});

  // The address and port actually listened on.
  const std::string& address() const { return address_; }
  uint16_t port() const { return port_; }
  bool has_client() const { return client_.valid(); }
  bool listening() const { return listener_.valid(); }

  // Closes the listening socket and the client; connections are refused
  // until Start.
  void Stop();
  // Listens on the same port again (nothing when listening). Throws
  // std::system_error when the port cannot be had.
  void Start();

  void Watch(std::vector<pollfd>& fds) override;
  void Service(std::span<const pollfd> fds, TimePoint now) override;
  std::optional<TimePoint> next_deadline() const override;

 private:
  void Listen(uint16_t port);
  void Accept();
  void DropClient(const char* why);

  Output& output_;
  std::string log_prefix_;
  UniqueFd listener_;
  UniqueFd client_;
  std::string address_;
  uint16_t port_ = 0;
  HostLine line_;
  StreamPump pump_;
  // Where Watch put the descriptors this round: Service reads their events
  // there instead of searching a whole fleet's entries.
  size_t listener_slot_ = 0;
  size_t client_slot_ = 0;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_TCP_LISTENER_H_
