// /login: the form that trades the token, or an admin token, for the
// tallygate_token cookie, so that a browser need not send an Authorization
// header. The cookie of an admin token makes the session an admin's.
#include "collector/web/access.h"
#include "collector/web/responses.h"
#include "collector/web/routes.h"

namespace tallygate::collector::web {

std::string LoginForm(Language language, const std::string& message) {
  return (message.empty() ? "" : "<p class=\"error\">" + message + "</p>\n") + "<p>" +
         Caption(language, Msg::kTokenNeeded) +
         "</p>\n<form id=\"login\" method=\"post\" action=\"/login\"><label>" +
         Caption(language, Msg::kToken) +
         " <input name=\"token\" type=\"password\" autocomplete=\"current-password\" "
         "required></label> <button type=\"submit\">" +
         Caption(language, Msg::kSignIn) + "</button></form>\n";
}

void AddLoginPage(httplib::Server& server, Tokens tokens) {
  server.Get("/login", [](const httplib::Request& request, httplib::Response& response) {
    const Language language = LanguageOf(request);
    SendPage(response, 200, {language, Msg::kSignIn, "", LoginForm(language, "")});
  });
  server.Post("/login", [tokens](const httplib::Request& request, httplib::Response& response) {
    const std::string presented = request.get_param_value("token");
    const bool admin = !presented.empty() && tokens.access.AdminOfToken(presented);
    const bool reader = !tokens.token.empty() && SameToken(presented, tokens.token);
    if (admin || reader || (tokens.token.empty() && presented.empty())) {
      if (admin || reader) {
        tokens.failures.Succeeded(request.remote_addr);
        response.set_header("Set-Cookie", TokenCookie(presented, tokens.secure));
      }
      response.set_redirect("/terminals", 303);
      return;
    }
    tokens.failures.Failed(request.remote_addr, "sign-in");
    const Language language = LanguageOf(request);
    SendPage(response, 401,
             {language, Msg::kSignIn, "", LoginForm(language, Caption(language, Msg::kTokenWrong))});
  });
}

}  // namespace tallygate::collector::web
