#include "link/transport/line_error.h"

#include <cerrno>
#include <system_error>

#include "link/transport/termios_port.h"

namespace tallygate {

Error LineError(const BasicError& error) {
  const std::string& text = error.description();
  switch (error.number()) {
    case err::kInvalidPortNumber: return Error(ErrorCode::kNoSuchDevice, text);
    case err::kPortAlreadyOpen: return Error(ErrorCode::kDeviceBusy, text);
    case err::kPermissionDenied: return Error(ErrorCode::kPermissionDenied, text);
    case err::kDeviceIoError:
      if (text.find(kDeviceGoneText) != std::string::npos) {
        return Error(ErrorCode::kDeviceGone, text);
      }
      return Error(ErrorCode::kIoError, text);
    case err::kInvalidProcedureCall:
    case err::kInvalidPropertyValue:
    case err::kOverflow: return Error(ErrorCode::kInvalidArgument, text);
    case err::kSocketWrongState: return Error(ErrorCode::kClosed, text);
    case err::kSocketError: return Error(ErrorCode::kReset, text);
    default: return Error(ErrorCode::kIoError, text);
  }
}

Error ConnectionError(int errno_value, const std::string& what) {
  const std::string text = what + ": " + std::system_category().message(errno_value);
  switch (errno_value) {
    case ECONNREFUSED: return Error(ErrorCode::kRefused, "connection refused by " + what);
    case ETIMEDOUT: return Error(ErrorCode::kTimedOut, text);
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE: return Error(ErrorCode::kReset, "connection reset by " + what);
    case 0: return Error(ErrorCode::kClosed, "connection to " + what + " closed");
    default: return Error(ErrorCode::kIoError, text);
  }
}

}  // namespace tallygate
