// The terminal API's values as Python classes: Record, CardEntry,
// PageReport, FetchReport, SystemParameters, ParameterSettings, CardRead and
// RingSchedule. Each is dataclass-like: keyword construction where a caller
// makes them, attributes, ==, a repr that shows the fields.
#ifndef TALLYGATE_PYTHON_VALUE_BINDINGS_H_
#define TALLYGATE_PYTHON_VALUE_BINDINGS_H_

#include <pybind11/pybind11.h>

#include <chrono>
#include <vector>

namespace tallygate::python {

namespace py = pybind11;

// A ring schedule to load: its number (1, 2 or 3) and up to ten times of day.
struct RingSchedule {
  int number = 1;
  std::vector<std::chrono::minutes> times;
};

void BindValues(py::module_& module);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_VALUE_BINDINGS_H_
