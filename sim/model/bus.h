// Terminals sharing one line.
//
// Every terminal sees every frame and answers only those addressed to it, as
// on a real multi-drop bus; two terminals given the same address would both
// answer, and their replies would run into each other on the line. The bus
// does not own its terminals, so one terminal can sit on the serial bus and
// behind a TCP listener at once.
#ifndef TALLYGATE_SIM_MODEL_BUS_H_
#define TALLYGATE_SIM_MODEL_BUS_H_

#include <cstdint>
#include <vector>

#include "sim/model/received_frame.h"
#include "sim/model/reply.h"
#include "sim/model/terminal.h"

namespace tallygate::sim {

class Bus {
 public:
  struct Answer {
    Terminal* terminal;
    uint8_t address;  // the terminal's address when the frame came
    Reply reply;
  };

  void Attach(Terminal& terminal) { terminals_.push_back(&terminal); }
  const std::vector<Terminal*>& terminals() const { return terminals_; }

  // The first terminal now at `address`, or nullptr.
  Terminal* Find(uint8_t address) const;

  // The answers of the terminals that `frame` addresses, in attach order;
  // none when no terminal has its address.
  std::vector<Answer> Deliver(const ReceivedFrame& frame);

 private:
  std::vector<Terminal*> terminals_;
};

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_BUS_H_
