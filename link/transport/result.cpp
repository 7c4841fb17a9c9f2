#include "tallygate/result.h"

namespace tallygate {

std::string_view ErrorCodeName(ErrorCode code) {
  switch (code) {
    case ErrorCode::kNoReply: return "no-reply";
    case ErrorCode::kOtherAddress: return "other-address";
    case ErrorCode::kBadCheck: return "bad-check";
    case ErrorCode::kWrongEcho: return "wrong-echo";
    case ErrorCode::kBadReply: return "bad-reply";
    case ErrorCode::kRefused: return "refused";
    case ErrorCode::kClosed: return "closed";
    case ErrorCode::kReset: return "reset";
    case ErrorCode::kTimedOut: return "timed-out";
    case ErrorCode::kHostNotFound: return "host-not-found";
    case ErrorCode::kDeviceBusy: return "device-busy";
    case ErrorCode::kNoSuchDevice: return "no-such-device";
    case ErrorCode::kPermissionDenied: return "permission-denied";
    case ErrorCode::kDeviceGone: return "device-gone";
    case ErrorCode::kInvalidArgument: return "invalid-argument";
    case ErrorCode::kStopped: return "stopped";
    case ErrorCode::kIoError: return "io-error";
  }
  return "unknown";
}

}  // namespace tallygate
