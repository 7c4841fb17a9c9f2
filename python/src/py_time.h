// Times between Python's datetime and the terminal's local time. A terminal
// has no time zone: its times are naive datetimes, as recorded.
#ifndef TALLYGATE_PYTHON_PY_TIME_H_
#define TALLYGATE_PYTHON_PY_TIME_H_

#include <pybind11/pybind11.h>

#include <chrono>
#include <optional>

#include "tallygate/terminal.h"

namespace tallygate::python {

namespace py = pybind11;

// A naive datetime.datetime, or None for no time.
py::object DatetimeOf(const std::optional<LocalDateTime>& time);

// A datetime.datetime as the terminal's local time, to the second (the
// microseconds dropped). An aware datetime is first converted to this
// computer's local time. TypeError for anything else.
LocalDateTime LocalTimeOf(py::handle value);

// This computer's local time now.
LocalDateTime LocalNow();

// A datetime.time of whole minutes as minutes after midnight; TypeError for
// anything else, ValueError for seconds or a time zone.
std::chrono::minutes TimeOfDayOf(py::handle value);
py::object TimeOfDayObject(std::chrono::minutes minutes);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_PY_TIME_H_
