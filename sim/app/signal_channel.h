// SIGINT and SIGTERM as events of the loop, through a signalfd: the loop
// stops cleanly between two rounds, never inside a write.
#ifndef TALLYGATE_SIM_APP_SIGNAL_CHANNEL_H_
#define TALLYGATE_SIM_APP_SIGNAL_CHANNEL_H_

#include "sim/app/event_loop.h"
#include "sim/app/output.h"
#include "sim/app/unique_fd.h"

namespace tallygate::sim {

class SignalChannel final : public Channel {
 public:
  // Blocks SIGINT and SIGTERM for the process and ignores SIGPIPE. Throws
  // std::system_error when the signalfd cannot be made.
  SignalChannel(EventLoop& loop, Output& output);

  void Watch(std::vector<pollfd>& fds) override;
  void Service(std::span<const pollfd> fds, TimePoint now) override;

 private:
  EventLoop& loop_;
  Output& output_;
  UniqueFd fd_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_SIGNAL_CHANNEL_H_
