#include "tools/tallygate/connection.h"

#include <algorithm>
#include <charconv>

#include "tallygate/terminal.h"
#include "tools/tallygate/call_arguments.h"

namespace tallygate::cli {
namespace {

constexpr int kDefaultPort = 1001;

std::string WhyFails(const Endpoint& endpoint) {
  const Result<std::unique_ptr<Line>> line = Line::Open(endpoint);
  return line ? std::string() : Reason(line.error());
}

}  // namespace

std::string Reason(const Error& error) {
  std::string name(ErrorCodeName(error.code()));
  std::replace(name.begin(), name.end(), '-', ' ');
  return name + " (" + error.message() + ")";
}

TcpTarget SplitTcpTarget(const std::string& text) {
  TcpTarget target;
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) throw UsageError("--tcp " + text + ": no closing ]");
    target.host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') throw UsageError("--tcp " + text + ": text after ]");
  } else if (const size_t colon = text.find(':');
             colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
    target.host = text.substr(0, colon);
    rest = text.substr(colon);
  } else {
    target.host = text;
  }
  if (target.host.empty()) throw UsageError("--tcp " + text + ": no host");
  if (!rest.empty()) {
    target.port = rest.substr(1);
    int port = 0;
    const char* end = target.port.data() + target.port.size();
    const auto [stop, error] = std::from_chars(target.port.data(), end, port);
    if (target.port.empty() || error != std::errc() || stop != end || port < 1 || port > 65535) {
      throw UsageError("--tcp " + text + ": the port is a number from 1 to 65535");
    }
  }
  return target;
}

std::string WhyTcpFails(const std::string& address, const std::string& port) {
  TcpEndpoint endpoint{address};
  endpoint.port = static_cast<uint16_t>(port.empty() ? kDefaultPort : std::stoi(port));
  return WhyFails(endpoint);
}

std::string WhyPortFails(const std::string& com) { return WhyFails(SerialEndpoint{com}); }

}  // namespace tallygate::cli
