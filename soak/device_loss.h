// The serial device going away under a call: the simulator's
// pseudo-terminal disappears (the simulator is killed) in the middle of a
// record collection, and a bare pseudo-terminal is hung up while a command
// waits for its reply. Calls must end at once with a failure or a described
// partial collection, and the next SetPort on a working device must work.
//
// Uses TALLYGATE_COM1 (set and restored here) and the calling thread's
// serial port.
#ifndef TALLYGATE_SOAK_DEVICE_LOSS_H_
#define TALLYGATE_SOAK_DEVICE_LOSS_H_

#include <filesystem>
#include <string>
#include <vector>

#include "soak/hostile_runs.h"

namespace tallygate::soak {

struct DeviceLossOptions {
  int records = 3000;  // twelve pages: the loss comes with most still to fetch
  double slack_seconds = 0.5;
  std::filesystem::path folder;
};

struct DeviceLossFigures {
  std::vector<TimedCall> calls;
  int violations = 0;
  int records_before_loss = 0;  // exact lines in the partial file
  int descriptors_before = 0, descriptors_after = 0;
  std::vector<std::string> findings;
};

DeviceLossFigures RunDeviceLoss(const DeviceLossOptions& options);

}  // namespace tallygate::soak

#endif  // TALLYGATE_SOAK_DEVICE_LOSS_H_
