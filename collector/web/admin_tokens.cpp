#include "collector/web/admin_tokens.h"

#include <algorithm>

#include "collector/config/config.h"
#include "collector/config/key_file.h"
#include "collector/web/access.h"

namespace tallygate::collector::web {
namespace {

constexpr const char* kKey = "admin_token_file";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (true) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return words;
    line.remove_prefix(start);
    const size_t end = std::min(line.find_first_of(" \t\r"), line.size());
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

}  // namespace

std::vector<AdminToken> ParseAdminTokens(std::string_view text, const std::string& path) {
  std::vector<AdminToken> admins;
  int number = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::vector<std::string_view> words = Words(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    if (words.empty() || words[0].starts_with('#')) continue;
    const std::string where = std::string(kKey) + " " + path + ":" + std::to_string(number) + ": ";
    if (words.size() > 2) {
      throw ConfigError(where + "more than NAME TOKEN on the line");
    }
    AdminToken admin{words.size() == 2 ? std::string(words[0]) : "admin",
                     std::string(words.back())};
    if (const std::string problem = TokenProblem(admin.token); !problem.empty()) {
      throw ConfigError(where + admin.name + ": " + problem);
    }
    for (const AdminToken& before : admins) {
      if (before.name == admin.name)
        throw ConfigError(where + "the name " + admin.name + " is given twice");
      if (before.token == admin.token)
        throw ConfigError(where + "the token of " + before.name + " is given again");
    }
    admins.push_back(std::move(admin));
  }
  if (admins.empty()) {
    throw ConfigError(std::string(kKey) + " " + path +
                      " holds no token: write NAME TOKEN, one a line");
  }
  return admins;
}

std::vector<AdminToken> ReadAdminTokens(const std::string& path) {
  return ParseAdminTokens(ReadKeyFile(kKey, path), path);
}

}  // namespace tallygate::collector::web
