#include "tallygate/basic_error.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace tallygate {

std::string_view StandardDescription(int32_t number) {
  switch (number) {
    case err::kInvalidProcedureCall: return "Invalid procedure call or argument";
    case err::kOverflow: return "Overflow";
    case err::kOutOfMemory: return "Out of memory";
    case err::kSubscriptOutOfRange: return "Subscript out of range";
    case err::kTypeMismatch: return "Type mismatch";
    case err::kErrorInLoadingDll: return "Error in loading DLL";
    case err::kBadFileNameOrNumber: return "Bad file name or number";
    case err::kFileNotFound: return "File not found";
    case err::kDeviceIoError: return "Device I/O error";
    case err::kInputPastEndOfFile: return "Input past end of file";
    case err::kPermissionDenied: return "Permission denied";
    case err::kPathFileAccessError: return "Path/File access error";
    case err::kPathNotFound: return "Path not found";
    case err::kObjectRequired: return "Object required";
    case err::kCantCreateObject: return "ActiveX component can't create object";
    case err::kArgumentNotOptional: return "Argument not optional";
    case err::kDllFunctionNotFound: return "Specified DLL function not found";
    case err::kNotAnObjectProperty: return "Object doesn't support this property or method";
    case err::kWrongNumberOfArguments:
      return "Wrong number of arguments or invalid property assignment";
    case err::kInvalidPropertyValue: return "Invalid property value";
    case err::kInvalidPortNumber: return "Invalid port number";
    case err::kPortAlreadyOpen: return "Port already open";
    case err::kPortNotOpen: return "The device is not open";
    case err::kCommStateFailed: return "Could not set comm state";
    case err::kPortWriteFailed: return "Error writing to the port";
    case err::kPortReadFailed: return "Error reading from the port";
    case err::kSocketWrongState:
      return "Wrong protocol or connection state for the requested transaction or request";
    case err::kSocketError: return "Connection is aborted";
    default: return "Application-defined or object-defined error";
  }
}

BasicError::BasicError(int32_t number)
    : BasicError(number, std::string(StandardDescription(number))) {}

BasicError::BasicError(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

BasicError ErrorFromErrno(int errno_value, std::string_view what) {
  switch (errno_value) {
    case ENOENT: return BasicError(err::kFileNotFound);
    case ENOTDIR: return BasicError(err::kPathNotFound);
    case EACCES:
    case EPERM:
    case EROFS: return BasicError(err::kPermissionDenied);
    case ENOSPC: return BasicError(err::kDeviceIoError, "Disk full");
    case EIO: return BasicError(err::kDeviceIoError);
    default: {
      std::string text(StandardDescription(err::kPathFileAccessError));
      text += " (";
      text += what;
      text += ": ";
      text += std::strerror(errno_value);
      text += ")";
      return BasicError(err::kPathFileAccessError, std::move(text));
    }
  }
}

}  // namespace tallygate
