// A run-time failure as a Basic caller knows it: a number and a description.
//
// Inside the library every failure (a conversion that fails, an address out of
// range, a transport error, a file error) is thrown as a BasicError. Public
// members catch it at their boundary and turn it into their failure result;
// only the few failures that callers are meant to see travel further, and then
// as this number and text.
#ifndef TALLYGATE_BASIC_ERROR_H_
#define TALLYGATE_BASIC_ERROR_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tallygate/export.h"

namespace tallygate {

// Error numbers, with the texts a Basic runtime gives them.
namespace err {
inline constexpr int32_t kInvalidProcedureCall = 5;   // "Invalid procedure call or argument"
inline constexpr int32_t kOverflow = 6;               // "Overflow"
inline constexpr int32_t kOutOfMemory = 7;            // "Out of memory"
inline constexpr int32_t kSubscriptOutOfRange = 9;    // "Subscript out of range"
inline constexpr int32_t kTypeMismatch = 13;          // "Type mismatch"
inline constexpr int32_t kErrorInLoadingDll = 48;     // "Error in loading DLL"
inline constexpr int32_t kBadFileNameOrNumber = 52;   // "Bad file name or number"
inline constexpr int32_t kFileNotFound = 53;          // "File not found"
inline constexpr int32_t kDeviceIoError = 57;         // "Device I/O error"
inline constexpr int32_t kInputPastEndOfFile = 62;    // "Input past end of file"
inline constexpr int32_t kPermissionDenied = 70;      // "Permission denied"
inline constexpr int32_t kPathFileAccessError = 75;   // "Path/File access error"
inline constexpr int32_t kPathNotFound = 76;          // "Path not found"
inline constexpr int32_t kObjectRequired = 424;       // "Object required"
inline constexpr int32_t kCantCreateObject = 429;     // "ActiveX component can't create object"
inline constexpr int32_t kNotAnObjectProperty = 438;  // "Object doesn't support this property or method"
inline constexpr int32_t kArgumentNotOptional = 449;     // "Argument not optional"
inline constexpr int32_t kWrongNumberOfArguments = 450;  // "Wrong number of arguments or invalid property assignment"
inline constexpr int32_t kDllFunctionNotFound = 453;     // "Specified DLL function not found"
inline constexpr int32_t kInvalidPropertyValue = 380;    // "Invalid property value"
// Serial port.
inline constexpr int32_t kInvalidPortNumber = 8002;   // "Invalid port number"
inline constexpr int32_t kPortAlreadyOpen = 8005;     // "Port already open"
inline constexpr int32_t kPortNotOpen = 8012;         // "The device is not open"
inline constexpr int32_t kCommStateFailed = 8015;     // "Could not set comm state"
inline constexpr int32_t kPortWriteFailed = 8020;     // "Error writing to the port"
inline constexpr int32_t kPortReadFailed = 8021;      // "Error reading from the port"
// Socket.
inline constexpr int32_t kSocketWrongState = 40006;   // "Wrong protocol or connection state ..."
inline constexpr int32_t kSocketError = 10053;        // "Connection is aborted"
}  // namespace err

// The standard description of an error number, or "Application-defined or
// object-defined error" for numbers without one.
TALLYGATE_EXPORT std::string_view StandardDescription(int32_t number);

class TALLYGATE_EXPORT BasicError : public std::runtime_error {
 public:
  // An error with its standard description.
  explicit BasicError(int32_t number);
  BasicError(int32_t number, std::string description);

  int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// The error that a failed system call with this errno stands for, for a file
// or device operation ("File not found" for ENOENT, "Permission denied" for
// EACCES, ...). `what` is added to the description of errors that have no
// Basic text of their own.
BasicError ErrorFromErrno(int errno_value, std::string_view what);

}  // namespace tallygate

#endif  // TALLYGATE_BASIC_ERROR_H_
