// tallygate.Terminal: one terminal of a line (its address), with a method
// per command of the terminal API.
#ifndef TALLYGATE_PYTHON_TERMINAL_BINDINGS_H_
#define TALLYGATE_PYTHON_TERMINAL_BINDINGS_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>

#include "line_handle.h"

namespace tallygate::python {

namespace py = pybind11;

struct TerminalRef {
  std::shared_ptr<LineHandle> handle;
  uint8_t address = 0;
};

void BindTerminal(py::module_& module);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_TERMINAL_BINDINGS_H_
