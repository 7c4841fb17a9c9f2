#include "collector/web/access.h"

#include <cctype>

#include "collector/config/config.h"
#include "collector/config/host_port.h"
#include "collector/config/http_access.h"
#include "collector/config/key_file.h"
#include "collector/web/html.h"

namespace tallygate::collector::web {
namespace {

// The value as it stands: cpp-httplib has percent-decoded the header
// already (TokenCookie's encoding comes back decoded).
std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t semicolon = header.find(';');
    std::string_view pair = header.substr(0, semicolon);
    header = semicolon == std::string_view::npos ? "" : header.substr(semicolon + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
      return std::string(pair.substr(equals + 1));
    }
  }
  return std::nullopt;
}

// "host:port" of "http://host:port/..." (lower case); empty when none.
std::string Authority(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  url.remove_prefix(scheme + 3);
  std::string authority(url.substr(0, url.find('/')));
  for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return authority;
}

}  // namespace

std::string TokenProblem(std::string_view token) {
  if (token.size() >= kShortestToken) return {};
  return "the token is " + std::to_string(token.size()) + " characters long: at least " +
         std::to_string(kShortestToken) + " are needed (openssl rand -hex 16 makes one)";
}

std::string ReadTokenFile(const std::string& path) {
  std::string token = ReadKeyFile("token_file", path);
  while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
  if (token.empty()) throw ConfigError("token_file " + path + " is empty: write the token in it");
  if (const std::string problem = TokenProblem(token); !problem.empty()) {
    throw ConfigError("token_file " + path + ": " + problem);
  }
  return token;
}

bool SameToken(std::string_view presented, std::string_view token) {
  unsigned char difference = presented.size() == token.size() ? 0 : 1;
  for (size_t i = 0; i < token.size(); ++i) {
    const char mine = token[i];
    const char theirs = i < presented.size() ? presented[i] : static_cast<char>(~mine);
    difference |= static_cast<unsigned char>(mine ^ theirs);
  }
  return difference == 0;
}

constexpr std::string_view kBearer = "Bearer ";

bool HasBearer(const httplib::Request& request) {
  return request.get_header_value("Authorization").starts_with(kBearer);
}

std::optional<std::string> PresentedToken(const httplib::Request& request) {
  if (HasBearer(request)) {
    return request.get_header_value("Authorization").substr(kBearer.size());
  }
  for (size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
    if (auto value = CookieValue(request.get_header_value("Cookie", i), kTokenCookie)) return value;
  }
  return std::nullopt;
}

bool MayRead(const std::string& token, const httplib::Request& request) {
  if (token.empty()) return true;
  const std::optional<std::string> presented = PresentedToken(request);
  return presented && SameToken(*presented, token);
}

bool LoopbackHostHeader(std::string_view host) {
  std::string name;
  try {
    name = ParseHostPort(host, 80).host;
  } catch (const InputError&) {
    return false;
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return IsLoopbackHost(name) || name.ends_with(".localhost");
}

std::string TokenCookie(std::string_view token, bool secure) {
  return std::string(kTokenCookie) + "=" + UrlEncoded(token) + "; HttpOnly; SameSite=Strict; Path=/" +
         (secure ? "; Secure" : "");
}

std::string ClearedTokenCookie(bool secure) {
  return std::string(kTokenCookie) + "=; Max-Age=0; HttpOnly; SameSite=Strict; Path=/" +
         (secure ? "; Secure" : "");
}

bool SameOrigin(const httplib::Request& request) {
  const std::string origin = request.has_header("Origin") ? request.get_header_value("Origin")
                                                           : request.get_header_value("Referer");
  std::string host = request.get_header_value("Host");
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return !host.empty() && Authority(origin) == host;
}

}  // namespace tallygate::collector::web
