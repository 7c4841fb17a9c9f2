#include "value_bindings.h"

#include <pybind11/stl.h>

#include <span>
#include <string>
#include <utility>

#include "arguments.h"
#include "tallygate/record_values.h"
#include "py_time.h"
#include "tallygate/record_line.h"
#include "tallygate/terminal.h"

namespace tallygate::python {
namespace {

py::bytes BytesOf(std::span<const uint8_t> bytes) {
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// 8 hexadecimal digits, as the collected files print a card.
std::string CardHex(uint32_t card) { return CardField(CardBytesOf(card), false); }

// The name without the padding a terminal keeps after it.
std::string UnpaddedName(std::string name) {
  while (!name.empty() && (name.back() == '\0' || name.back() == ' ')) name.pop_back();
  return name;
}

py::tuple FieldValues(py::handle self, const py::tuple& fields) {
  py::tuple values(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) values[i] = self.attr(fields[i]);
  return values;
}

// __repr__, __eq__, __match_args__ and, for a type callers cannot change,
// __hash__, all over `fields`.
template <typename Class>
void DataclassLike(Class& cls, std::initializer_list<const char*> names, bool frozen) {
  py::tuple fields(names.size());
  size_t i = 0;
  for (const char* name : names) fields[i++] = py::str(name);
  cls.attr("__match_args__") = fields;
  cls.def("__repr__", [fields](py::handle self) {
    std::string text = py::str(py::type::handle_of(self).attr("__name__"));
    text += "(";
    for (size_t j = 0; j < fields.size(); ++j) {
      if (j > 0) text += ", ";
      text += std::string(py::str(fields[j])) + "=" + std::string(py::repr(self.attr(fields[j])));
    }
    return text + ")";
  });
  cls.def("__eq__", [fields](py::handle self, py::handle other) -> py::object {
    if (!py::type::handle_of(self).is(py::type::handle_of(other))) {
      return py::reinterpret_borrow<py::object>(Py_NotImplemented);
    }
    return py::bool_(FieldValues(self, fields).equal(FieldValues(other, fields)));
  });
  if (frozen) {
    cls.def("__hash__", [fields](py::handle self) { return py::hash(FieldValues(self, fields)); });
  } else {
    cls.attr("__hash__") = py::none();
  }
}

// Every position of `report` that was not delivered: those its pages missed,
// and those of the pages never asked for after a fetch stopped early.
std::vector<int32_t> Missed(const FetchReport& report) {
  std::vector<int32_t> missed;
  int32_t asked_up_to = report.from;
  for (const PageReport& page : report.pages) {
    missed.insert(missed.end(), page.missed.begin(), page.missed.end());
    asked_up_to = page.first_position + page.expected;
  }
  for (int32_t position = asked_up_to; position < report.count; ++position)
    missed.push_back(position);
  return missed;
}

void BindRecord(py::module_& module) {
  py::class_<AttendanceRecord> cls(module, "Record",
                                   "One attendance record (a punch) as the terminal keeps it.");
  cls.def_readonly("address", &AttendanceRecord::address, "The terminal's address.")
      .def_readonly("position", &AttendanceRecord::position, "0 is the terminal's oldest record.")
      .def_readonly("card", &AttendanceRecord::card, "The card number, 0 to 2**32-1.")
      .def_property_readonly(
          "card_hex", [](const AttendanceRecord& r) { return CardHex(r.card); },
          "The card as 8 hexadecimal digits, as the collected files print it.")
      .def_property_readonly(
          "time", [](const AttendanceRecord& r) { return DatetimeOf(r.time); },
          "The terminal's local date and time (a naive datetime), or None when the record's "
          "date and time bytes are no valid date (see raw).")
      .def_readonly("flag", &AttendanceRecord::flag, "The flag byte.")
      .def_readonly("keep", &AttendanceRecord::keep, "The keep byte.")
      .def_property_readonly(
          "raw", [](const AttendanceRecord& r) { return BytesOf(r.raw); },
          "The 16 bytes of the record as received, check byte last.");
  DataclassLike(cls, {"address", "position", "card_hex", "time", "flag", "keep", "raw"}, true);
}

void BindCardEntry(py::module_& module) {
  py::class_<CardEntry> cls(module, "CardEntry", "One entry of a terminal's card list.");
  cls.def_readonly("position", &CardEntry::position, "0 is the list's first entry.")
      .def_readonly("card", &CardEntry::card, "The card number, 0 to 2**32-1.")
      .def_property_readonly(
          "card_hex", [](const CardEntry& c) { return CardHex(c.card); },
          "The card as 8 hexadecimal digits, as the collected files print it.")
      .def_readonly("staff", &CardEntry::staff, "The staff number as 8 digits.")
      .def_property_readonly(
          "name", [](const CardEntry& c) { return UnpaddedName(c.name); },
          "The name, decoded from the terminal's code page, without its padding.")
      .def_property_readonly(
          "raw_name", [](const CardEntry& c) { return BytesOf(c.name_raw); },
          "The name's 8 bytes in the terminal's code page, padding included.")
      .def_property_readonly(
          "raw", [](const CardEntry& c) { return BytesOf(c.raw); },
          "The 20 bytes of the entry as received.");
  DataclassLike(cls, {"position", "card_hex", "staff", "name", "raw"}, true);
}

void BindReports(py::module_& module) {
  py::class_<PageReport> page(module, "PageReport",
                              "One page of a fetch: the positions asked for and what came.");
  page.def_readonly("page", &PageReport::page, "The page, 1 to 128.")
      .def_readonly("first_position", &PageReport::first_position,
                    "The first position asked for on this page.")
      .def_readonly("expected", &PageReport::expected, "Positions asked for on this page.")
      .def_readonly("received", &PageReport::received, "Of those, delivered.")
      .def_readonly("attempts", &PageReport::attempts, "Requests sent for this page.")
      .def_readonly("missed", &PageReport::missed,
                    "Positions still missing after the last attempt.");
  DataclassLike(page, {"page", "first_position", "expected", "received", "attempts", "missed"},
                true);

  py::class_<FetchReport> report(module, "FetchReport", "What a fetch asked for and delivered.");
  report.def_readonly("count", &FetchReport::count, "The terminal's count the fetch worked from.")
      .def_readonly("from_position", &FetchReport::from, "The first position asked for.")
      .def_readonly("delivered", &FetchReport::delivered, "Records or cards delivered.")
      .def_readonly("pages", &FetchReport::pages, "A PageReport for each page asked for.")
      .def_readonly("stopped_early", &FetchReport::stopped_early,
                    "Three pages were lost, and no page after the third was asked for.")
      .def_property_readonly("complete", &FetchReport::complete,
                             "Every position from from_position to count-1 was delivered.")
      .def_property_readonly("missed", &Missed,
                             "Every position from from_position to count-1 not delivered: "
                             "those the pages missed and those never asked for.");
  DataclassLike(report, {"count", "from_position", "delivered", "stopped_early", "pages"}, false);
}

void BindParameters(py::module_& module) {
  py::class_<SystemParameters> parameters(
      module, "SystemParameters",
      "A terminal's 13-byte parameter block, unparsed (its meaning is the terminal's), and the "
      "whole reply it came in.");
  parameters
      .def_property_readonly(
          "block", [](const SystemParameters& p) { return BytesOf(p.block); },
          "The 13 parameter bytes.")
      .def_property_readonly(
          "reply", [](const SystemParameters& p) { return BytesOf(p.reply); },
          "The 17 bytes of the reply.");
  DataclassLike(parameters, {"block", "reply"}, true);

  using Settings = ParameterSettings;
  py::class_<Settings> settings(module, "ParameterSettings",
                                "The three settings write_parameters gives a terminal.");
  settings
      .def(py::init([](std::pair<long long, long long> relay_delay, long long interval,
                       long long mode_word) {
             return Settings{{ByteArgument(relay_delay.first, "relay delay"),
                              ByteArgument(relay_delay.second, "relay delay")},
                             WordArgument(interval, "punch interval minutes"),
                             WordArgument(mode_word, "mode word")};
           }),
           py::kw_only(), py::arg("relay_delay") = std::pair<long long, long long>{0, 0},
           py::arg("punch_interval_minutes") = 0, py::arg("mode_word") = 0,
           "Each byte and word is checked here (ValueError).")
      .def_property(
          "relay_delay",
          [](const Settings& s) { return py::make_tuple(s.relay_delay[0], s.relay_delay[1]); },
          [](Settings& s, std::pair<long long, long long> delay) {
            s.relay_delay = {ByteArgument(delay.first, "relay delay"),
                             ByteArgument(delay.second, "relay delay")};
          },
          "Two byte values.")
      .def_property(
          "punch_interval_minutes", [](const Settings& s) { return s.punch_interval_minutes; },
          [](Settings& s, long long minutes) {
            s.punch_interval_minutes = WordArgument(minutes, "punch interval minutes");
          },
          "Minutes within which a second punch of a card is not kept; at most 1440.")
      .def_property(
          "mode_word", [](const Settings& s) { return s.mode_word; },
          [](Settings& s, long long word) { s.mode_word = WordArgument(word, "mode word"); },
          "The mode bits: ACCESS_CONTROL_MODE, TRADITIONAL_TEXT.");
  // The mode word's bits as Booleans.
  for (const auto& [name, bit, doc] :
       {std::tuple{"access_control", Settings::kAccessControlMode, "The access-control mode bit."},
        std::tuple{"traditional_text", Settings::kTraditionalText,
                   "The Traditional-Chinese text bit."}}) {
    const uint16_t mask = bit;
    settings.def_property(
        name, [mask](const Settings& s) { return (s.mode_word & mask) != 0; },
        [mask](Settings& s, bool on) {
          s.mode_word = static_cast<uint16_t>(on ? s.mode_word | mask : s.mode_word & ~mask);
        },
        doc);
  }
  settings.attr("ACCESS_CONTROL_MODE") = Settings::kAccessControlMode;
  settings.attr("TRADITIONAL_TEXT") = Settings::kTraditionalText;
  DataclassLike(settings, {"relay_delay", "punch_interval_minutes", "mode_word"}, false);
}

void BindCardRead(py::module_& module) {
  py::class_<CardRead> cls(module, "CardRead", "The card last held to a terminal's reader.");
  cls.def_readonly("card", &CardRead::card, "The card number, 0 to 2**32-1.")
      .def_property_readonly(
          "card_hex", [](const CardRead& c) { return CardHex(c.card); },
          "The card as 8 hexadecimal digits.")
      .def_property_readonly(
          "reply", [](const CardRead& c) { return BytesOf(c.reply); }, "The 8 bytes of the reply.");
  DataclassLike(cls, {"card_hex", "reply"}, true);
}

void BindRingSchedule(py::module_& module) {
  py::class_<RingSchedule> cls(module, "RingSchedule",
                               "A ring schedule to load: its number and up to ten times of day.");
  const auto times_of = [](const py::iterable& values) {
    std::vector<std::chrono::minutes> times;
    for (py::handle value : values) times.push_back(TimeOfDayOf(value));
    return times;
  };
  cls.def(py::init([times_of](int number, const py::iterable& times) {
            return RingSchedule{number, times_of(times)};
          }),
          py::arg("number"), py::arg("times") = py::tuple(),
          "`times`: datetime.time values of whole minutes (ValueError otherwise). The number "
          "(1, 2 or 3) and the count (at most ten) are checked when the schedule is set.")
      .def_readwrite("number", &RingSchedule::number, "1, 2 or 3.")
      .def_property(
          "times",
          [](const RingSchedule& s) {
            py::list times;
            for (std::chrono::minutes time : s.times) times.append(TimeOfDayObject(time));
            return times;
          },
          [times_of](RingSchedule& s, const py::iterable& times) { s.times = times_of(times); },
          "The times of day (datetime.time), hour and minute.");
  DataclassLike(cls, {"number", "times"}, false);
}

}  // namespace

void BindValues(py::module_& module) {
  BindRecord(module);
  BindCardEntry(module);
  BindReports(module);
  BindParameters(module);
  BindCardRead(module);
  BindRingSchedule(module);
}

}  // namespace tallygate::python
