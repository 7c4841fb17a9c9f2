// Access to the dashboard: the token a request carries (Authorization:
// Bearer, or the tallygate_token cookie that POST /login sets), compared
// in constant time, the Host a dashboard without a token answers to, and
// the same-origin rule for POST requests.
#ifndef TALLYGATE_COLLECTOR_WEB_ACCESS_H_
#define TALLYGATE_COLLECTOR_WEB_ACCESS_H_

#include <httplib.h>

#include <optional>
#include <string>
#include <string_view>

namespace tallygate::collector::web {

inline constexpr const char* kTokenCookie = "tallygate_token";

// Tokens shorter than this are refused: one guessed in a few thousand tries
// would open the dashboard.
inline constexpr size_t kShortestToken = 16;

// Why `token` may not serve: too short ("... characters: at least 16 ...");
// empty when it may.
std::string TokenProblem(std::string_view token);

// The token in `path`, without its trailing line end. Throws
// ConfigError naming the file when it cannot be read, is empty or
// holds a token too short.
std::string ReadTokenFile(const std::string& path);

// Equal, in a time that depends on the lengths only.
bool SameToken(std::string_view presented, std::string_view token);

// The Bearer token, else the cookie's; absent when neither.
std::optional<std::string> PresentedToken(const httplib::Request& request);

// True when the request carries a Bearer token (which a browser never
// sends by itself).
bool HasBearer(const httplib::Request& request);

// True when no token is needed or the request carries the right one.
bool MayRead(const std::string& token, const httplib::Request& request);

// True for a Host header naming this machine by loopback: localhost or a
// name under .localhost (reserved for loopback: no one can register one in
// DNS), 127.0.0.0/8 or [::1], any letter case, with or without a port. A
// dashboard without a token answers only these: a page of another site
// that has its own name resolve to 127.0.0.1 (DNS rebinding) sends its
// own name.
bool LoopbackHostHeader(std::string_view host);

// The Set-Cookie value that carries `token`: HttpOnly, SameSite=Strict,
// Path=/ (the token percent-encoded, as a cookie holds no space, comma or
// semicolon), and Secure when the dashboard is served over HTTPS.
std::string TokenCookie(std::string_view token, bool secure);

// The Set-Cookie value that deletes the login cookie: a browser then stops
// presenting a token that is wrong (one of before the token changed).
std::string ClearedTokenCookie(bool secure);

// True when the Origin header (without one, the Referer) names the host
// the request was sent to.
bool SameOrigin(const httplib::Request& request);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ACCESS_H_
