// tallygate.Line (a serial bus or a TCP connection, opened by Line.tcp or
// Line.serial) and the module's functions that need no line.
#ifndef TALLYGATE_PYTHON_LINE_BINDINGS_H_
#define TALLYGATE_PYTHON_LINE_BINDINGS_H_

#include <pybind11/pybind11.h>

namespace tallygate::python {

namespace py = pybind11;

void BindLine(py::module_& module);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_LINE_BINDINGS_H_
