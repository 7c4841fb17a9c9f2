// Which device a COM port number stands for.
#ifndef TALLYGATE_LINK_TRANSPORT_SERIAL_DEVICE_H_
#define TALLYGATE_LINK_TRANSPORT_SERIAL_DEVICE_H_

#include <cstdint>
#include <string>

namespace tallygate {

// COMn is the device named by the environment variable TALLYGATE_COM<n> when
// it is set and not empty (TALLYGATE_COM3=/dev/ttyUSB0, or a pseudo-terminal),
// otherwise /dev/ttyS<n-1>.
std::string SerialDevicePath(int16_t com_port);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_SERIAL_DEVICE_H_
