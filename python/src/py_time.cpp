#include "py_time.h"

// The datetime C API is reached through a table this file imports once.
#include <datetime.h>

#include <string>

namespace tallygate::python {
namespace {

void ImportDatetime() {
  if (PyDateTimeAPI == nullptr) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
  }
}

std::string TypeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__"));
}

}  // namespace

py::object DatetimeOf(const std::optional<LocalDateTime>& time) {
  if (!time) return py::none();
  ImportDatetime();
  const auto day = std::chrono::floor<std::chrono::days>(*time);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss<std::chrono::seconds> clock{*time - day};
  PyObject* value = PyDateTime_FromDateAndTime(
      static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
      static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
      static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()), 0);
  if (value == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

LocalDateTime LocalTimeOf(py::handle value) {
  ImportDatetime();
  if (!PyDateTime_Check(value.ptr())) {
    throw py::type_error("a datetime.datetime is needed, not " + TypeName(value));
  }
  py::object local = py::reinterpret_borrow<py::object>(value);
  if (!local.attr("tzinfo").is_none() && !local.attr("utcoffset")().is_none()) {
    local = local.attr("astimezone")();
  }
  PyObject* time = local.ptr();
  const std::chrono::year_month_day date{
      std::chrono::year(PyDateTime_GET_YEAR(time)),
      std::chrono::month(static_cast<unsigned>(PyDateTime_GET_MONTH(time))),
      std::chrono::day(static_cast<unsigned>(PyDateTime_GET_DAY(time)))};
  return std::chrono::local_days(date) + std::chrono::hours(PyDateTime_DATE_GET_HOUR(time)) +
         std::chrono::minutes(PyDateTime_DATE_GET_MINUTE(time)) +
         std::chrono::seconds(PyDateTime_DATE_GET_SECOND(time));
}

LocalDateTime LocalNow() {
  return LocalTimeOf(py::module_::import("datetime").attr("datetime").attr("now")());
}

std::chrono::minutes TimeOfDayOf(py::handle value) {
  ImportDatetime();
  if (!PyTime_Check(value.ptr())) {
    throw py::type_error("a datetime.time is needed, not " + TypeName(value));
  }
  PyObject* time = value.ptr();
  if (PyDateTime_TIME_GET_SECOND(time) != 0 || PyDateTime_TIME_GET_MICROSECOND(time) != 0) {
    throw py::value_error("ring time " + std::string(py::str(value)) +
                          ": a terminal rings at whole minutes");
  }
  if (!value.attr("tzinfo").is_none()) {
    throw py::value_error("ring time " + std::string(py::str(value)) +
                          ": a terminal's time has no time zone");
  }
  return std::chrono::hours(PyDateTime_TIME_GET_HOUR(time)) +
         std::chrono::minutes(PyDateTime_TIME_GET_MINUTE(time));
}

py::object TimeOfDayObject(std::chrono::minutes minutes) {
  ImportDatetime();
  const auto count = minutes.count();
  PyObject* value =
      PyTime_FromTime(static_cast<int>(count / 60), static_cast<int>(count % 60), 0, 0);
  if (value == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

}  // namespace tallygate::python
