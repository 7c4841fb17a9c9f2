// Applying faults to a reply: the bytes that actually go out, and when.
//
// The result is a list of segments, each to leave after a pause, and
// whether the connection is to be closed after them. Without faults it is
// one segment holding the whole reply.
//
// A fault aimed at a unit (unit=K) touches that unit only: dropped, spoiled,
// shortened, followed by garbage, delayed (the pause comes before the unit)
// or, for close, the connection closes before it. A fault on the whole reply
// spoils every unit (wrong-address, bad-check, wrong-echo), or acts on the
// reply as one stream: drop sends nothing, short=N keeps its first N bytes,
// extra=N adds garbage at its end, delay=MS holds it back, close closes the
// connection instead of answering. wrong-address and wrong-echo recompute
// the check byte, so the host sees a well-formed reply with the wrong byte.
// A silent reply stays silent; only close still closes.
#ifndef TALLYGATE_SIM_MODEL_FAULT_EFFECTS_H_
#define TALLYGATE_SIM_MODEL_FAULT_EFFECTS_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "link/protocol/frame.h"
#include "sim/model/fault_plan.h"
#include "sim/model/reply.h"

namespace tallygate::sim {

// What extra=N sends.
inline constexpr uint8_t kGarbageByte = 0xEE;

struct Segment {
  std::chrono::milliseconds pause{0};  // before the first byte
  Bytes bytes;
};

struct Transmission {
  std::vector<Segment> segments;
  bool close = false;  // close the connection once the segments are out

  Bytes Joined() const;
  std::chrono::milliseconds TotalPause() const;
};

Transmission ApplyFaults(const Reply& reply, std::span<const FaultAction> faults);

}  // namespace tallygate::sim

#endif  // TALLYGATE_SIM_MODEL_FAULT_EFFECTS_H_
