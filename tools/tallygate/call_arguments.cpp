#include "tools/tallygate/call_arguments.h"

#include <string_view>

#include "tallygate/conversions.h"

namespace tallygate::cli {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

Variant DateArray(const std::string& word) {
  if (word.size() < 2 || word.back() != ']') {
    throw UsageError("array argument without its closing ]: " + word);
  }
  const std::string_view inner(word.data() + 1, word.size() - 2);
  std::vector<Variant> items;
  if (!Trim(inner).empty()) {
    size_t start = 0;
    while (true) {
      const size_t comma = inner.find(',', start);
      const std::string_view item = Trim(inner.substr(start, comma - start));
      items.push_back(ChangeType(Variant(item), TG_DATE));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  return Variant(std::move(items));
}

}  // namespace

CallArguments MakeCallArguments(const std::vector<std::string>& words) {
  CallArguments out;
  for (const std::string& word : words) {
    if (word.empty()) {
      out.values.emplace_back(word);
    } else if (word[0] == '&') {
      out.variables.push_back(std::make_unique<Variant>(std::string_view(word).substr(1)));
      out.values.push_back(Variant::Ref(*out.variables.back()));
    } else if (word == "~") {
      out.values.push_back(Variant::Missing());
    } else if (word[0] == '[') {
      out.values.push_back(DateArray(word));
    } else if (word[0] == '\\') {
      out.values.emplace_back(std::string_view(word).substr(1));
    } else {
      out.values.emplace_back(word);
    }
  }
  return out;
}

}  // namespace tallygate::cli
