#include "collector/config/shown_url.h"

namespace tallygate::collector {
namespace {

constexpr std::string_view kMask = "***";

// A query's parameters with their values masked: "a=***&b=***"; a
// parameter without "=" may be a token itself, and is masked whole.
std::string MaskedQuery(std::string_view query) {
  std::string shown;
  while (true) {
    const size_t end = query.find('&');
    const std::string_view part = query.substr(0, end);
    const size_t equals = part.find('=');
    if (equals != std::string_view::npos) {
      shown += part.substr(0, equals + 1);
      if (equals + 1 < part.size()) shown += kMask;
    } else if (!part.empty()) {
      shown += kMask;
    }
    if (end == std::string_view::npos) return shown;
    shown += '&';
    query.remove_prefix(end + 1);
  }
}

}  // namespace

std::string ShownUrl(std::string_view url) {
  std::string shown;
  // The authority runs from the scheme's "://" to the path, the query or
  // the fragment; a user part in it ends at its last "@".
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos &&
      url.substr(0, scheme).find_first_of("/?#@") == std::string_view::npos) {
    const size_t start = scheme + 3;
    const size_t end = url.find_first_of("/?#", start);
    const std::string_view authority = url.substr(start, end - start);
    const size_t at = authority.rfind('@');
    shown += url.substr(0, start);
    if (at != std::string_view::npos) {
      shown += kMask;
      shown += authority.substr(at);
    } else {
      shown += authority;
    }
    url.remove_prefix(end == std::string_view::npos ? url.size() : end);
  }
  const size_t question = url.find_first_of("?#");
  if (question == std::string_view::npos || url[question] == '#') return shown += url;
  shown += url.substr(0, question + 1);
  url.remove_prefix(question + 1);
  const size_t hash = url.find('#');
  shown += MaskedQuery(url.substr(0, hash));
  if (hash != std::string_view::npos) shown += url.substr(hash);
  return shown;
}

}  // namespace tallygate::collector
