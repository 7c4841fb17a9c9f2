#include "terminal_bindings.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <string>

#include "arguments.h"
#include "fetch_bindings.h"
#include "tallygate/picture_file.h"
#include "py_time.h"
#include "value_bindings.h"

namespace tallygate::python {
namespace {

using Timeout = std::optional<double>;

// A start-up picture: 512 bytes, or the path of a picture file (32 lines of
// 16 bytes in hexadecimal, as Connect_v70 reads it). Read whole before
// anything is sent.
StartupPicture PictureOf(py::handle source) {
  StartupPicture picture{};
  if (PyObject_CheckBuffer(source.ptr()) != 0) {
    PyObject* copy = PyBytes_FromObject(source.ptr());
    if (copy == nullptr) throw py::error_already_set();
    const std::string bytes = py::reinterpret_steal<py::bytes>(copy);
    if (bytes.size() != picture.size()) {
      throw py::value_error("a start-up picture of " + std::to_string(bytes.size()) +
                            " bytes (512)");
    }
    std::copy(bytes.begin(), bytes.end(), picture.begin());
    return picture;
  }
  const std::string path = PathOf(source, "picture");
  std::vector<PictureBlock> blocks;
  try {
    blocks = ReadPictureBlocks(path);
  } catch (const BasicError& error) {
    RaiseFileError(error, path);
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::copy(blocks[i].begin(), blocks[i].end(),
              picture.begin() + static_cast<std::ptrdiff_t>(kPictureBlockBytes * i));
  }
  return picture;
}

FetchRequest RequestOf(const TerminalRef& t, long long from, std::optional<long long> count,
                       double unit_timeout, py::object on_page, bool strict) {
  if (!on_page.is_none() && !PyCallable_Check(on_page.ptr())) {
    throw py::type_error("on_page must be callable (page, done)");
  }
  FetchRequest request;
  request.address = t.address;
  request.from = PositionArgument(from);
  if (count) request.count = PositionArgument(*count);
  request.unit_wait = SecondsArgument(unit_timeout, "unit_timeout");
  request.on_page = std::move(on_page);
  request.strict = strict;
  return request;
}

constexpr const char* kFetchDoc =
    "from_position: the first position to fetch (0 is the oldest); only the pages holding "
    "it and those after are asked for.\n"
    "count: the terminal's count when just asked for (saves a query).\n"
    "unit_timeout: the longest wait for each unit of a page, in seconds.\n"
    "on_page: called (PageReport, done) as each attempt at a page begins (done False) and "
    "when the page is done (done True, after its items were yielded).\n"
    "strict: when positions could not be fetched, raise IncompleteFetchError after the last "
    "item (True), or just end (False); either way the iterator's report lists them.";

// A command that takes nothing but the terminal's address: its method takes
// only `timeout`.
template <typename R>
void AddressOnly(py::class_<TerminalRef>& cls, const char* name,
                 R (Line::*command)(uint8_t, const CallOptions&), const char* doc) {
  cls.def(
      name,
      [command](const TerminalRef& t, Timeout wait) {
        return t.handle->Call(
            [&](Line& l, const CallOptions& o) { return (l.*command)(t.address, o); },
            CallOptionsOf(wait));
      },
      py::kw_only(), py::arg("timeout") = py::none(), doc);
}

// records() or cards(): `iterator` over the request its arguments make.
void AddFetch(py::class_<TerminalRef>& cls, const char* name,
              py::object (*iterator)(std::shared_ptr<LineHandle>, FetchRequest),
              const std::string& doc) {
  cls.def(
      name,
      [iterator](const TerminalRef& t, long long from, std::optional<long long> count,
                 double unit_timeout, py::object on_page, bool strict) {
        return iterator(t.handle,
                        RequestOf(t, from, count, unit_timeout, std::move(on_page), strict));
      },
      py::arg("from_position") = 0, py::kw_only(), py::arg("count") = py::none(),
      py::arg("unit_timeout") = 3.0, py::arg("on_page") = py::none(), py::arg("strict") = true,
      (doc + kFetchDoc).c_str());
}

}  // namespace

void BindTerminal(py::module_& module) {
  using T = TerminalRef;
  py::class_<T> cls(module, "Terminal",
                    "One terminal of a line (Line.terminal(address)). Each method sends its "
                    "command and waits for the reply, at most its usual time or `timeout` "
                    "seconds; it raises a tallygate.Error when the terminal or the line "
                    "fails. Calls on one line are made one at a time.");
  const auto timeout = py::arg("timeout") = py::none();
  cls.def_property_readonly(
         "address", [](const T& t) { return t.address; }, "The terminal's address.")
      .def_property_readonly(
          "line", [](const T& t) { return t.handle; }, "The Line it is on.")
      .def("__repr__", [](const T& t) {
        return "<tallygate.Terminal " + std::to_string(t.address) + " on " + t.handle->name() + ">";
      });

  // ---- Counts and fetching ----
  AddressOnly(cls, "record_count", &Line::RecordCount,
              "The number of records the terminal holds (3 s).");
  AddressOnly(cls, "card_count", &Line::CardCount,
              "The number of entries on the terminal's card list (3 s).");
  AddFetch(cls, "records", &RecordIterator,
           "An iterator (RecordIterator) over the records from `from_position` on, yielded as "
           "their pages arrive; nothing is sent before the first item is asked for. A page that "
           "misses records is asked for again (5 attempts); a record is yielded once.\n");
  AddFetch(cls, "cards", &CardIterator,
           "An iterator (CardIterator) over the card list from `from_position` on, as records() "
           "(3 attempts a page).\n");

  // ---- Memory maintenance and storage mode ----
  AddressOnly(cls, "clear_flag", &Line::ClearFlag, "Clears the terminal's collected flag (1.5 s).");
  AddressOnly(cls, "clear_records", &Line::ClearRecords, "Erases every record (10 s).");
  AddressOnly(cls, "clear_cards", &Line::ClearCardList, "Erases the card list (10 s).");
  AddressOnly(cls, "storage_mode", &Line::StorageMode, "The storage mode, 1 or 2 (1.5 s).");
  cls.def(
         "change_address",
         [](const T& t, long long new_address, Timeout wait) {
           const uint8_t to = ByteArgument(new_address, "address");
           t.handle->Call(
               [&](Line& l, const CallOptions& o) { return l.ChangeAddress(t.address, to, o); },
               CallOptionsOf(wait));
           return T{t.handle, to};
         },
         py::arg("new_address"), py::kw_only(), timeout,
         "Gives the terminal a new address (it answers from the new one, 3 s); returns the "
         "Terminal at the new address.")
      .def(
          "set_storage_mode",
          [](const T& t, long long mode, Timeout wait) {
            const uint8_t value = ByteArgument(mode, "storage mode");
            t.handle->Call(
                [&](Line& l, const CallOptions& o) {
                  return l.SetStorageMode(t.address, value, o);
                },
                CallOptionsOf(wait));
          },
          py::arg("mode"), py::kw_only(), timeout,
          "Sets storage mode 1 or 2. The terminal's answer has no defined form: success means "
          "the frame left the port.");

  // ---- Cards ----
  AddressOnly(cls, "read_card", &Line::ReadCard,
              "The card last held to the terminal's reader (CardRead, 2 s).");
  cls.def(
         "enrol_card",
         [](const T& t, long long card, const std::string& staff, const std::string& name,
            Timeout wait) {
           const uint32_t number = CardArgument(card);
           t.handle->Call(
               [&](Line& l, const CallOptions& o) {
                 return l.EnrolCard(t.address, number, staff, name, o);
               },
               CallOptionsOf(wait));
         },
         py::arg("card"), py::arg("staff") = "", py::arg("name") = "", py::kw_only(), timeout,
         "Puts a card on the terminal's list (3 s): staff number up to 8 digits, name at most "
         "8 bytes in the terminal's code page (four Chinese characters).")
      .def(
          "remove_card",
          [](const T& t, long long card, Timeout wait) {
            const uint32_t number = CardArgument(card);
            t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.RemoveCard(t.address, number, o); },
                CallOptionsOf(wait));
          },
          py::arg("card"), py::kw_only(), timeout, "Takes a card off the list (5 s).")
      .def(
          "find_card",
          [](const T& t, long long card, Timeout wait) {
            const uint32_t number = CardArgument(card);
            return t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.FindCard(t.address, number, o); },
                CallOptionsOf(wait));
          },
          py::arg("card"), py::kw_only(), timeout, "Whether the card is on the list (3 s).")
      .def(
          "store_record",
          [](const T& t, long long card, py::handle time, long long flag, long long keep,
             Timeout wait) {
            const uint32_t number = CardArgument(card);
            const LocalDateTime when = LocalTimeOf(time);
            const uint8_t flag_byte = ByteArgument(flag, "flag");
            const uint8_t keep_byte = ByteArgument(keep, "keep");
            t.handle->Call(
                [&](Line& l, const CallOptions& o) {
                  return l.StoreRecord(t.address, number, when, flag_byte, keep_byte, o);
                },
                CallOptionsOf(wait));
          },
          py::arg("card"), py::arg("time"), py::arg("flag") = 0xFF, py::arg("keep") = 0x99,
          py::kw_only(), timeout,
          "Writes one attendance record into the terminal (3 s); `time` a datetime of 2000 "
          "to 2099.");

  // ---- System parameters, clock and ring schedules ----
  AddressOnly(cls, "read_parameters", &Line::ReadParameters,
              "The terminal's parameter block (SystemParameters, 2 s).");
  cls.def(
         "write_parameters",
         [](const T& t, const ParameterSettings& settings, Timeout wait) {
           t.handle->Call(
               [&](Line& l, const CallOptions& o) {
                 return l.WriteParameters(t.address, settings, o);
               },
               CallOptionsOf(wait));
         },
         py::arg("settings"), py::kw_only(), timeout,
         "Gives the terminal its settings (ParameterSettings, 5 s).")
      .def(
          "set_clock",
          [](const T& t, py::object time, Timeout wait) {
            const LocalDateTime when = time.is_none() ? LocalNow() : LocalTimeOf(time);
            t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.SetClock(t.address, when, o); },
                CallOptionsOf(wait));
          },
          py::arg("time") = py::none(), py::kw_only(), timeout,
          "Sets the terminal's date, time and day of the week (2 s): `time` a naive datetime "
          "in the terminal's local time (an aware one is converted to this computer's local "
          "time), by default this computer's local time now. A terminal's clock cannot be "
          "read back.")
      .def(
          "set_ring_schedule",
          [](const T& t, const RingSchedule& schedule, Timeout wait) {
            t.handle->Call(
                [&](Line& l, const CallOptions& o) {
                  return l.SetRingSchedule(t.address, schedule.number, schedule.times, o);
                },
                CallOptionsOf(wait));
          },
          py::arg("schedule"), py::kw_only(), timeout,
          "Loads a ring schedule (RingSchedule: number 1 to 3, up to ten times, 9 s).");

  // ---- Display, voice, password and start-up picture ----
  AddressOnly(cls, "password", &Line::Password, "The keypad password, four digits (3 s).");
  cls.def(
         "show_message",
         [](const T& t, const std::string& text, long long seconds, Timeout wait) {
           const uint8_t duration = ByteArgument(seconds, "seconds");
           t.handle->Call(
               [&](Line& l, const CallOptions& o) {
                 return l.ShowMessage(t.address, duration, text, o);
               },
               CallOptionsOf(wait));
         },
         py::arg("text"), py::arg("seconds"), py::kw_only(), timeout,
         "Shows a message of at most 32 bytes in the terminal's code page for `seconds` "
         "(3 s). Serial bus only.")
      .def(
          "play_sound",
          [](const T& t, long long number, Timeout wait) {
            const uint8_t prompt = ByteArgument(number, "voice prompt");
            t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.PlaySound(t.address, prompt, o); },
                CallOptionsOf(wait));
          },
          py::arg("number"), py::kw_only(), timeout,
          "Plays voice prompt `number` (10 s). Serial bus only.")
      .def(
          "set_password",
          [](const T& t, const std::string& digits, Timeout wait) {
            t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.SetPassword(t.address, digits, o); },
                CallOptionsOf(wait));
          },
          py::arg("digits"), py::kw_only(), timeout,
          "Sets the keypad password, four digits as a str (3 s).")
      .def(
          "send_picture",
          [](const T& t, py::handle picture, Timeout wait) {
            const StartupPicture bytes = PictureOf(picture);
            t.handle->Call(
                [&](Line& l, const CallOptions& o) { return l.SendPicture(t.address, bytes, o); },
                CallOptionsOf(wait));
          },
          py::arg("picture"), py::kw_only(), timeout,
          "Sends a start-up picture: 512 bytes, or the path of a picture file (32 lines of 16 "
          "bytes in hexadecimal). Serial bus only.");
}

}  // namespace tallygate::python
