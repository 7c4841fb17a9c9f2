#include "sim/model/bus.h"

namespace tallygate::sim {

Terminal* Bus::Find(uint8_t address) const {
  for (Terminal* terminal : terminals_) {
    if (terminal->address() == address) return terminal;
  }
  return nullptr;
}

std::vector<Bus::Answer> Bus::Deliver(const ReceivedFrame& frame) {
  std::vector<Answer> answers;
  for (Terminal* terminal : terminals_) {
    if (terminal->address() != frame.address) continue;
    answers.push_back({terminal, frame.address, terminal->Handle(frame)});
  }
  return answers;
}

}  // namespace tallygate::sim
