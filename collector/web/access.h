// Access to the dashboard: the token a request carries (Authorization:
// Bearer, or the tallygate_token cookie that POST /login sets), compared
// in constant time, and the same-origin rule for POST requests.
#ifndef TALLYGATE_COLLECTOR_WEB_ACCESS_H_
#define TALLYGATE_COLLECTOR_WEB_ACCESS_H_

#include <httplib.h>

#include <optional>
#include <string>
#include <string_view>

namespace tallygate::collector::web {

inline constexpr const char* kTokenCookie = "tallygate_token";

// The token in `path`, without its trailing line end. Throws
// std::runtime_error naming the file when it cannot be read or is empty.
std::string ReadTokenFile(const std::string& path);

// Equal, in a time that depends on the lengths only.
bool SameToken(std::string_view presented, std::string_view token);

// The Bearer token, else the cookie's; absent when neither.
std::optional<std::string> PresentedToken(const httplib::Request& request);

// The Set-Cookie value that carries `token`: HttpOnly, SameSite=Strict,
// Path=/ (the token percent-encoded, as a cookie holds no space, comma or
// semicolon).
std::string TokenCookie(std::string_view token);

// True when the Origin header (without one, the Referer) names the host
// the request was sent to.
bool SameOrigin(const httplib::Request& request);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ACCESS_H_
