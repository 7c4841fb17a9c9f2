// Errors of the lines in the terminal API's terms: a serial port's or a
// socket's failure, given as a BasicError or a system error number, becomes
// an Error whose code says what happened.
#ifndef TALLYGATE_LINK_TRANSPORT_LINE_ERROR_H_
#define TALLYGATE_LINK_TRANSPORT_LINE_ERROR_H_

#include <string>

#include "tallygate/basic_error.h"
#include "tallygate/result.h"

namespace tallygate {

// A failure thrown by a serial port or a socket: a device that does not
// exist, is held by another program or has gone away, no permission, a
// connection aborted...
Error LineError(const BasicError& error);

// A connection's failure from the system's error number: refused, reset,
// timed out, unreachable. `what` names the connection ("10.0.0.7:1001").
Error ConnectionError(int errno_value, const std::string& what);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_TRANSPORT_LINE_ERROR_H_
