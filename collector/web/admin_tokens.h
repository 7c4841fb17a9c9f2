// Who may change things: the admin tokens of [http] admin_token_file, one
// a line as "NAME TOKEN", or "TOKEN" alone (named admin); blank lines and
// lines starting with # are skipped. The name is what the audit shows.
#ifndef TALLYGATE_COLLECTOR_WEB_ADMIN_TOKENS_H_
#define TALLYGATE_COLLECTOR_WEB_ADMIN_TOKENS_H_

#include <string>
#include <string_view>
#include <vector>

namespace tallygate::collector::web {

struct AdminToken {
  std::string name;
  std::string token;
};

// The tokens of `text`, the file `path`. Throws ConfigError naming
// the file (and the line) for a file without a token, a line of more than
// two words, a token shorter than kShortestToken, or a name or token given
// twice; never shows a token.
std::vector<AdminToken> ParseAdminTokens(std::string_view text, const std::string& path);

// The same, read from `path`.
std::vector<AdminToken> ReadAdminTokens(const std::string& path);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_ADMIN_TOKENS_H_
