#include "link/transport/serial_device.h"

#include <cstdlib>

namespace tallygate {

std::string SerialDevicePath(int16_t com_port) {
  if (com_port < 1) return {};
  const std::string variable = "TALLYGATE_COM" + std::to_string(com_port);
  const char* device = std::getenv(variable.c_str());
  if (device != nullptr && *device != '\0') return device;
  return "/dev/ttyS" + std::to_string(com_port - 1);
}

}  // namespace tallygate
