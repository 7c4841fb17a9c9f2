// Standard input as the control channel: reads lines, has Control answer
// each on standard output, and stops the loop on "quit" (or at end of input
// when asked to). Without --exit-on-eof the end of input only ends the
// channel, so a simulator started with stdin closed keeps running.
#ifndef TALLYGATE_SIM_APP_CONTROL_CHANNEL_H_
#define TALLYGATE_SIM_APP_CONTROL_CHANNEL_H_

#include <string>

#include "sim/app/control.h"
#include "sim/app/event_loop.h"
#include "sim/app/output.h"

namespace tallygate::sim {

class ControlChannel final : public Channel {
 public:
  ControlChannel(Control& control, Output& output, EventLoop& loop, bool exit_on_eof)
      : control_(control), output_(output), loop_(loop), exit_on_eof_(exit_on_eof) {}

  void Watch(std::vector<pollfd>& fds) override;
  void Service(std::span<const pollfd> fds, TimePoint now) override;

 private:
  void Ended();

  Control& control_;
  Output& output_;
  EventLoop& loop_;
  bool exit_on_eof_;
  bool open_ = true;
  std::string partial_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_APP_CONTROL_CHANNEL_H_
