// The Python exceptions of the module: tallygate.Error and one subclass per
// kind of failure of the terminal API (ErrorCode), plus IncompleteFetchError
// for a fetch that could not deliver every position.
#ifndef TALLYGATE_PYTHON_ERRORS_H_
#define TALLYGATE_PYTHON_ERRORS_H_

#include <pybind11/pybind11.h>

#include <string>
#include <utility>

#include "tallygate/basic_error.h"
#include "tallygate/result.h"

namespace tallygate::python {

namespace py = pybind11;

// Creates the exception classes in `module`.
void BindErrors(py::module_& module);

// Raises the exception of `error`'s kind, its message as the text and as
// the attribute `reason`. With the GIL held.
[[noreturn]] void Raise(const Error& error);

// Raises the OSError (FileNotFoundError, PermissionError) or, for a file
// whose content is wrong, the ValueError of a file the library could not
// read.
[[noreturn]] void RaiseFileError(const BasicError& error, const std::string& path);

// Raises IncompleteFetchError with `message`, `report` as its attribute.
[[noreturn]] void RaiseIncomplete(const std::string& message, py::object report);

template <typename T>
T ValueOf(Result<T> result) {
  if (!result) Raise(result.error());
  return std::move(*result);
}

inline void Check(const Status& status) {
  if (!status) Raise(status.error());
}

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_ERRORS_H_
