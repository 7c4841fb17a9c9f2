// Terminal.records() and Terminal.cards(): iterators that yield records or
// card-list entries as they arrive.
//
// The fetch runs on a thread of its own, holding the line, and hands each
// page's items to the iterator through a queue of at most kQueueChunks
// chunks (a chunk is what one attempt at a page delivered), so memory does
// not grow with the terminal's count and the first record is yielded once
// its page is in. When the queue is full the fetch waits before asking for
// the next page. The iterator waits for a chunk without the GIL and wakes
// every 20 ms for Python's signal handlers; Ctrl-C stops the fetch, waits
// for its thread and raises KeyboardInterrupt, leaving the line free.
//
// Nothing goes missing unsaid: after the last item, a fetch that did not
// deliver every position raises IncompleteFetchError (with `strict`), or
// ends with the positions listed in the iterator's `report`.
#ifndef TALLYGATE_PYTHON_FETCH_BINDINGS_H_
#define TALLYGATE_PYTHON_FETCH_BINDINGS_H_

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "line_handle.h"

namespace tallygate::python {

namespace py = pybind11;

inline constexpr size_t kQueueChunks = 8;

struct FetchRequest {
  uint8_t address = 0;
  int32_t from = 0;
  std::optional<int32_t> count;  // the terminal's count, when the caller knows it
  double unit_wait = 3.0;
  py::object on_page;  // None, or called (PageReport, done) between items
  bool strict = true;
};

void BindFetch(py::module_& module);

// A RecordIterator or CardIterator over `request`; nothing is sent before
// the first next().
py::object RecordIterator(std::shared_ptr<LineHandle> handle, FetchRequest request);
py::object CardIterator(std::shared_ptr<LineHandle> handle, FetchRequest request);

}  // namespace tallygate::python

#endif  // TALLYGATE_PYTHON_FETCH_BINDINGS_H_
