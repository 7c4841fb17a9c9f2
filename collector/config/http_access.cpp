#include "collector/config/http_access.h"

#include <arpa/inet.h>

#include "collector/config/host_port.h"

namespace tallygate::collector {

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost") return true;
  const std::string text(host);
  unsigned char v4[4];
  if (inet_pton(AF_INET, text.c_str(), v4) == 1) return v4[0] == 127;
  unsigned char v6[16];
  if (inet_pton(AF_INET6, text.c_str(), v6) != 1) return false;
  for (int i = 0; i < 15; ++i) {
    if (v6[i] != 0) return false;
  }
  return v6[15] == 1;
}

std::string HttpAccessProblem(const HttpConfig& http) {
  if (http.listen.empty() || !http.token_file.empty()) return {};
  if (IsLoopbackHost(ParseHostPort(http.listen, std::nullopt).host)) return {};
  return "the dashboard's listen address " + http.listen +
         " is not a loopback address: set [http] token_file to a file holding the token "
         "requests must carry, or listen on 127.0.0.1";
}

}  // namespace tallygate::collector
