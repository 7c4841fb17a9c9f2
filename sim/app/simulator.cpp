#include "sim/app/simulator.h"

#include "sim/model/synthetic_data.h"
#include "sim/model/wire_pacer.h"

namespace tallygate::sim {

Simulator::Simulator(const SimOptions& options)
    : output_(options.quiet),
      control_(all_terminals_, faults_, options.seed),
      signals_(loop_, output_),
      control_channel_(control_, output_, loop_, options.exit_on_eof) {
  for (uint8_t address : options.addresses) {
    Terminal& terminal = terminals_.emplace_back(address);
    terminal.state().records = SyntheticRecords(options.records, options.seed);
    terminal.state().cards = SyntheticCards(options.cards, options.seed);
    terminal.state().storage_mode = options.storage_mode;
    all_terminals_.Attach(terminal);
  }
  tcp_terminal_.Attach(terminals_.front());
  for (const FaultRule& rule : options.faults) faults_.Add(rule);

  HostLineOptions line;
  line.char_time = options.wire_speed ? kSerialCharTime : std::chrono::nanoseconds{0};
  line.silence = options.silence;
  if (options.tcp()) {
    line.can_close = true;
    tcp_ = std::make_unique<TcpListener>(options.listen, options.tcp_port.value_or(kDefaultTcpPort),
                                         tcp_terminal_, faults_, line, output_);
  }
  if (options.pty) {
    line.can_close = false;
    pty_ = std::make_unique<PtyBus>(all_terminals_, faults_, line, output_);
  }
  loop_.Add(signals_);
  loop_.Add(control_channel_);
  if (tcp_) loop_.Add(*tcp_);
  if (pty_) loop_.Add(*pty_);
}

void Simulator::Run() {
  if (tcp_) output_.Line("tcp " + tcp_->address() + " " + std::to_string(tcp_->port()));
  if (pty_) output_.Line("pty " + pty_->path());
  output_.Line("ready");
  loop_.Run();
}

}  // namespace tallygate::sim
