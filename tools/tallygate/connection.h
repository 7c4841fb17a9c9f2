// Reaching the terminal before the first call: --tcp HOST[:PORT] (a host
// name, an IPv4 address, an IPv6 literal in brackets) or --com N, and why it
// failed when it did.
#ifndef TALLYGATE_TOOLS_TALLYGATE_CONNECTION_H_
#define TALLYGATE_TOOLS_TALLYGATE_CONNECTION_H_

#include <string>

#include "tallygate/result.h"

namespace tallygate::cli {

// How the object reaches its terminal before the first call.
struct Connection {
  std::string tcp;  // "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT": Mode 1, Connect_Net
  std::string com;  // "N": Mode 0, then SetPort
};

struct TcpTarget {
  std::string host;  // without brackets
  std::string port;  // empty: the member's default
};

// Splits HOST[:PORT]; a bare IPv6 literal (two colons or more) is all host.
// Throws UsageError for an empty host or a port that is not 1 to 65535.
TcpTarget SplitTcpTarget(const std::string& text);

// "refused (connect to 127.0.0.1:1: connection refused)": the kind of
// failure, then the terminal API's message.
std::string Reason(const Error& error);

// Why a TCP connection to the numeric `address` or the serial port `com`
// cannot be opened (a Reason), from the
// terminal API opening the same endpoint; empty when it opens.
std::string WhyTcpFails(const std::string& address, const std::string& port);
std::string WhyPortFails(const std::string& com);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_CONNECTION_H_
