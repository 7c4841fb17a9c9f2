#include "arguments.h"

#include <cmath>

namespace tallygate::python {
namespace {

long long InRange(long long value, long long low, long long high, const char* what) {
  if (value < low || value > high) {
    throw py::value_error(std::string(what) + " " + std::to_string(value) + " (" +
                          std::to_string(low) + " to " + std::to_string(high) + ")");
  }
  return value;
}

}  // namespace

uint8_t ByteArgument(long long value, const char* what) {
  return static_cast<uint8_t>(InRange(value, 0, 0xFF, what));
}

uint16_t WordArgument(long long value, const char* what) {
  return static_cast<uint16_t>(InRange(value, 0, 0xFFFF, what));
}

uint32_t CardArgument(long long value) {
  return static_cast<uint32_t>(InRange(value, -0x80000000LL, 0xFFFFFFFFLL, "card"));
}

int32_t PositionArgument(long long value) {
  return static_cast<int32_t>(InRange(value, 0, 0x7FFF, "position"));
}

double SecondsArgument(double value, const char* what) {
  if (!std::isfinite(value) || value <= 0) {
    throw py::value_error(std::string(what) + " of " + std::to_string(value) +
                          " s (a positive number of seconds)");
  }
  return value;
}

CallOptions CallOptionsOf(std::optional<double> timeout) {
  CallOptions options;
  if (timeout) options.wait = std::chrono::duration<double>(SecondsArgument(*timeout, "timeout"));
  return options;
}

std::string PathOf(py::handle path, const char* what) {
  const py::object fspath = py::module_::import("os").attr("fspath");
  py::object text;
  try {
    text = fspath(path);
  } catch (const py::error_already_set& error) {
    if (!error.matches(PyExc_TypeError)) throw;
    throw py::type_error(std::string(what) + ": a str or os.PathLike path is needed");
  }
  if (!py::isinstance<py::str>(text)) {
    throw py::type_error(std::string(what) + ": a str path is needed, not bytes");
  }
  return text.cast<std::string>();
}

std::string SerialDeviceOf(py::handle device) {
  if (py::isinstance<py::int_>(device) && !py::isinstance<py::bool_>(device)) {
    return std::to_string(InRange(device.cast<long long>(), 1, 255, "COM port"));
  }
  return PathOf(device, "serial device");
}

NameCoding NameCodingOf(const std::string& names) {
  if (names == "gbk") return NameCoding::kGbk;
  if (names == "big5") return NameCoding::kBig5Mapped;
  throw py::value_error("names \"" + names + "\" (\"gbk\" or \"big5\")");
}

}  // namespace tallygate::python
