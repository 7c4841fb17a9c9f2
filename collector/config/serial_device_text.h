// Serial devices as the configuration names them: a device path or a COM
// port, read the way the terminal API reads SerialEndpoint::device.
#ifndef TALLYGATE_COLLECTOR_CONFIG_SERIAL_DEVICE_TEXT_H_
#define TALLYGATE_COLLECTOR_CONFIG_SERIAL_DEVICE_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace tallygate::collector {

// "COM3", "com3" or "3": the port's number, 1 to 255; nullopt for a path.
std::optional<int> ComPortNumber(std::string_view device);

// An absolute device path ("/dev/ttyUSB0") or a COM port; throws
// InputError otherwise.
std::string CheckSerialDevice(std::string_view device);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_SERIAL_DEVICE_TEXT_H_
