// Splitting a script line into words the way a POSIX shell quotes them:
// blanks separate words; a backslash keeps the next character as it is;
// single quotes keep everything up to the next single quote; double quotes
// keep everything up to the next unescaped double quote, a backslash in them
// escaping only $ ` " \ and a line break. Nothing is expanded: no variables,
// no globbing, no commands.
#ifndef TALLYGATE_TOOLS_TALLYGATE_SHELL_WORDS_H_
#define TALLYGATE_TOOLS_TALLYGATE_SHELL_WORDS_H_

#include <string>
#include <string_view>
#include <vector>

namespace tallygate::cli {

struct SplitResult {
  std::vector<std::string> words;
  std::string error;  // not empty when the line is malformed
};

SplitResult SplitShellWords(std::string_view line);

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_SHELL_WORDS_H_
