// Python arguments checked and converted before anything is sent: a value
// out of range raises ValueError, a value of the wrong type TypeError.
#ifndef TALLYGATE_PYTHON_ARGUMENTS_H_
#define TALLYGATE_PYTHON_ARGUMENTS_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tallygate/terminal.h"

namespace tallygate::python {

namespace py = pybind11;

// 0 to 255.
uint8_t ByteArgument(long long value, const char* what);
// 0 to 65535.
uint16_t WordArgument(long long value, const char* what);
// A card number: 0 to 2**32-1, or its signed 32-bit form (-1 is 0xFFFFFFFF).
uint32_t CardArgument(long long value);
// A position to fetch from: 0 to 32767.
int32_t PositionArgument(long long value);

// A wait in seconds, positive and finite.
double SecondsArgument(double value, const char* what);
// A call's options: its own wait instead of the command's usual one.
CallOptions CallOptionsOf(std::optional<double> timeout);

// A serial device: a path (str or os.PathLike), a COM port name ("COM3") or
// a COM port number (3).
std::string SerialDeviceOf(py::handle device);
// A file path: str or os.PathLike.
std::string PathOf(py::handle path, const char* what);

// "gbk" or "big5".
NameCoding NameCodingOf(const std::string& names);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_ARGUMENTS_H_
