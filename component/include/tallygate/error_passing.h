// Passing errors across the C boundary: a BasicError becomes a tg_error on
// the way out and a BasicError again on the way in, and no C++ exception
// ever leaves a C entry point.
#ifndef TALLYGATE_ERROR_PASSING_H_
#define TALLYGATE_ERROR_PASSING_H_

#include <cstdint>
#include <exception>
#include <new>

#include "tallygate/basic_error.h"
#include "tallygate/value.h"

namespace tallygate {

// Writes `error` (and the argument's position, or -1) into `out` when it is
// not null, and returns the error number. Never throws.
int32_t WriteError(tg_error* out, const BasicError& error, int32_t argument = -1) noexcept;
int32_t WriteError(tg_error* out, int32_t number, const char* description,
                   int32_t argument = -1) noexcept;

// Writes success (number 0) into `out` when it is not null.
void WriteSuccess(tg_error* out) noexcept;

// The BasicError a C error stands for; frees its description.
BasicError TakeError(tg_error& error);

// Runs `body`, which returns nothing; any exception it throws becomes the
// returned error number and `out` (BasicError as it is, out of memory as 7,
// anything else as 5 with its text). Returns 0 and writes success otherwise.
template <typename Body>
int32_t Guarded(tg_error* out, Body&& body) noexcept {
  try {
    body();
    WriteSuccess(out);
    return 0;
  } catch (const BasicError& error) {
    return WriteError(out, error);
  } catch (const std::bad_alloc&) {
    return WriteError(out, err::kOutOfMemory, "Out of memory");
  } catch (const std::exception& error) {
    return WriteError(out, err::kInvalidProcedureCall, error.what());
  } catch (...) {
    return WriteError(out, err::kInvalidProcedureCall, "Invalid procedure call or argument");
  }
}

}  // namespace tallygate

#endif  // TALLYGATE_ERROR_PASSING_H_
