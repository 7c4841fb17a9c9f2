// The head of an HTTP request as the dashboard's front door sees it before
// any worker does: where it ends, how long a body follows, and whether the
// request may go on at all. A request is refused here when its head is
// too large or has too many lines, when its body is longer than its URL
// takes, or when the body's length is not given plainly as Content-Length
// (chunked or compressed bodies would let a small request grow without a
// bound the door can see).
#ifndef TALLYGATE_COLLECTOR_DOOR_REQUEST_HEAD_H_
#define TALLYGATE_COLLECTOR_DOOR_REQUEST_HEAD_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tallygate::collector::door {

struct HeadLimits {
  size_t bytes = 32 * 1024;  // the request line and every header line
  size_t lines = 64;         // header lines, the request line not counted
};

// The longest body a request may carry: of `method` on `path`.
using BodyLimit = std::function<uint64_t(std::string_view method, std::string_view path)>;

struct RequestHead {
  enum class State { kIncomplete, kComplete, kRefused };
  State state = State::kIncomplete;
  size_t skip = 0;            // blank lines before the request line, to be dropped
  size_t size = 0;            // kComplete: bytes after those, up to and with the blank line
  uint64_t body = 0;          // kComplete: the Content-Length, 0 without one
  bool expects_continue = false;  // Expect: 100-continue
  std::string method, path;   // kComplete, and kRefused once the line was read
  int status = 0;             // kRefused: the answer's status
  std::string reason;         // kRefused: why, in plain English
};

// The head at the start of `bytes` (blank lines before the request line
// passed over, as HTTP allows); kIncomplete while its end has not come and the
// limits are not passed.
RequestHead ReadRequestHead(std::string_view bytes, const HeadLimits& limits,
                            const BodyLimit& body_limit);

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_REQUEST_HEAD_H_
