// Who may change things through the dashboard and the API: a request
// carrying an admin token, as Authorization: Bearer (a program) or as the
// login cookie (a browser, whose every form that writes also carries a
// token of its session, so that another site's page cannot post it).
// Without admin tokens the dashboard only reads.
#ifndef TALLYGATE_COLLECTOR_WEB_WRITE_ACCESS_H_
#define TALLYGATE_COLLECTOR_WEB_WRITE_ACCESS_H_

#include <httplib.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/web/admin_tokens.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// The form field that carries the session's form token; a script may send
// it as the X-CSRF-Token header instead.
inline constexpr const char* kFormTokenField = "csrf";

// Why a write is refused: 401 or 403 with a caption; status 0 lets it on.
struct WriteRefusal {
  int status = 0;
  Msg reason = Msg::kTitle;
};

class WriteAccess {
 public:
  // A key of its own for the form tokens, drawn at random: forms of an
  // earlier run are refused.
  explicit WriteAccess(std::vector<AdminToken> admins = {});

  bool enabled() const { return !admins_.empty(); }

  // The name of the admin whose token the request carries; absent when it
  // carries none of theirs.
  std::optional<std::string> AdminOf(const httplib::Request& request) const;
  // The name of the admin whose token `token` is.
  std::optional<std::string> AdminOfToken(std::string_view token) const;

  // The form token of the request's session (an HMAC of the token it
  // carries); empty when it carries none.
  std::string FormToken(const httplib::Request& request) const;

  // Whether `request` may write: writes on, an admin token, and for a
  // browser (no Bearer) the session's form token when `body_read`.
  WriteRefusal Check(const httplib::Request& request, bool body_read) const;

  // The hidden field that carries FormToken in a form that writes.
  std::string FormTokenInput(const httplib::Request& request) const;

 private:
  std::vector<AdminToken> admins_;
  std::string key_;
};

using WriteHandler = std::function<void(const httplib::Request&, httplib::Response&,
                                        const std::string& by)>;

// `handler`, Guarded, called only for a request Check lets on, with the
// audit's "web:NAME"; any other answered 401 or 403, nothing done.
httplib::Server::Handler AdminOnly(const WriteAccess& access, WriteHandler handler);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_WRITE_ACCESS_H_
