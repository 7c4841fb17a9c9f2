// The extension module tallygate._tallygate; the package tallygate
// re-exports it.
#include <pybind11/pybind11.h>

#include "errors.h"
#include "fetch_bindings.h"
#include "line_bindings.h"
#include "terminal_bindings.h"
#include "value_bindings.h"

PYBIND11_MODULE(_tallygate, module) {
  module.doc() = "Attendance terminals over a serial bus or TCP: the terminal API for Python.";
  module.attr("__version__") = TALLYGATE_PYTHON_VERSION;
  tallygate::python::BindErrors(module);
  tallygate::python::BindValues(module);
  tallygate::python::BindFetch(module);
  tallygate::python::BindTerminal(module);
  tallygate::python::BindLine(module);
}
