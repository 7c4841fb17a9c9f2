#include "collector/door/request_head.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace tallygate::collector::door {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kLongestMethod = 16;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Why a request is refused: the answer's status and its reason.
struct Refusal {
  int status;
  std::string reason;
};

RequestHead Refused(RequestHead head, Refusal refusal) {
  head.state = RequestHead::State::kRefused;
  head.status = refusal.status;
  head.reason = std::move(refusal.reason);
  return head;
}

// False when `text` cannot begin a request line: a method is capital
// letters followed by a space. Garbage (a TLS hello sent to a plain port)
// is refused at its first bytes rather than waited on.
bool MayBeginRequest(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') return i > 0;
    if (text[i] < 'A' || text[i] > 'Z' || i == kLongestMethod) return false;
  }
  return true;
}

// METHOD SP TARGET SP HTTP/1.x
bool ReadRequestLine(std::string_view line, RequestHead& head) {
  const size_t first = line.find(' ');
  const size_t last = line.rfind(' ');
  if (first == std::string_view::npos || first == last) return false;
  const std::string_view version = line.substr(last + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
  head.method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, last - first - 1);
  if (target.empty() || target.find(' ') != std::string_view::npos) return false;
  head.path = target.substr(0, target.find('?'));
  return true;
}

std::optional<uint64_t> Length(std::string_view text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.size() > 18 || error != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// Why the head seen so far (up to its blank line, or all that came) is
// refused before it ends: garbage, too many lines, too many bytes.
std::optional<Refusal> PastBounds(std::string_view seen, const HeadLimits& limits) {
  if (!MayBeginRequest(seen.substr(0, std::min(seen.size(), kLongestMethod + 1)))) {
    return Refusal{400, "this is not an HTTP request"};
  }
  size_t lines = 0;
  for (size_t at = seen.find(kLineEnd); at != std::string_view::npos;
       at = seen.find(kLineEnd, at + kLineEnd.size())) {
    ++lines;
  }
  if (lines > limits.lines) {
    return Refusal{431,
                   "the request has more than " + std::to_string(limits.lines) + " header lines"};
  }
  if (seen.size() + 2 * kLineEnd.size() > limits.bytes) {
    return Refusal{431,
                   "the request's head is longer than " + std::to_string(limits.bytes) + " bytes"};
  }
  return std::nullopt;
}

// The header lines, each after its line end: the body's length and
// Expect into `head`; why they are refused when a line is not a header or
// the body is not given plainly by its length.
std::optional<Refusal> ReadHeaderLines(std::string_view rest, RequestHead& head) {
  std::optional<uint64_t> length;
  while (!rest.empty()) {
    rest.remove_prefix(kLineEnd.size());
    const std::string_view line = rest.substr(0, rest.find(kLineEnd));
    rest.remove_prefix(line.size());
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || line.front() == ' ' ||
        line.front() == '\t') {
      return Refusal{400, "a header line is not NAME: VALUE"};
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trimmed(line.substr(colon + 1));
    if (EqualNoCase(name, "Content-Length")) {
      const std::optional<uint64_t> given = Length(value);
      if (!given || (length && *length != *given)) {
        return Refusal{400, "the Content-Length is not one number"};
      }
      length = given;
    } else if (EqualNoCase(name, "Transfer-Encoding")) {
      return Refusal{411, "a body is taken only with its Content-Length, not in chunks"};
    } else if (EqualNoCase(name, "Content-Encoding")) {
      return Refusal{415, "a compressed body is not taken"};
    } else if (EqualNoCase(name, "Expect")) {
      head.expects_continue = EqualNoCase(value, "100-continue");
    }
  }
  head.body = length.value_or(0);
  return std::nullopt;
}

}  // namespace

RequestHead ReadRequestHead(std::string_view bytes, const HeadLimits& limits,
                            const BodyLimit& body_limit) {
  RequestHead head;
  while (bytes.substr(head.skip, kLineEnd.size()) == kLineEnd) head.skip += kLineEnd.size();
  bytes.remove_prefix(head.skip);
  const size_t end = bytes.find("\r\n\r\n");
  const std::string_view seen = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end);
  if (std::optional<Refusal> refusal = PastBounds(seen, limits)) {
    return Refused(std::move(head), std::move(*refusal));
  }
  if (end == std::string_view::npos) return head;

  const std::string_view request_line = seen.substr(0, seen.find(kLineEnd));
  if (!ReadRequestLine(request_line, head)) {
    return Refused(std::move(head), {400, "the request line is not METHOD TARGET HTTP/1.1"});
  }
  if (std::optional<Refusal> refusal = ReadHeaderLines(seen.substr(request_line.size()), head)) {
    return Refused(std::move(head), std::move(*refusal));
  }
  const uint64_t most = body_limit(head.method, head.path);
  if (head.body > most) {
    std::string reason = "the body of " + head.method + " " + head.path + " may be at most " +
                         std::to_string(most) + " bytes; this one has " + std::to_string(head.body);
    return Refused(std::move(head), {413, std::move(reason)});
  }
  head.state = RequestHead::State::kComplete;
  head.size = end + 2 * kLineEnd.size();
  return head;
}

}  // namespace tallygate::collector::door
