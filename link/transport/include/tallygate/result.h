// Results of the terminal API: a value, or an Error that says why there is
// none.
//
// Every operation of the terminal API returns a Result<T> (or a Status, which
// carries no value). Nothing in that API throws for a failure of the terminal,
// the line or an argument; an Error holds a code to branch on and a message
// for a person ("no reply from terminal 3 within 1.5 s", "connect to
// 10.0.0.7:1001: connection refused").
#ifndef TALLYGATE_RESULT_H_
#define TALLYGATE_RESULT_H_

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace tallygate {

enum class ErrorCode {
  kNoReply = 1,      // no (complete) reply within the wait
  kOtherAddress,     // a reply came from another address
  kBadCheck,         // the reply's check byte is wrong
  kWrongEcho,        // the reply answers another command
  kBadReply,         // a well-formed reply whose content cannot be right
  kRefused,          // the terminal refused the connection
  kClosed,           // the connection is closed, or was closed by the terminal
  kReset,            // the connection was reset or failed
  kTimedOut,         // a connection attempt did not complete in time
  kHostNotFound,     // the host name did not resolve
  kDeviceBusy,       // the serial device is held by another program
  kNoSuchDevice,     // the serial device does not exist
  kPermissionDenied, // no access to the serial device
  kDeviceGone,       // the serial device went away (unplugged, hung up)
  kInvalidArgument,  // an argument out of range; nothing was sent
  kStopped,          // a stop was requested
  kIoError,          // any other failure of the line or a file
};

// "no-reply", "other-address", ...: a stable name for logs and scripts.
std::string_view ErrorCodeName(ErrorCode code);

class Error {
 public:
  Error(ErrorCode code, std::string message) : code_(code), message_(std::move(message)) {}

  ErrorCode code() const { return code_; }
  const std::string& message() const { return message_; }

  friend bool operator==(const Error&, const Error&) = default;

 private:
  ErrorCode code_;
  std::string message_;
};

// Thrown only by value() on a Result that holds an Error: a programming
// mistake, not a failure of the terminal.
class BadResultAccess : public std::logic_error {
 public:
  explicit BadResultAccess(const Error& error)
      : std::logic_error("value() of a failed result: " + error.message()) {}
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    if (!ok()) throw BadResultAccess(error());
    return std::get<0>(state_);
  }
  const T& value() const& {
    if (!ok()) throw BadResultAccess(error());
    return std::get<0>(state_);
  }
  T&& value() && {
    if (!ok()) throw BadResultAccess(error());
    return std::get<0>(std::move(state_));
  }
  T value_or(T fallback) const { return ok() ? std::get<0>(state_) : std::move(fallback); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // Only on a failed result.
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  void value() const {
    if (failed_) throw BadResultAccess(error_);
  }
  // Only on a failed result.
  const Error& error() const { return error_; }

 private:
  Error error_{ErrorCode::kIoError, {}};
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace tallygate

#endif  // TALLYGATE_RESULT_H_
