#include "collector/config/database_text.h"

#include <algorithm>
#include <string>

#include "collector/base/failure.h"
#include "collector/config/host_port.h"

namespace tallygate::collector {

namespace {

constexpr std::string_view kForms =
    "the forms accepted are: empty (the default SQLite file), \"sqlite:PATH\", a file path, a "
    "\"postgresql://USER@HOST:PORT/DATABASE\" URI and a PostgreSQL \"key=value ...\" string";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

InputError BadUri(const std::string& what) { return InputError("bad PostgreSQL URI: " + what); }

// Every '%' starts two hexadecimal digits.
void CheckEscapes(std::string_view text, std::string_view where) {
  for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1)) {
    if (at + 2 >= text.size() || !IsHex(text[at + 1]) || !IsHex(text[at + 2])) {
      throw BadUri("a '%' in the " + std::string(where) + " is not followed by two hexadecimal digits");
    }
  }
}

// One host of the host list: "[V6]", "[V6]:PORT", "NAME", "NAME:PORT" or
// ":PORT"; a name may be %-escaped (a socket folder, "%2Fvar%2Frun").
void CheckUriHost(std::string_view host) {
  std::string_view port;
  bool has_port = false;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) throw BadUri("'[' without ']' in the host");
    if (!IsIpv6Address(host.substr(1, close - 1))) {
      throw BadUri("the host in brackets is not an IPv6 address");
    }
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') throw BadUri("after ']' comes ':PORT' or nothing");
    has_port = !rest.empty();
    if (has_port) port = rest.substr(1);
  } else {
    const std::size_t colon = host.find(':');
    has_port = colon != std::string_view::npos;
    if (has_port) port = host.substr(colon + 1);
    const std::string_view name = host.substr(0, colon);
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
      return IsLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '%';
    });
    if (!plain) throw BadUri("the host '" + std::string(name) + "' has characters a host name cannot have");
    CheckEscapes(name, "host");
  }
  if (has_port) {
    try {
      ParsePort(port);
    } catch (const InputError& error) {
      throw BadUri(error.what());
    }
  }
}

// postgresql://[USER[:PASSWORD]@][HOST[:PORT][,...]][/DATABASE][?KEY=VALUE&...]
void CheckPostgresUri(std::string_view rest) {
  if (std::any_of(rest.begin(), rest.end(), [](char c) { return IsBlank(c) || c < 0x20; })) {
    throw BadUri("a URI has no blanks (write a blank as %20)");
  }
  const std::size_t authority_end = std::min(rest.find('/'), rest.find('?'));
  std::string_view authority = rest.substr(0, authority_end);
  const std::string_view after = authority_end == std::string_view::npos
                                     ? std::string_view()
                                     : rest.substr(authority_end);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    CheckEscapes(authority.substr(0, at), "user name and password");
    authority.remove_prefix(at + 1);
  }
  while (true) {
    const std::size_t comma = authority.find(',');
    CheckUriHost(authority.substr(0, comma));
    if (comma == std::string_view::npos) break;
    authority.remove_prefix(comma + 1);
  }
  const std::size_t question = after.find('?');
  const std::string_view database = after.substr(0, question);
  if (database.find('/', 1) != std::string_view::npos) {
    throw BadUri("the database name after the host has a '/' (write it as %2F)");
  }
  CheckEscapes(database, "database name");
  if (question == std::string_view::npos) return;
  std::string_view query = after.substr(question + 1);
  while (true) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t equals = pair.find('=');
    if (equals == 0 || equals == std::string_view::npos) {
      throw BadUri("each parameter after '?' is KEY=VALUE, joined by '&'");
    }
    CheckEscapes(pair, "parameters");
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
}

// KEY=VALUE words as libpq reads them: blanks around '=' allowed, a value
// in single quotes may hold blanks, a backslash escapes the next character.
// Words are counted, never shown: a value may be a password.
void CheckKeyValues(std::string_view text) {
  std::size_t at = 0;
  int word = 0;
  const auto skip_blanks = [&] {
    while (at < text.size() && IsBlank(text[at])) ++at;
  };
  skip_blanks();
  while (at < text.size()) {
    ++word;
    const std::size_t key_start = at;
    while (at < text.size() && (IsLetter(text[at]) || IsDigit(text[at]) || text[at] == '_')) ++at;
    const bool has_key = at > key_start;
    skip_blanks();
    if (!has_key || at == text.size() || text[at] != '=') {
      throw InputError(
          "word " + std::to_string(word) +
          " of the PostgreSQL key=value string is not KEY=VALUE (a value with blanks goes in "
          "single quotes)");
    }
    ++at;
    skip_blanks();
    if (at < text.size() && text[at] == '\'') {
      ++at;
      while (at < text.size() && text[at] != '\'') at += text[at] == '\\' ? 2 : 1;
      if (at >= text.size()) {
        throw InputError("word " + std::to_string(word) +
                         " of the PostgreSQL key=value string has no closing quote");
      }
      ++at;
    } else {
      while (at < text.size() && !IsBlank(text[at])) at += text[at] == '\\' ? 2 : 1;
    }
    skip_blanks();
  }
}

// "mysql://", "file:": a scheme this program does not know.
bool HasScheme(std::string_view text) {
  const std::size_t colon = text.find(':');
  return colon != std::string_view::npos && colon > 0 && IsLetter(text.front()) &&
         std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
           return IsLetter(c) || IsDigit(c) || c == '+' || c == '.' || c == '-';
         });
}

// A relative path has a folder in it or a file extension; a lone word
// ("postgres") is more likely a database name than a file.
bool IsFilePath(std::string_view text) {
  return text.find('/') != std::string_view::npos || text.find('.') != std::string_view::npos;
}

}  // namespace

void CheckDatabaseText(std::string_view text) {
  if (text.empty()) return;
  for (const std::string_view scheme : {"postgresql://", "postgres://"}) {
    if (text.starts_with(scheme)) return CheckPostgresUri(text.substr(scheme.size()));
  }
  if (text.starts_with("sqlite:")) {
    if (text.size() == 7) throw InputError("no path after \"sqlite:\"");
    return;
  }
  if (HasScheme(text)) {
    throw InputError("unknown database scheme '" + std::string(text.substr(0, text.find(':'))) +
                     "'; " + std::string(kForms));
  }
  const bool rooted = text.front() == '/' || text.front() == '.' || text.front() == '~';
  if (!rooted && text.find('=') != std::string_view::npos) return CheckKeyValues(text);
  if (!rooted && !IsFilePath(text)) {
    throw InputError("neither a file path nor a database URI; " + std::string(kForms));
  }
}

}  // namespace tallygate::collector
