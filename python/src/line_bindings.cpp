#include "line_bindings.h"

#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <utility>

#include "arguments.h"
#include "line_handle.h"
#include "tallygate/code_tables.h"
#include "terminal_bindings.h"

namespace tallygate::python {
namespace {

// The trace callable, dropped with the GIL whichever thread lets the line go.
struct TraceTarget {
  py::object callable;
  ~TraceTarget() {
    py::gil_scoped_acquire gil;
    callable = py::object();
  }
};

// Hands each block to `callable` (direction ">" or "<", bytes, time.monotonic()
// seconds) with the GIL; what it raises is reported as unraisable, never
// taken for a failure of the line.
TraceCallback TraceOf(py::object callable) {
  if (callable.is_none()) return nullptr;
  if (!PyCallable_Check(callable.ptr())) throw py::type_error("trace must be callable");
  auto target = std::make_shared<TraceTarget>();
  target->callable = std::move(callable);
  return [target](TraceDirection direction, std::span<const uint8_t> bytes,
                  std::chrono::steady_clock::time_point when) {
    py::gil_scoped_acquire gil;
    try {
      target->callable(direction == TraceDirection::kSent ? ">" : "<",
                       py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       std::chrono::duration<double>(when.time_since_epoch()).count());
    } catch (py::error_already_set& error) {
      error.discard_as_unraisable("tallygate trace");
    }
  };
}

// Opens the line off the Python thread. Opening has no stop: a TCP connect
// waits at most `connect_timeout` (and the name lookup), Ctrl-C is raised
// after it.
std::shared_ptr<LineHandle> Open(const Endpoint& endpoint, LineOptions options) {
  std::optional<Result<std::unique_ptr<Line>>> line;
  RunInterruptibly(
      [&](std::stop_token) { line.emplace(Line::Open(endpoint, std::move(options))); });
  return std::make_shared<LineHandle>(ValueOf(std::move(*line)));
}

LineOptions OptionsOf(const std::string& names, py::object trace) {
  LineOptions options;
  options.names = NameCodingOf(names);
  options.trace = TraceOf(std::move(trace));
  return options;
}

}  // namespace

void BindLine(py::module_& module) {
  using Handle = std::shared_ptr<LineHandle>;
  py::class_<LineHandle, Handle>(
      module, "Line",
      "A serial bus (up to 255 terminals, told apart by address) or a TCP connection to one "
      "terminal (usually address 1). A context manager: the line closes on exit.")
      .def_static(
          "tcp",
          [](const std::string& host, long long port, double connect_timeout,
             const std::string& names, py::object trace) {
            LineOptions options = OptionsOf(names, std::move(trace));
            options.connect_wait =
                std::chrono::duration<double>(SecondsArgument(connect_timeout, "connect_timeout"));
            return Open(TcpEndpoint{host, WordArgument(port, "port")}, std::move(options));
          },
          py::arg("host"), py::arg("port") = 1001, py::kw_only(), py::arg("connect_timeout") = 2.0,
          py::arg("names") = "gbk", py::arg("trace") = py::none(),
          "Connects to a terminal: a host name (each of its addresses is tried), an IPv4 "
          "address or an IPv6 address (without brackets).\n"
          "names: how the terminals code names and messages, \"gbk\" or \"big5\" (Big5 mapped "
          "to GB2312 codes; needs load_code_tables()).\n"
          "trace: called (direction \">\" or \"<\", bytes, time.monotonic() seconds) for every "
          "block sent or received, from the thread that does the exchange.")
      .def_static(
          "serial",
          [](py::handle device, const std::string& names, py::object trace) {
            return Open(SerialEndpoint{SerialDeviceOf(device)}, OptionsOf(names, std::move(trace)));
          },
          py::arg("device"), py::kw_only(), py::arg("names") = "gbk", py::arg("trace") = py::none(),
          "Opens a serial port with an RS-485 bus, exclusively: a device path (\"/dev/ttyUSB0\"), "
          "a COM port (\"COM3\" or 3: /dev/ttyS2, or the device TALLYGATE_COM3 names). names "
          "and trace as for tcp().")
      .def(
          "terminal",
          [](const Handle& handle, long long address) {
            return TerminalRef{handle, ByteArgument(address, "address")};
          },
          py::arg("address"), "The terminal at `address` (0 to 255) on this line.")
      .def_property_readonly("name", &LineHandle::name, "\"/dev/ttyUSB0\", \"10.0.0.7:1001\".")
      .def_property_readonly("is_serial", &LineHandle::serial,
                             "A serial bus, not a TCP connection.")
      .def_property_readonly("closed", &LineHandle::closed, "Whether close() was called.")
      .def("close", &LineHandle::Close,
           "Stops a fetch that holds the line, waits for a call in progress, and closes the "
           "connection or port. Calls after it raise ClosedError.")
      .def("__enter__", [](const Handle& handle) { return handle; })
      .def("__exit__", [](LineHandle& handle, py::args) { handle.Close(); })
      .def("__repr__", [](const LineHandle& handle) {
        return "<tallygate.Line " + handle.name() + (handle.closed() ? " closed>" : ">");
      });

  module.def(
      "resolve_host",
      [](const std::string& host) {
        std::optional<Result<std::vector<std::string>>> addresses;
        RunInterruptibly([&](std::stop_token) { addresses.emplace(ResolveHost(host)); });
        return ValueOf(std::move(*addresses));
      },
      py::arg("host"), "The numeric addresses of `host`, as Line.tcp tries them.");

  module.def(
      "load_code_tables",
      [](py::handle path) {
        const std::string file = PathOf(path, "code tables");
        try {
          LoadCodeTables(file);
        } catch (const BasicError& error) {
          RaiseFileError(error, file);
        }
      },
      py::arg("path"),
      "Loads the Big5 to GB2312 tables (\"rm.txt\") that lines opened with names=\"big5\" "
      "need, for the whole process.");
}

}  // namespace tallygate::python
