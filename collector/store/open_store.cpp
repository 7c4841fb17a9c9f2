// Which store a database text names, and how it may be shown.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "collector/store/postgres_store.h"
#include "collector/store/sqlite_store.h"
#include "collector/store/store.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kHidden = "***";

bool IsUri(std::string_view database) {
  return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

// libpq's "key=value ..." form: a word, then "=" (a path could hold "=",
// but never as its first word's end).
bool IsKeyValue(std::string_view database) {
  size_t at = 0;
  while (at < database.size() && std::isspace(static_cast<unsigned char>(database[at]))) ++at;
  const size_t word = at;
  while (at < database.size() &&
         (std::isalnum(static_cast<unsigned char>(database[at])) || database[at] == '_')) {
    ++at;
  }
  if (at == word) return false;
  while (at < database.size() && std::isspace(static_cast<unsigned char>(database[at]))) ++at;
  return at < database.size() && database[at] == '=';
}

std::filesystem::path DefaultDatabasePath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    return std::filesystem::path(state) / "tallygate" / "punches.db";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* user = getpwuid(getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] == '\0') {
    throw StoreError("no database given, and no home folder for the default one");
  }
  return std::filesystem::path(home) / ".local" / "state" / "tallygate" / "punches.db";
}

std::string UriWithoutPassword(std::string_view uri) {
  const size_t authority = uri.find("://") + 3;
  const size_t query = std::min(uri.find('?', authority), uri.size());
  std::string shown(uri.substr(0, query));
  // The last "@" ends the user's part: a password holding "@" or "/"
  // unencoded must not show either.
  const size_t at = shown.rfind('@');
  if (at != std::string::npos && at >= authority) {
    const size_t colon = shown.find(':', authority);
    if (colon < at) shown.replace(colon + 1, at - colon - 1, kHidden);
  }
  for (size_t start = query + 1; start <= uri.size();) {
    const size_t end = std::min(uri.find('&', start), uri.size());
    const std::string_view param = uri.substr(start, end - start);
    shown += start == query + 1 ? '?' : '&';
    shown += param.starts_with("password=") ? "password=" + std::string(kHidden)
                                            : std::string(param);
    start = end + 1;
  }
  return shown;
}

// Reads libpq's key=value form; each value's text as written is kept, but
// a password's is hidden, and a dbname that is itself a connection string
// is shown without its password.
std::string KeyValueWithoutPassword(std::string_view text) {
  std::string shown;
  size_t at = 0;
  while (at < text.size()) {
    const size_t key_start = at;
    while (at < text.size() && text[at] != '=' && !std::isspace(static_cast<unsigned char>(text[at]))) {
      ++at;
    }
    const std::string_view key = text.substr(key_start, at - key_start);
    while (at < text.size() && text[at] != '=') ++at;
    if (at < text.size()) ++at;  // "="
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    shown += text.substr(key_start, at - key_start);
    const size_t value_start = at;
    std::string value;  // unescaped
    const bool quoted = at < text.size() && text[at] == '\'';
    if (quoted) ++at;
    while (at < text.size()) {
      const char c = text[at];
      if (quoted ? c == '\'' : std::isspace(static_cast<unsigned char>(c)) != 0) break;
      if (c == '\\' && at + 1 < text.size()) ++at;
      value += text[at++];
    }
    if (quoted && at < text.size()) ++at;  // the closing quote
    if (key == "password") {
      shown += kHidden;
    } else if (key == "dbname" && (IsUri(value) || IsKeyValue(value)) &&
               WithoutPassword(value) != value) {
      shown += "'";
      for (char c : WithoutPassword(value)) {
        if (c == '\'' || c == '\\') shown += '\\';
        shown += c;
      }
      shown += "'";
    } else {
      shown += text.substr(value_start, at - value_start);
    }
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) shown += text[at++];
  }
  return shown;
}

}  // namespace

bool IsPostgres(const std::string& database) { return IsUri(database) || IsKeyValue(database); }

std::unique_ptr<Store> OpenStore(const std::string& database) {
  if (IsPostgres(database)) return OpenPostgresStore(database);
  std::string path = database;
  if (path.starts_with("sqlite:")) {
    path.erase(0, 7);
    if (path.empty()) throw StoreError("sqlite: without a path");
  }
  const std::filesystem::path file =
      path.empty() ? DefaultDatabasePath() : std::filesystem::absolute(path);
  return OpenSqliteStore(file);
}

std::unique_ptr<PunchNews> ListenForPunches(const std::string& database) {
  if (!IsPostgres(database)) return nullptr;
  return ListenForPostgresPunches(database);
}

std::string WithoutPassword(const std::string& database) {
  if (IsUri(database)) return UriWithoutPassword(database);
  if (IsKeyValue(database)) return KeyValueWithoutPassword(database);
  return database;
}

}  // namespace tallygate::collector
