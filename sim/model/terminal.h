// One simulated terminal: its state and how it answers the frames addressed
// to it.
#ifndef TALLYGATE_SIM_MODEL_TERMINAL_H_
#define TALLYGATE_SIM_MODEL_TERMINAL_H_

#include <cstdint>

#include "sim/model/received_frame.h"
#include "sim/model/reply.h"
#include "sim/model/terminal_state.h"

namespace tallygate::sim {

class Terminal {
 public:
  explicit Terminal(uint8_t address) { state_.address = address; }

  // The current bus address (RepairAddress changes it).
  uint8_t address() const { return state_.address; }

  TerminalState& state() { return state_; }
  const TerminalState& state() const { return state_; }

  // The answer to `frame`, whatever its address (the bus chooses the
  // terminal). Unknown commands, commands not simulated and frames whose
  // FrameLength is not the command's get a silent reply with a note.
  Reply Handle(const ReceivedFrame& frame);

 private:
  TerminalState state_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_TERMINAL_H_
