#include "errors.h"

#include <array>

namespace tallygate::python {
namespace {

struct Kind {
  ErrorCode code;
  const char* name;
  const char* doc;
};

// One class per ErrorCode; `kind` on each is ErrorCodeName's text.
constexpr std::array kKinds{
    Kind{ErrorCode::kNoReply, "NoReplyError",
         "No reply, or no complete reply, came within the wait."},
    Kind{ErrorCode::kOtherAddress, "OtherAddressError",
         "A reply came from another terminal address."},
    Kind{ErrorCode::kBadCheck, "BadCheckError", "The reply's check byte was wrong."},
    Kind{ErrorCode::kWrongEcho, "WrongEchoError", "The reply answered another command."},
    Kind{ErrorCode::kBadReply, "BadReplyError",
         "A well-formed reply whose content cannot be right (a count of 0x8000 or more)."},
    Kind{ErrorCode::kRefused, "RefusedError", "The terminal refused the TCP connection."},
    Kind{ErrorCode::kClosed, "ClosedError",
         "The connection was closed by the terminal, or the Line was closed."},
    Kind{ErrorCode::kReset, "ResetError", "The connection was reset or failed."},
    Kind{ErrorCode::kTimedOut, "TimedOutError",
         "A TCP connection attempt did not complete in time."},
    Kind{ErrorCode::kHostNotFound, "HostNotFoundError", "The host name did not resolve."},
    Kind{ErrorCode::kDeviceBusy, "DeviceBusyError",
         "The serial device is held by another program."},
    Kind{ErrorCode::kNoSuchDevice, "NoSuchDeviceError", "The serial device does not exist."},
    Kind{ErrorCode::kPermissionDenied, "PermissionDeniedError", "No access to the serial device."},
    Kind{ErrorCode::kDeviceGone, "DeviceGoneError",
         "The serial device went away (unplugged, hung up)."},
    Kind{ErrorCode::kInvalidArgument, "InvalidArgumentError",
         "An argument the terminal API refused; nothing was sent. Also a ValueError."},
    Kind{ErrorCode::kStopped, "StoppedError", "A fetch ended because its Line was closed."},
    Kind{ErrorCode::kIoError, "LineIoError", "Any other failure of the line."},
};

// The classes live as long as the process: the module is never unloaded.
PyObject* base_class = nullptr;
PyObject* incomplete_class = nullptr;
std::array<PyObject*, kKinds.size()> kind_classes{};

PyObject* NewClass(py::module_& module, const char* name, const char* doc, py::handle bases,
                   const char* kind) {
  const std::string qualified = std::string("tallygate.") + name;
  py::dict attributes;
  attributes["kind"] = kind;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), attributes.ptr());
  if (type == nullptr) throw py::error_already_set();
  module.add_object(name, py::handle(type));  // takes a reference of its own
  return type;
}

PyObject* ClassOf(ErrorCode code) {
  for (size_t i = 0; i < kKinds.size(); ++i) {
    if (kKinds[i].code == code) return kind_classes[i];
  }
  return base_class;
}

[[noreturn]] void RaiseWith(PyObject* type, const std::string& message,
                            py::object report = py::none()) {
  py::object instance = py::reinterpret_borrow<py::object>(type)(message);
  instance.attr("reason") = message;
  if (!report.is_none()) instance.attr("report") = std::move(report);
  PyErr_SetObject(type, instance.ptr());
  throw py::error_already_set();
}

}  // namespace

void BindErrors(py::module_& module) {
  base_class = NewClass(module, "Error",
                        "A terminal, a line or a fetch failed. `kind` names the failure "
                        "(\"no-reply\", \"refused\", ...), `reason` (also str(error)) says why.",
                        PyExc_Exception, "error");
  for (size_t i = 0; i < kKinds.size(); ++i) {
    const Kind& kind = kKinds[i];
    const std::string name(ErrorCodeName(kind.code));
    if (kind.code == ErrorCode::kInvalidArgument) {
      const py::tuple bases = py::make_tuple(py::handle(base_class), py::handle(PyExc_ValueError));
      kind_classes[i] = NewClass(module, kind.name, kind.doc, bases, name.c_str());
    } else {
      kind_classes[i] = NewClass(module, kind.name, kind.doc, base_class, name.c_str());
    }
  }
  incomplete_class =
      NewClass(module, "IncompleteFetchError",
               "A fetch ended without every position it was asked for; raised after the last "
               "record or card that did come. `report` (a FetchReport) lists the missed "
               "positions.",
               base_class, "incomplete");
}

void Raise(const Error& error) { RaiseWith(ClassOf(error.code()), error.message()); }

void RaiseFileError(const BasicError& error, const std::string& path) {
  const std::string message = path + ": " + error.description();
  switch (error.number()) {
    case err::kFileNotFound:
    case err::kPathNotFound: PyErr_SetString(PyExc_FileNotFoundError, message.c_str()); break;
    case err::kPermissionDenied: PyErr_SetString(PyExc_PermissionError, message.c_str()); break;
    case err::kInputPastEndOfFile: PyErr_SetString(PyExc_ValueError, message.c_str()); break;
    default: PyErr_SetString(PyExc_OSError, message.c_str());
  }
  throw py::error_already_set();
}

void RaiseIncomplete(const std::string& message, py::object report) {
  RaiseWith(incomplete_class, message, std::move(report));
}

}  // namespace tallygate::python
