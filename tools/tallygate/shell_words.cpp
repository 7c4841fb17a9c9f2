#include "tools/tallygate/shell_words.h"

namespace tallygate::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Appends to `word` the double-quoted text opened at line[open]: a backslash
// escapes only $ ` " \ and a line end there. Returns the position past the
// closing quote, or npos when none closes it.
size_t ReadDoubleQuoted(std::string_view line, size_t open, std::string& word) {
  for (size_t i = open + 1; i < line.size();) {
    const char d = line[i];
    if (d == '"') return i + 1;
    if (d == '\\' && i + 1 < line.size() &&
        std::string_view("$`\"\\\n").find(line[i + 1]) != std::string_view::npos) {
      word += line[i + 1];
      i += 2;
    } else {
      word += d;
      ++i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

SplitResult SplitShellWords(std::string_view line) {
  SplitResult result;
  std::string word;
  bool in_word = false;  // a quoted empty text is a word too
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsBlank(c)) {
      if (in_word) result.words.push_back(std::move(word));
      word.clear();
      in_word = false;
      ++i;
    } else if (c == '\\') {
      if (i + 1 >= line.size()) {
        result.error = "backslash at the end of the line";
        return result;
      }
      word += line[i + 1];
      in_word = true;
      i += 2;
    } else if (c == '\'') {
      const size_t end = line.find('\'', i + 1);
      if (end == std::string_view::npos) {
        result.error = "unterminated single quote";
        return result;
      }
      word.append(line.substr(i + 1, end - i - 1));
      in_word = true;
      i = end + 1;
    } else if (c == '"') {
      i = ReadDoubleQuoted(line, i, word);
      if (i == std::string_view::npos) {
        result.error = "unterminated double quote";
        return result;
      }
      in_word = true;
    } else {
      word += c;
      in_word = true;
      ++i;
    }
  }
  if (in_word) result.words.push_back(std::move(word));
  return result;
}

}  // namespace tallygate::cli
