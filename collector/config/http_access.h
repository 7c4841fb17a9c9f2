// Who may reach the dashboard: on a loopback address anyone on this
// machine; on any other address only requests carrying the token, so a
// listen address off loopback needs a token_file.
#ifndef TALLYGATE_COLLECTOR_CONFIG_HTTP_ACCESS_H_
#define TALLYGATE_COLLECTOR_CONFIG_HTTP_ACCESS_H_

#include <string>
#include <string_view>

#include "collector/config/config.h"

namespace tallygate::collector {

// 127.0.0.0/8, ::1 or "localhost".
bool IsLoopbackHost(std::string_view host);

// Why `http` may not serve as it is ("listen = \"0.0.0.0:8080\" is not a
// loopback address: set token_file ..."); empty when it may. `listen` has
// been read by ParseHostPort already.
std::string HttpAccessProblem(const HttpConfig& http);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_HTTP_ACCESS_H_
